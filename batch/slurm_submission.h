// The batch on a Slurm cluster: one job array with a task per row still to
// do, each task this program's row mode on one row, throttled to K at once;
// then a small job that waits for the array and writes the report. The
// submission's plan (which rows, which jobs) stays in the state folder for
// the report and for `pendra batch status`. Inputs, outputs, the manifest and
// this program must be at the same paths on every node.
#pragma once

#include "batch/manifest.h"
#include "cli/options.h"

#include <optional>
#include <string>
#include <vector>

namespace pendra::batch {

struct SlurmPlan {
    std::string arrayJob, reportJob;
    double submitted = 0;
    std::vector<int> rows;
    std::string report;
};

std::filesystem::path planPath(const Manifest &manifest);
std::optional<SlurmPlan> readPlan(const Manifest &manifest);

// Whether the plan's jobs are still queued or running; false when squeue
// cannot tell (no Slurm here).
bool planStillQueued(const SlurmPlan &plan);

// Submits the rows still to do; returns the exit code or throws CliError.
int submitToSlurm(const Manifest &manifest, const cli::BatchOptions &options,
                  const std::filesystem::path &report);

} // namespace pendra::batch
