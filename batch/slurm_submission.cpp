#include "batch/slurm_submission.h"

#include "batch/batch_report.h"
#include "batch/child_process.h"
#include "batch/row_record.h"
#include "cli/av_support.h"
#include "cli/output_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace pendra::batch {

namespace fs = std::filesystem;
using cli::CliError;
using json = nlohmann::ordered_json;

namespace {

std::string shellQuoted(const std::string &s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void writeScript(const fs::path &path, const std::string &text) {
    cli::writeWholeFile(path, text, 0755);
}

// Runs sbatch and returns the job's id; throws CliError with sbatch's own words.
std::string sbatch(std::vector<std::string> args) {
    args.insert(args.begin(), {"sbatch", "--parsable"});
    CommandOutput r = runCommand(args);
    std::string id = r.out.substr(0, r.out.find_first_of(";\n"));
    if (r.exitCode != 0 || id.empty()) {
        std::string why = r.err.substr(0, r.err.find_last_not_of("\n") + 1);
        throw CliError("sbatch failed: " +
                       (why.empty() ? "exit code " + std::to_string(r.exitCode) : why));
    }
    return id;
}

// Array indices must stay below the cluster's MaxArraySize; 1001 when it
// does not say (Slurm's own default).
int largestArray() {
    int largest = 1000;
    try {
        CommandOutput r = runCommand({"scontrol", "show", "config"});
        const std::string key = "MaxArraySize";
        if (size_t at = r.out.find(key); r.exitCode == 0 && at != std::string::npos) {
            at = r.out.find('=', at);
            if (at != std::string::npos)
                largest = std::atoi(r.out.c_str() + at + 1) - 1;
        }
    } catch (const CliError &) {
        // No scontrol here: sbatch will say what is wrong.
    }
    return largest > 0 ? largest : 1000;
}

fs::path planPath(const Manifest &m) {
    return m.stateFolder() / "slurm" / "submission.json";
}

} // namespace

std::optional<SlurmPlan> readPlan(const Manifest &m) {
    std::ifstream in(planPath(m));
    if (!in)
        return std::nullopt;
    try {
        json j = json::parse(in);
        SlurmPlan p;
        p.arrayJob = j.at("array_job").get<std::string>();
        p.reportJob = j.at("report_job").get<std::string>();
        p.submitted = j.at("submitted").get<double>();
        p.rows = j.at("rows").get<std::vector<int>>();
        p.report = j.at("report").get<std::string>();
        return p;
    } catch (const json::exception &) {
        return std::nullopt;
    }
}

bool planStillQueued(const SlurmPlan &plan) {
    try {
        CommandOutput r =
            runCommand({"squeue", "-h", "-o", "%i", "-j", plan.arrayJob + "," + plan.reportJob});
        return r.exitCode == 0 && r.out.find_first_not_of(" \n") != std::string::npos;
    } catch (const CliError &) {
        return false;
    }
}

int submitToSlurm(const Manifest &m, const cli::BatchOptions &o, const fs::path &report) {
    if (std::optional<SlurmPlan> previous = readPlan(m); previous && planStillQueued(*previous))
        throw CliError(m.path.string() + ": its last submission (job " + previous->arrayJob +
                       ") is still queued or running; wait for it or scancel it first");
    SlurmPlan plan;
    plan.report = fs::absolute(report).string();
    std::vector<RowOutcome> skipped;
    for (const ManifestRow &row : m.rows)
        if (std::optional<RowRecord> record = currentRecord(m.stateFolder(), row))
            skipped.push_back(outcomeOf(row, RowStatus::Skipped, *record));
        else
            plan.rows.push_back(row.number);
    if (plan.rows.empty()) {
        double now = secondsNow();
        writeReport(report, m, skipped, now, now);
        std::fprintf(stderr, "pendra: every row is done; nothing to submit; report in %s\n",
                     report.c_str());
        return 0;
    }

    const fs::path folder = m.stateFolder() / "slurm";
    makeStateFolders(m);
    // Task N of the array runs the row on line N of the list. A count left
    // by an earlier attempt would pass for this one's.
    std::string list;
    for (int row : plan.rows) {
        list += std::to_string(row) + "\n";
        std::error_code ignored;
        fs::remove(m.rowProgress(row), ignored);
    }
    cli::writeWholeFile(folder / "rows.txt", list);
    const std::string program = shellQuoted(ownProgram().string());
    const std::string manifest = shellQuoted(m.path.string());
    writeScript(folder / "task.sh",
                "#!/bin/sh\n"
                "# One row of the batch, chosen by the task's index in its array and the\n"
                "# rows the arrays before it took.\n"
                "row=$(sed -n \"$((SLURM_ARRAY_TASK_ID + ${PENDRA_ROWS_BEFORE:-0}))p\" " +
                    shellQuoted((folder / "rows.txt").string()) +
                    ")\n"
                    "exec " +
                    program + " batch --row \"$row\" " + manifest + " 2>" +
                    shellQuoted((m.stateFolder() / "logs").string() + "/row-") + "\"$row\".log\n");
    writeScript(folder / "report.sh", "#!/bin/sh\n# The report, once every task has ended.\n"
                                      "exec " +
                                          program + " batch --collect --report " +
                                          shellQuoted(plan.report) + " " + manifest + "\n");

    std::vector<std::string> common;
    if (o.partition)
        common.push_back("--partition=" + *o.partition);
    if (o.time)
        common.push_back("--time=" + *o.time);
    plan.submitted = secondsNow();
    // The plan is in place before the report's job can start.
    auto savePlan = [&] {
        json j = {{"array_job", plan.arrayJob},
                  {"report_job", plan.reportJob},
                  {"submitted", plan.submitted},
                  {"rows", plan.rows},
                  {"report", plan.report}};
        cli::writeWholeFile(planPath(m), j.dump(2) + "\n");
    };
    const size_t largest = static_cast<size_t>(largestArray());
    std::string after; // the arrays so far, as a dependency list
    for (size_t first = 0; first < plan.rows.size(); first += largest) {
        const size_t count = std::min(largest, plan.rows.size() - first);
        std::vector<std::string> array = common;
        std::string range = "1-" + std::to_string(count);
        if (o.maxRunning)
            range += "%" + std::to_string(*o.maxRunning);
        array.insert(array.end(), {"--job-name=pendra-batch", "--array=" + range,
                                   "--export=ALL,PENDRA_ROWS_BEFORE=" + std::to_string(first),
                                   "--chdir=" + m.folder.string(),
                                   "--output=" + (folder / "task-%A_%a.out").string()});
        // With a limit, one array at a time keeps it for the whole batch.
        if (o.maxRunning && !after.empty())
            array.push_back("--dependency=afterany" + after);
        array.insert(array.end(), o.sbatchOptions.begin(), o.sbatchOptions.end());
        array.push_back((folder / "task.sh").string());
        const std::string id = sbatch(array);
        plan.arrayJob += (plan.arrayJob.empty() ? "" : ",") + id;
        after += ":" + id;
        savePlan();
    }

    std::vector<std::string> collect = common;
    collect.insert(collect.end(), {"--job-name=pendra-report", "--dependency=afterany" + after,
                                   "--chdir=" + m.folder.string(),
                                   "--output=" + (folder / "report-%j.out").string()});
    collect.insert(collect.end(), o.sbatchOptions.begin(), o.sbatchOptions.end());
    collect.push_back((folder / "report.sh").string());
    plan.reportJob = sbatch(collect);
    savePlan();
    std::printf("%s\n", plan.arrayJob.c_str());
    std::fprintf(stderr,
                 "pendra: submitted job %s %s: %zu of %zu rows (%zu done before); the "
                 "report follows as job %s into %s\n",
                 plan.arrayJob.find(',') == std::string::npos ? "array" : "arrays",
                 plan.arrayJob.c_str(), plan.rows.size(), m.rows.size(),
                 m.rows.size() - plan.rows.size(), plan.reportJob.c_str(), plan.report.c_str());
    return 0;
}

} // namespace pendra::batch
