// The run's own settings carried in a job file. The settings a new instance
// takes from the defaults file (noise, feather) are not part of the filter's
// saved call, so a job replayed elsewhere would run with another machine's.
// The command writes them as a comment line, which the video host skips:
//
//     // pendra process: --feather 5 --noise 0
//
// and on replay takes them unless the user gives them again.
#pragma once

#include "cli/options.h"

#include <string>

namespace pendra::cli {

// The comment line for the run settings among `settings` (with its newline);
// empty when there are none.
std::string runOptionsLine(const SettingOptions &settings);

// Adds the run settings of the job file's comment line that `settings` does
// not give; throws CliError naming the file when that line is not valid.
void takeRunOptions(const std::string &jobPath, SettingOptions &settings);

} // namespace pendra::cli
