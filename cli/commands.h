// The command's sub-commands; each returns the exit code or throws CliError.
#pragma once

#include "cli/options.h"

#include <cstdint>

namespace pendra::cli {

// `frames`, when given, receives the number of frames written.
int runProcess(const Options &options, int64_t *frames = nullptr);
int runPreview(const Options &options);
int runDemo(const Options &options);

} // namespace pendra::cli
