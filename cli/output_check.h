// Checks made on every file the command writes before any work starts, so
// that no input is ever replaced, no existing file is replaced unasked, and a
// long encode does not end in "cannot write".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pendra::cli {

// The same text for every name of one file: its device and inode when it
// exists, else its path with links and ".." resolved as far as they exist.
std::string fileIdentity(const std::filesystem::path &path);

// The path with every link and ".." resolved as far as it exists, absolute.
std::filesystem::path resolvedPath(const std::filesystem::path &path);

// Throws CliError naming `output` when it is one of `inputs` (the same file
// through any path or link, or the same resolved path before it exists), a
// folder, a file that exists while `overwrite` is off, or in a folder that
// is missing or not writable.
void checkOutputFile(const std::filesystem::path &output,
                     const std::vector<std::filesystem::path> &inputs, bool overwrite);

} // namespace pendra::cli
