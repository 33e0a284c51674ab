// The command's sub-commands; each returns the exit code or throws CliError.
#pragma once

#include "cli/options.h"

namespace pendra::cli {

class FilterSession;

// Gives the session the settings of the options: the job's Config call (or
// the new instance's own) with the settings named as options laid over it,
// replayed as one call; saves it when --save-job asks.
void configureSession(const Options &options, FilterSession &session);

int runProcess(const Options &options);
int runPreview(const Options &options);
int runDemo(const Options &options);

} // namespace pendra::cli
