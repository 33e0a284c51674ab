// The test program's own host folder: its plugins/ with the module copy and
// the defaults file plugins/pendra/Pendra.ini that a new instance reads.
#pragma once

#include "host/loaded_module.h"

#include <filesystem>
#include <memory>
#include <string>

namespace pendra::test {

// <test folder>/plugins/Pendra04.vdf
std::filesystem::path modulePath();
// <test folder>/plugins/pendra/Pendra.ini
std::filesystem::path defaultsFilePath();
// Writes the defaults file with exactly these bytes.
void writeDefaultsFile(const std::string &text);
// Removes the defaults file if there is one.
void removeDefaultsFile();
// Sets or (value null) removes an environment variable as the module's C
// runtime sees it: the hooks that point it at another defaults or trace file.
void setVariable(const char *name, const char *value);
// Loads the module afresh: its process-wide defaults start from the built-in values.
std::unique_ptr<host::LoadedModule> loadModule();
// The one filter the module registers.
const host::RegisteredFilter &pendraFilter(const host::LoadedModule &module);

} // namespace pendra::test
