// Saved job files as far as the command needs them: the filter's Config
// call read from one, and a job holding the filter's call written.
#pragma once

#include <string>

namespace pendra::cli {

// The Config call of the filter's first entry in the job file; throws
// CliError naming the file when it cannot be read or holds no such entry.
std::string readJobConfig(const std::string &path);

// Writes a job of one filter entry with this Config call; throws CliError.
void writeJob(const std::string &path, const std::string &configLine);

} // namespace pendra::cli
