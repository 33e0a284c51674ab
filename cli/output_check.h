// Checks made on every file the command writes before any work starts, so
// that no input is ever replaced, no existing file is replaced unasked, and a
// long encode does not end in "cannot write".
#pragma once

#include <filesystem>
#include <vector>

namespace pendra::cli {

// Throws CliError naming `output` when it is one of `inputs` (the same file
// through any path or link, or the same resolved path before it exists), a
// folder, a file that exists while `overwrite` is off, or in a folder that
// is missing or not writable.
void checkOutputFile(const std::filesystem::path &output,
                     const std::vector<std::filesystem::path> &inputs, bool overwrite);

} // namespace pendra::cli
