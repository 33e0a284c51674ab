/*
 * Finds the host's folder from the executable's full file name, cut after its
 * last separator. Every path is limited to HOST_PATH_MAX characters; a longer
 * one is treated as unknown rather than cut, so that a wrong file is never
 * opened under a shortened name.
 */
#include "defaults/host_folder.h"

#include "platform/windows_calls.h"

#include <cstdio>
#include <cstring>

int findHostFolder(char *folder, size_t size) {
    char exeName[HOST_PATH_MAX + 1];
    DWORD length = GetModuleFileNameA(nullptr, exeName, sizeof exeName);
    if (length == 0 || length > HOST_PATH_MAX)
        return 1;
    exeName[length] = '\0';

    char fullName[HOST_PATH_MAX + 1];
    char *filePart = nullptr;
    DWORD fullLength = GetFullPathNameA(exeName, sizeof fullName, fullName, &filePart);
    if (fullLength == 0 || fullLength > HOST_PATH_MAX || filePart == nullptr)
        return 1;
    *filePart = '\0';
    size_t folderLength = static_cast<size_t>(filePart - fullName);
    if (folderLength + 1 > size)
        return 1;
    std::memcpy(folder, fullName, folderLength + 1);
    return 0;
}

int hostPath(const char *relative, char *path, size_t size) {
    char folder[HOST_PATH_MAX + 1];
    if (size > 0)
        path[0] = '\0';
    if (findHostFolder(folder, sizeof folder) != 0)
        return 1;
    char joined[HOST_PATH_MAX + 1];
    int length = std::snprintf(joined, sizeof joined, "%s%s", folder, relative);
    if (length < 0 || length > HOST_PATH_MAX || static_cast<size_t>(length) + 1 > size)
        return 1;
    std::memcpy(path, joined, static_cast<size_t>(length) + 1);
    return 0;
}
