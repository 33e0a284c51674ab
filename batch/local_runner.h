// Runs a batch on this machine: each row still to do by a worker process of
// its own (this program's hidden row mode), N at once, so that a crash or a
// bad file costs one row. An interrupt stops the workers, which remove their
// half-written files; the rows they had not finished rerun next time.
#pragma once

#include "batch/manifest.h"

#include <filesystem>

namespace pendra::batch {

// Workers that keep this machine's cores busy, x264's own threads allowing.
int defaultWorkers();

// Returns 0 when no row failed, 1 when one did, 130 when interrupted.
int runLocal(const Manifest &manifest, int workers, const std::filesystem::path &report);

} // namespace pendra::batch
