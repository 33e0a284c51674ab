#include "host/module_library.h"

#include "host/host_error.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace pendra::host {

#if defined(_WIN32)

ModuleLibrary::ModuleLibrary(const std::filesystem::path &file) : file_(file) {
    // No error boxes from the system: a failure is reported as a HostError.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    handle_ = LoadLibraryW(file.wstring().c_str());
    DWORD error = GetLastError();
    SetErrorMode(oldMode);
    if (!handle_)
        throw HostError(file.string() + ": cannot load module (Windows error " +
                        std::to_string(error) + ")");
}

ModuleLibrary::~ModuleLibrary() {
    FreeLibrary(static_cast<HMODULE>(handle_));
}

void *ModuleLibrary::symbol(const char *name) const {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::filesystem::path executableFolder() {
    wchar_t name[32768];
    DWORD length = GetModuleFileNameW(nullptr, name, 32768);
    if (length == 0 || length >= 32768)
        throw HostError("cannot find the host's own file name");
    return std::filesystem::path(std::wstring(name, length)).parent_path();
}

#else

ModuleLibrary::ModuleLibrary(const std::filesystem::path &file) : file_(file) {
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char *why = dlerror();
        throw HostError(file.string() + ": cannot load module (" + (why ? why : "unknown reason") +
                        ")");
    }
}

ModuleLibrary::~ModuleLibrary() {
    dlclose(handle_);
}

void *ModuleLibrary::symbol(const char *name) const {
    return dlsym(handle_, name);
}

std::filesystem::path executableFolder() {
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        throw HostError("cannot find the host's own file name: " + error.message());
    return exe.parent_path();
}

#endif

std::filesystem::path defaultModulePath() {
    return executableFolder() / "plugins" / "Pendra04.vdf";
}

} // namespace pendra::host
