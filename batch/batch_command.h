// pendra batch: many files from a manifest, here or on a Slurm cluster,
// resumable; and the hidden modes its workers and the cluster's jobs run.
#pragma once

#include "cli/options.h"

namespace pendra::batch {

// Returns the exit code or throws CliError.
int runBatch(const cli::Options &options);

} // namespace pendra::batch
