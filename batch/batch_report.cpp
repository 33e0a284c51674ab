#include "batch/batch_report.h"

#include "cli/output_file.h"
#include "pendra_version.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>

namespace pendra::batch {

using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

const char *statusName(RowStatus status) {
    switch (status) {
    case RowStatus::Done:
        return "done";
    case RowStatus::Skipped:
        return "skipped";
    case RowStatus::Failed:
        return "failed";
    }
    return "failed";
}

RowOutcome outcomeOf(const ManifestRow &row, RowStatus status) {
    RowOutcome o;
    o.row = row.number;
    o.input = row.input;
    o.output = row.output;
    o.status = status;
    return o;
}

RowOutcome outcomeOf(const ManifestRow &row, RowStatus status, const RowRecord &record) {
    RowOutcome o = outcomeOf(row, status);
    o.started = record.started;
    o.seconds = record.seconds;
    o.frames = record.frames;
    return o;
}

BatchCounts countOutcomes(const std::vector<RowOutcome> &outcomes) {
    BatchCounts c;
    for (const RowOutcome &o : outcomes)
        ++(o.status == RowStatus::Done      ? c.done
           : o.status == RowStatus::Skipped ? c.skipped
                                            : c.failed);
    return c;
}

std::string utcTime(double seconds) {
    std::time_t whole = static_cast<std::time_t>(std::floor(seconds));
    std::tm parts{};
    gmtime_r(&whole, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void writeReport(const fs::path &path, const Manifest &manifest,
                 const std::vector<RowOutcome> &outcomes, double started, double finished) {
    json rows = json::array();
    for (const RowOutcome &o : outcomes) {
        json row = {{"row", o.row},
                    {"input", o.input.string()},
                    {"output", o.output.string()},
                    {"status", statusName(o.status)}};
        if (o.status == RowStatus::Failed) {
            row["reason"] = o.reason;
            if (!o.log.empty())
                row["log"] = o.log.string();
        }
        if (o.started > 0) {
            row["started"] = utcTime(o.started);
            row["seconds"] = std::round(o.seconds * 1000) / 1000;
            if (o.status != RowStatus::Failed)
                row["frames"] = o.frames;
        }
        rows.push_back(row);
    }
    BatchCounts c = countOutcomes(outcomes);
    json report = {{"manifest", manifest.path.string()},
                   {"version", PENDRA_VERSION},
                   {"started", utcTime(started)},
                   {"finished", utcTime(finished)},
                   {"seconds", std::round((finished - started) * 1000) / 1000},
                   {"counts",
                    {{"rows", outcomes.size()},
                     {"done", c.done},
                     {"skipped", c.skipped},
                     {"failed", c.failed}}},
                   {"rows", rows}};
    cli::writeWholeFile(path, report.dump(2) + "\n");
}

std::optional<std::vector<RowOutcome>> readReport(const fs::path &path) {
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    try {
        json report = json::parse(in);
        std::vector<RowOutcome> outcomes;
        for (const json &row : report.at("rows")) {
            RowOutcome o;
            o.output = row.at("output").get<std::string>();
            const std::string status = row.at("status").get<std::string>();
            for (RowStatus s : {RowStatus::Done, RowStatus::Skipped, RowStatus::Failed})
                if (status == statusName(s))
                    o.status = s;
            o.reason = row.value("reason", std::string());
            outcomes.push_back(o);
        }
        return outcomes;
    } catch (const json::exception &) {
        return std::nullopt;
    }
}

} // namespace pendra::batch
