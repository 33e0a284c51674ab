// The files a batch reads and writes, and the rules between them. No file
// that a row or the batch writes (an output, a trace, a saved job, an
// analysis folder, the report; the records, logs and scripts of the state
// folder) may be one that a row or the batch reads (the manifest, an input,
// a job, a logo capture), by any path or link, and no two rows write one
// file: a manifest that breaks this is refused before any row runs. And a
// batch replaces only files it made itself, as they were when it made them
// (its record of the row lists them), never one it did not make.
#pragma once

#include "batch/manifest.h"

#include <filesystem>
#include <vector>

namespace pendra::batch {

// Throws CliError naming the manifest, the line and the file when a file a
// row writes is one that a row or the batch reads, lies in the batch's state
// folder, or is written by another row as well.
void checkBatchFiles(const Manifest &manifest);

// Throws CliError naming `report` when it is a file that a row reads or
// writes, or an existing file that is not a batch's report.
void checkReport(const Manifest &manifest, const std::filesystem::path &report);

// Every file the row may write that exists now: the output, the trace, the
// saved job and, when it analyzes, the analysis folder's files.
std::vector<std::filesystem::path> existingWrites(const ManifestRow &row);

// Throws CliError naming the line and the file when the row would replace a
// file its record does not say the batch made, as it is now.
void checkMadeByBatch(const Manifest &manifest, const ManifestRow &row);

// The key a record lists a file the row made under: its absolute path, a
// relative one taken from the manifest's folder, where the worker runs.
std::string madeKey(const Manifest &manifest, const std::filesystem::path &file);

// Removes what a worker killed outright left half-written: the temporary
// files of everything the row writes.
void removeRowTemporaries(const Manifest &manifest, const ManifestRow &row);

} // namespace pendra::batch
