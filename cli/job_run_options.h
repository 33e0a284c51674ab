// The run's own settings carried in a job file. Noise and feather are not
// part of the filter's saved call (an instance reads them from the defaults
// file), so a job replayed elsewhere would run with another machine's. The
// command writes them as a comment line, which the video host skips:
//
//     // pendra process: --noise 0 --feather 5
//
// and on replay takes them unless the user gives them again.
#pragma once

#include "cli/options.h"

#include <string>

namespace pendra::cli {

// The comment line for what `run` sets (with its newline); empty when it sets neither.
std::string runOptionsLine(const RunOptions &run);

// Fills the noise and feather `run` leaves unset from the job file's comment
// line; throws CliError naming the file when that line is not valid.
void takeRunOptions(const std::string &jobPath, RunOptions &run);

} // namespace pendra::cli
