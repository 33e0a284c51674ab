// Shell commands for the corpus bench: ffmpeg, apt-get, the pendra command.
#pragma once

#include <string>

namespace pendra::corpus {

// Runs the command; on failure says which and ends the bench.
void runCommand(const std::string &command);
// Runs the command and gives its exit status (0 for success).
int commandStatus(const std::string &command);
// The file's last non-empty line, or "".
std::string lastLine(const std::string &path);

} // namespace pendra::corpus
