// The batch's report: a JSON file with one entry per row (its files, done,
// skipped or failed, the reason of a failure, when it ran and for how long)
// and the counts, written whole under a temporary name so that a reader
// never sees half of one.
#pragma once

#include "batch/manifest.h"
#include "batch/row_record.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pendra::batch {

enum class RowStatus { Done, Skipped, Failed };

const char *statusName(RowStatus status);

struct RowOutcome {
    int row = 0;
    std::filesystem::path input, output;
    RowStatus status = RowStatus::Failed;
    std::string reason; // for a failure
    std::filesystem::path log;
    double started = 0, seconds = 0; // since the epoch; how long it took
    int64_t frames = 0;
};

// A row's outcome with its files filled in.
RowOutcome outcomeOf(const ManifestRow &row, RowStatus status);
// And with when the record's run started, how long it took and its frames:
// a row done or skipped is reported alike however the batch ran.
RowOutcome outcomeOf(const ManifestRow &row, RowStatus status, const RowRecord &record);

struct BatchCounts {
    int done = 0, skipped = 0, failed = 0;
};

BatchCounts countOutcomes(const std::vector<RowOutcome> &outcomes);

// Writes the report; throws CliError naming the file.
void writeReport(const std::filesystem::path &path, const Manifest &manifest,
                 const std::vector<RowOutcome> &outcomes, double started, double finished);

// The rows of a report as far as `batch status` shows them (output, status
// and reason), or nothing when there is none or it cannot be read.
std::optional<std::vector<RowOutcome>> readReport(const std::filesystem::path &path);

// "2026-12-08T09:15:02Z" for seconds since the epoch.
std::string utcTime(double seconds);

double secondsNow();

} // namespace pendra::batch
