// A loaded module file (a shared library or DLL), unloaded when destroyed.
#pragma once

#include <filesystem>
#include <string>

namespace pendra::host {

class ModuleLibrary {
  public:
    // Loads the file; throws HostError naming the file and the cause.
    explicit ModuleLibrary(const std::filesystem::path &file);
    ~ModuleLibrary();
    ModuleLibrary(const ModuleLibrary &) = delete;
    ModuleLibrary &operator=(const ModuleLibrary &) = delete;

    // The address of an exported name, or nullptr.
    void *symbol(const char *name) const;
    // The operating system's handle (the HINSTANCE on Windows).
    void *nativeHandle() const { return handle_; }
    const std::filesystem::path &file() const { return file_; }

  private:
    std::filesystem::path file_;
    void *handle_ = nullptr;
};

// The folder of the running executable, where the host looks for plugins/.
std::filesystem::path executableFolder();

// Where the host finds Pendra's module by default: <executable folder>/plugins/.
std::filesystem::path defaultModulePath();

} // namespace pendra::host
