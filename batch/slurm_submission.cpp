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
#include <sstream>
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

// sbatch reads % in a file name pattern as a replacement symbol (%j, %A,
// %a...), also in the folder's part: a % of the name itself is written %%.
std::string filePattern(const fs::path &folder, const std::string &pattern) {
    std::string out;
    for (char c : folder.string())
        out += c == '%' ? std::string("%%") : std::string(1, c);
    return out + "/" + pattern;
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
        // A plan written before the arrays' starts were kept had one array.
        p.arrayStarts = j.value("array_starts", std::vector<size_t>{0});
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

std::map<int, TaskState> planTaskStates(const SlurmPlan &plan) {
    std::map<int, TaskState> tasks;
    std::vector<std::string> arrays;
    for (size_t at = 0; at < plan.arrayJob.size();) {
        size_t comma = std::min(plan.arrayJob.find(',', at), plan.arrayJob.size());
        arrays.push_back(plan.arrayJob.substr(at, comma - at));
        at = comma + 1;
    }
    CommandOutput r;
    try {
        // -r: a line per task, also of those still pending together; -t all:
        // those ended too, while the controller remembers them.
        r = runCommand(
            {"squeue", "-h", "-r", "-t", "all", "-o", "%F|%K|%T|%r", "-j", plan.arrayJob});
    } catch (const CliError &) {
        return tasks;
    }
    if (r.exitCode != 0)
        return tasks;
    // The tasks not yet split from their array have one line with no index
    // of their own (N/A); it tells of every task of the array without its own line.
    std::map<size_t, TaskState> remainders;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> parts;
        for (size_t at = 0;;) {
            size_t bar = line.find('|', at);
            parts.push_back(
                line.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
            if (bar == std::string::npos)
                break;
            at = bar + 1;
        }
        if (parts.size() != 4)
            continue;
        auto array = std::find(arrays.begin(), arrays.end(), parts[0]);
        const size_t index = static_cast<size_t>(array - arrays.begin());
        if (array == arrays.end() || index >= plan.arrayStarts.size())
            continue;
        if (parts[1].empty() || parts[1].find_first_not_of("0123456789") != std::string::npos) {
            remainders[index] = TaskState{parts[2], parts[3]};
            continue;
        }
        const size_t at = plan.arrayStarts[index] + std::strtoul(parts[1].c_str(), nullptr, 10) - 1;
        if (at < plan.rows.size())
            tasks[plan.rows[at]] = TaskState{parts[2], parts[3]};
    }
    for (const auto &[index, state] : remainders) {
        const size_t end =
            index + 1 < plan.arrayStarts.size() ? plan.arrayStarts[index + 1] : plan.rows.size();
        for (size_t at = plan.arrayStarts[index]; at < end && at < plan.rows.size(); ++at)
            tasks.emplace(plan.rows[at], state); // a task's own line wins
    }
    return tasks;
}

bool taskEnded(const TaskState &task) {
    for (const char *waiting :
         {"PENDING", "RUNNING", "CONFIGURING", "COMPLETING", "SUSPENDED", "REQUEUED",
          "REQUEUE_HOLD", "REQUEUE_FED", "RESIZING", "SIGNALING", "STAGE_OUT", "STOPPED"})
        if (task.state == waiting)
            return false;
    return !task.state.empty();
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
    // Task N of the array runs the row on line N of the list. A count or a
    // log left by an earlier attempt would pass for this one's (a row
    // without a log is one whose task never began it).
    std::string list;
    for (int row : plan.rows) {
        list += std::to_string(row) + "\n";
        std::error_code ignored;
        fs::remove(m.rowProgress(row), ignored);
        fs::remove(m.rowLog(row), ignored);
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
        json j = {{"array_job", plan.arrayJob},  {"report_job", plan.reportJob},
                  {"submitted", plan.submitted}, {"rows", plan.rows},
                  {"report", plan.report},       {"array_starts", plan.arrayStarts}};
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
                                   "--output=" + filePattern(folder, "task-%A_%a.out")});
        // With a limit, one array at a time keeps it for the whole batch.
        if (o.maxRunning && !after.empty())
            array.push_back("--dependency=afterany" + after);
        array.insert(array.end(), o.sbatchOptions.begin(), o.sbatchOptions.end());
        array.push_back((folder / "task.sh").string());
        const std::string id = sbatch(array);
        plan.arrayJob += (plan.arrayJob.empty() ? "" : ",") + id;
        plan.arrayStarts.push_back(first);
        after += ":" + id;
        savePlan();
    }

    std::vector<std::string> collect = common;
    collect.insert(collect.end(), {"--job-name=pendra-report", "--dependency=afterany" + after,
                                   "--chdir=" + m.folder.string(),
                                   "--output=" + filePattern(folder, "report-%j.out")});
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
