/*
 * The host's folder: where the running executable lives (not this module).
 * The defaults file, the default bitmap and the help page are found under it.
 */
#ifndef PENDRA_DEFAULTS_HOST_FOLDER_H
#define PENDRA_DEFAULTS_HOST_FOLDER_H

#include <cstddef>

/* Longest path, in characters, the module builds from the host's folder. */
#define HOST_PATH_MAX 255

/* Writes the folder of the running executable, with its closing separator.
 * Returns 0, or 1 when the name cannot be had or does not fit HOST_PATH_MAX. */
int findHostFolder(char *folder, size_t size);

/* Writes the host's folder followed by relative (using the platform's
 * separators). Returns 0, or 1 with an empty path when the folder is unknown
 * or the whole path would exceed HOST_PATH_MAX characters. */
int hostPath(const char *relative, char *path, size_t size);

#endif
