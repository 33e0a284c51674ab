/*
 * The module's Windows kernel calls for POSIX systems: the executable's path
 * from /proc/self/exe and absolute paths made from the working directory.
 */
#include "platform/windows_calls.h"

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

DWORD GetModuleFileNameA(HMODULE module, char *filename, DWORD size) {
    if (module != nullptr || size == 0)
        return 0;
    std::vector<char> link(4096);
    ssize_t n = readlink("/proc/self/exe", link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size())
        return 0;
    DWORD length = static_cast<DWORD>(n);
    if (length >= size) {
        std::memcpy(filename, link.data(), size - 1);
        filename[size - 1] = '\0';
        return size;
    }
    std::memcpy(filename, link.data(), length);
    filename[length] = '\0';
    return length;
}

/* Drops "." and empty components and resolves ".." lexically, as Windows does. */
static std::string normalise(const std::string &path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        std::string part = path.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::string out;
    for (const std::string &part : parts)
        out += "/" + part;
    if (out.empty() || (!path.empty() && path.back() == '/'))
        out += "/";
    return out;
}

DWORD GetFullPathNameA(const char *fileName, DWORD bufferLength, char *buffer, char **filePart) {
    if (fileName == nullptr || fileName[0] == '\0')
        return 0;
    std::string path = fileName;
    if (path[0] != '/') {
        std::vector<char> cwd(4096);
        if (getcwd(cwd.data(), cwd.size()) == nullptr)
            return 0;
        path = std::string(cwd.data()) + "/" + path;
    }
    std::string full = normalise(path);
    if (full.size() + 1 > bufferLength)
        return static_cast<DWORD>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart != nullptr) {
        size_t slash = full.rfind('/');
        *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
}
