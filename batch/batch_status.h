// What a batch's files say about each row, for `pendra batch status` and for
// the report written after a Slurm array: the records (done), the logs of
// workers that ended without one (failed, with the log's last line) and the
// plan of the last submission (which rows it ran).
#pragma once

#include "batch/manifest.h"

#include <filesystem>

namespace pendra::batch {

// Prints each row's state and the counts; returns 0.
int printStatus(const Manifest &manifest, const std::filesystem::path &report);

// Writes the report of the last Slurm submission; returns 0 when no row failed.
int collectReport(const Manifest &manifest, const std::filesystem::path &report);

} // namespace pendra::batch
