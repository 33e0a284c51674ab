#include "tests/support/test_folder.h"

#include "pendra_version.h"

#include <cstdlib>
#include <fstream>

namespace pendra::test {

std::filesystem::path modulePath() {
    return host::defaultModulePath();
}

std::filesystem::path defaultsFilePath() {
    return host::executableFolder() / "plugins" / "pendra" / "Pendra.ini";
}

void writeDefaultsFile(const std::string &text) {
    std::filesystem::create_directories(defaultsFilePath().parent_path());
    std::ofstream out(defaultsFilePath(), std::ios::binary | std::ios::trunc);
    out << text;
}

void removeDefaultsFile() {
    std::error_code ignored;
    std::filesystem::remove(defaultsFilePath(), ignored);
}

std::unique_ptr<host::LoadedModule> loadModule() {
    return std::make_unique<host::LoadedModule>(modulePath());
}

const host::RegisteredFilter &pendraFilter(const host::LoadedModule &module) {
    return module.filter(PENDRA_FILTER_NAME);
}

void setVariable(const char *name, const char *value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

} // namespace pendra::test
