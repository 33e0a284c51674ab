#include "cli/interrupt.h"

#include "cli/av_support.h"

#include <csignal>

namespace pendra::cli {

namespace {
volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
    interrupted = 1;
}
} // namespace

void catchInterrupts() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    std::signal(SIGHUP, onInterrupt);
}

bool interruptRequested() {
    return interrupted != 0;
}

void stopIfInterrupted() {
    if (interruptRequested())
        throw CliError("interrupted; no output written", 130);
}

} // namespace pendra::cli
