// One row of a batch, as a worker process runs it (here or as a task of a
// cluster's job array): `pendra process` with the row's arguments, then the
// row's record once the output is complete.
#pragma once

#include "batch/manifest.h"

namespace pendra::batch {

// Processes row `number` of the manifest; returns the exit code or throws
// CliError, as the process command does.
int runRow(const std::filesystem::path &manifestPath, int number);

} // namespace pendra::batch
