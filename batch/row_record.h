// The record of what made a row's output: the input's size and modification
// time, a hash of the settings (the job file's bytes, the options, the logo
// captures they name and the defaults file when the row takes settings from
// it), the program's version, and the output's own size and time. A rerun skips a row
// whose record still matches all of them. A record is written only after
// its output is complete under its own name, so it never vouches for a
// half-written file, whichever node of a cluster made it.
#pragma once

#include "batch/manifest.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace pendra::batch {

// A file as a record remembers it.
struct FileStamp {
    int64_t size = -1;
    int64_t modified = 0; // nanoseconds since the epoch
    bool operator==(const FileStamp &) const = default;
};

// The file's size and modification time; nothing when it cannot be read.
std::optional<FileStamp> stampOf(const std::filesystem::path &path);

struct RowRecord {
    std::string version;  // empty while its row runs: it then vouches only for `made`
    std::string settings; // settingsHash of the row
    FileStamp input, output;
    int64_t frames = 0;
    double started = 0, seconds = 0; // seconds since the epoch; how long it took
    std::string host;
    // Every file the row's runs made (its output, trace, saved job, analysis
    // folder), by absolute path, as each was when made: the batch replaces
    // only these, while they are as it left them.
    std::map<std::string, FileStamp> made;
    // Files about to be renamed into place while the row runs, by the same
    // key, as their temporaries were: a run killed between the rename and
    // the record of it still vouches for them.
    std::map<std::string, FileStamp> placing;
};

// The bitmap sets the row's filters read: those its job's Pendra filters
// name and one given with --logo.
std::vector<std::filesystem::path> logoSets(const ManifestRow &row);

// A hash over everything that decides a row's output besides the input: the
// job file's bytes (or that there is none), the options, word by word, the
// bytes of the logo captures the job's filters or --logo name, and the bytes
// of the defaults file (Pendra.ini, or the one PENDRA_DEFAULTS_FILE names)
// unless the row gives every setting a new instance would take from it (a
// job, with noise and feather in its options or its run-settings line).
// Nothing when the job file cannot be read.
std::optional<std::string> settingsHash(const ManifestRow &row);

// Where the record of the row's output lives in the batch's state folder:
// named by a hash of the output's path, so reordering the manifest keeps it
// and an output name of any length has a record.
std::filesystem::path recordPath(const std::filesystem::path &stateFolder, const ManifestRow &row);

// The record, or nothing when it is missing or unreadable.
std::optional<RowRecord> readRecord(const std::filesystem::path &path);

// Writes the record atomically into the state folder's records/, which
// makeStateFolders made; throws CliError.
void writeRecord(const std::filesystem::path &path, const RowRecord &record);

// The record of a row whose output is complete and made from the same input
// and settings by this version; nothing when the row is still to do.
std::optional<RowRecord> currentRecord(const std::filesystem::path &stateFolder,
                                       const ManifestRow &row);

} // namespace pendra::batch
