// Ctrl-C and termination requests become a CliError at the next frame, so
// that the usual clean-up removes the half-written output.
#pragma once

namespace pendra::cli {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP.
void catchInterrupts();
// Whether an interrupt has arrived, for work that stops in its own way.
bool interruptRequested();
// Throws CliError (exit code 130) when an interrupt has arrived.
void stopIfInterrupted();

} // namespace pendra::cli
