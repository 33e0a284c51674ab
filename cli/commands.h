// The command's sub-commands; each returns the exit code or throws CliError.
#pragma once

#include "cli/options.h"

namespace pendra::cli {

int runProcess(const Options &options);
int runPreview(const Options &options);
int runDemo(const Options &options);

} // namespace pendra::cli
