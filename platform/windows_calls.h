/*
 * The few Windows kernel calls the module makes, and the path separator.
 *
 * On Windows these are the system's own. Elsewhere platform/ supplies the same
 * calls, written from what the module expects of them, so the module's code is
 * one and the same on both builds.
 */
#ifndef PENDRA_PLATFORM_WINDOWS_CALLS_H
#define PENDRA_PLATFORM_WINDOWS_CALLS_H

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#define PATH_SEP "\\"
#else
#include <cstdint>

typedef uint32_t DWORD;
typedef void *HMODULE;

/* Full file name of the running executable when module is null; 0 on failure.
 * A name that does not fit is cut to size - 1 characters and size is returned. */
DWORD GetModuleFileNameA(HMODULE module, char *filename, DWORD size);

/* Absolute form of fileName. Returns its length when it fits in bufferLength
 * (filePart then points at the last component), else the size needed
 * including the terminator, leaving buffer untouched; 0 on failure. */
DWORD GetFullPathNameA(const char *fileName, DWORD bufferLength, char *buffer, char **filePart);

#define PATH_SEP "/"
#endif

#endif
