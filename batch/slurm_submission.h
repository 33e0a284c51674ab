// The batch on a Slurm cluster: one job array with a task per row still to
// do, each task this program's row mode on one row, throttled to K at once;
// then a small job that waits for the array and writes the report. A cluster
// takes arrays of fewer than MaxArraySize tasks (1001 unless its slurm.conf
// says otherwise), so more rows go in several arrays, each after the one
// before when K is given so that K still holds for the whole batch. The
// submission's plan (which rows, which jobs) stays in the state folder for
// the report and for `pendra batch status`. Inputs, outputs, the manifest and
// this program must be at the same paths on every node.
#pragma once

#include "batch/manifest.h"
#include "cli/options.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pendra::batch {

struct SlurmPlan {
    std::string arrayJob; // the arrays' job ids, comma-separated
    std::string reportJob;
    double submitted = 0;
    std::vector<int> rows;
    std::string report;
    std::vector<size_t> arrayStarts; // of each array, in order: the rows before its first
};

std::optional<SlurmPlan> readPlan(const Manifest &manifest);

// Whether the plan's jobs are still queued or running; false when squeue
// cannot tell (no Slurm here).
bool planStillQueued(const SlurmPlan &plan);

// A task of the plan as squeue tells it: PENDING with why it waits
// (Resources, JobHeldUser, "launch failed requeued held"...), RUNNING, or
// how it ended (FAILED with JobLaunchFailure when it could not start).
struct TaskState {
    std::string state, reason;
};

// The states of the plan's tasks by row number, for as long as the
// controller remembers them (MinJobAge after they end); empty when squeue
// cannot tell.
std::map<int, TaskState> planTaskStates(const SlurmPlan &plan);

// Whether the task state is one of a task that has ended.
bool taskEnded(const TaskState &task);

// Submits the rows still to do; returns the exit code or throws CliError.
int submitToSlurm(const Manifest &manifest, const cli::BatchOptions &options,
                  const std::filesystem::path &report);

} // namespace pendra::batch
