#include "batch/batch_status.h"

#include "batch/batch_report.h"
#include "batch/child_process.h"
#include "batch/row_progress.h"
#include "batch/row_record.h"
#include "batch/slurm_submission.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace pendra::batch {

namespace fs = std::filesystem;

namespace {

// Why a row the last submission planned has no record. Its task's script
// starts the row's log before anything else, and the submission removed
// the log of an earlier attempt: without one, the task never began the row
// (it could not launch, or was cancelled while it waited), and what Slurm
// says of it is all there is.
std::string failureReason(const Manifest &m, const ManifestRow &row,
                          const std::map<int, TaskState> &tasks) {
    if (!fs::exists(m.rowLog(row.number))) {
        std::string reason = "its Slurm task never started the row";
        if (auto task = tasks.find(row.number); task != tasks.end()) {
            reason += " (" + task->second.state;
            if (!task->second.reason.empty() && task->second.reason != "None")
                reason += ", " + task->second.reason;
            if (task->second.reason == "JobLaunchFailure")
                reason += "; the node's slurmd log says why";
            reason += ")";
        }
        return reason;
    }
    std::string reason = lastLine(m.rowLog(row.number));
    return reason.empty() ? "did not run to its end (cancelled, or never started)" : reason;
}

bool planned(const SlurmPlan &plan, int row) {
    return std::find(plan.rows.begin(), plan.rows.end(), row) != plan.rows.end();
}

} // namespace

int printStatus(const Manifest &m, const fs::path &reportPath) {
    std::optional<SlurmPlan> plan = readPlan(m);
    const bool queued = plan && planStillQueued(*plan);
    const std::map<int, TaskState> tasks =
        plan ? planTaskStates(*plan) : std::map<int, TaskState>();
    std::map<fs::path, RowOutcome> reported;
    if (std::optional<std::vector<RowOutcome>> report = readReport(reportPath))
        for (const RowOutcome &o : *report)
            reported[o.output] = o;
    int done = 0, failed = 0, toDo = 0, waiting = 0;
    for (const ManifestRow &row : m.rows) {
        std::string state, detail;
        auto task = tasks.find(row.number);
        const bool known = task != tasks.end();
        auto fromReport = reported.find(row.output);
        if (std::optional<RowRecord> record = currentRecord(m.stateFolder(), row)) {
            state = "done";
            char text[96];
            std::snprintf(text, sizeof text, " (%.1f s%s%s)", record->seconds,
                          record->host.empty() ? "" : " on ", record->host.c_str());
            detail = " -> " + row.output.string() + text;
            ++done;
        } else if (queued && planned(*plan, row.number) && !(known && taskEnded(task->second))) {
            state = "queued";
            if (std::optional<FrameCount> c = readFrameCount(m.rowProgress(row.number))) {
                state = "running";
                if (c->total > 0)
                    detail = " (" + std::to_string(100 * c->done / c->total) + "%)";
            } else if (known && task->second.state == "PENDING" && task->second.reason != "None") {
                // Why it waits: its turn, its limit, or a launch that failed.
                detail = " (" + task->second.reason + ")";
            }
            ++waiting;
        } else if (plan && planned(*plan, row.number) &&
                   (!fs::exists(m.rowLog(row.number)) ||
                    (known && taskEnded(task->second) && task->second.state != "COMPLETED"))) {
            // Its task never began the row, or has ended without a record.
            state = "failed";
            detail = ": " + failureReason(m, row, tasks);
            ++failed;
        } else if (fromReport != reported.end() && fromReport->second.status == RowStatus::Failed) {
            state = "failed";
            const std::string &reason = fromReport->second.reason;
            // Most reasons name the input already.
            detail = reason.rfind(row.input.string(), 0) == 0
                         ? reason.substr(row.input.string().size())
                         : ": " + reason;
            ++failed;
        } else {
            state = "to do";
            ++toDo;
        }
        std::printf("row %-4d %-7s %s%s\n", row.number, state.c_str(), row.input.c_str(),
                    detail.c_str());
    }
    std::printf("%zu rows: %d done, %d failed, %d to do", m.rows.size(), done, failed, toDo);
    if (waiting > 0)
        std::printf(", %d queued or running (job %s)", waiting, plan->arrayJob.c_str());
    std::printf("\n");
    return 0;
}

int collectReport(const Manifest &m, const fs::path &reportPath) {
    std::optional<SlurmPlan> plan = readPlan(m);
    const std::map<int, TaskState> tasks =
        plan ? planTaskStates(*plan) : std::map<int, TaskState>();
    std::vector<RowOutcome> outcomes;
    for (const ManifestRow &row : m.rows) {
        const bool ran = plan && planned(*plan, row.number);
        if (std::optional<RowRecord> record = currentRecord(m.stateFolder(), row)) {
            outcomes.push_back(outcomeOf(row, ran ? RowStatus::Done : RowStatus::Skipped, *record));
            continue;
        }
        RowOutcome o = outcomeOf(row, RowStatus::Failed);
        o.reason = ran ? failureReason(m, row, tasks) : "not submitted";
        o.log = m.rowLog(row.number);
        outcomes.push_back(o);
    }
    writeReport(reportPath, m, outcomes, plan ? plan->submitted : secondsNow(), secondsNow());
    // Every task has ended: no count is current any more.
    std::error_code ignored;
    fs::remove_all(m.stateFolder() / "progress", ignored);
    return countOutcomes(outcomes).failed > 0 ? 1 : 0;
}

} // namespace pendra::batch
