#include "batch/row_worker.h"

#include "batch/batch_files.h"
#include "batch/batch_report.h"
#include "batch/row_progress.h"
#include "batch/row_record.h"
#include "cli/av_support.h"
#include "cli/commands.h"
#include "cli/output_file.h"
#include "pendra_version.h"

#include <cerrno>
#include <unistd.h>

namespace pendra::batch {

namespace {

std::string hostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

} // namespace

int runRow(const std::filesystem::path &manifestPath, int number) {
    Manifest manifest = readManifest(manifestPath);
    const ManifestRow &row = manifest.row(number);
    // Taken before the work, so that an input or job changed meanwhile is
    // not vouched for: the record then differs and the next run redoes it.
    std::optional<std::string> settings = settingsHash(row);
    std::optional<FileStamp> input = stampOf(row.input);
    // File names in the options are relative to the manifest, like its columns.
    if (::chdir(manifest.folder.c_str()) != 0)
        throw cli::CliError(manifest.folder.string() +
                            ": cannot work there: " + cli::systemErrorText(errno));
    cli::Options options = cli::parseOptions(processArguments(row));
    // Checked again here, as a cluster's task may start long after the
    // submission: it replaces only what the batch made.
    checkMadeByBatch(manifest, row);
    options.overwrite = true;
    // A manifest plans a tree of outputs: their folders are made as rows need them.
    const std::filesystem::path folder = row.output.parent_path();
    if (std::error_code error; !std::filesystem::create_directories(folder, error) && error)
        throw cli::CliError(row.output.string() + ": cannot make its folder " + folder.string() +
                            ": " + cli::systemErrorText(error.value()));
    // Made by the batch that started this worker; without it the row runs
    // on, only its count goes unseen.
    shareFrameCounts(manifest.rowProgress(number));
    // Each file the row makes is listed in its record just before it gets
    // its name, so that a run cut short still vouches for what it made; until
    // the row is done, the record says only that.
    const std::filesystem::path recordFile = recordPath(manifest.stateFolder(), row);
    RowRecord ledger = readRecord(recordFile).value_or(RowRecord{});
    ledger.version.clear();
    cli::OutputFile::onEachCommit(
        [&](const std::filesystem::path &made, const std::filesystem::path &temporary) {
            if (std::optional<FileStamp> stamp = stampOf(temporary)) {
                ledger.placing[madeKey(manifest, made)] = *stamp;
                writeRecord(recordFile, ledger);
            }
        });
    struct StopListing {
        ~StopListing() { cli::OutputFile::onEachCommit(nullptr); }
    } stopListing;
    RowRecord record;
    record.started = secondsNow();
    int code = cli::runProcess(options, &record.frames);
    cli::OutputFile::onEachCommit(nullptr);
    // Those placed are made: the rename kept their stamps.
    for (const auto &[key, stamp] : ledger.placing)
        if (stampOf(key) == stamp)
            ledger.made[key] = stamp;
    ledger.placing.clear();
    record.made = ledger.made;
    if (code != 0)
        return code;
    record.seconds = secondsNow() - record.started;
    std::optional<FileStamp> output = stampOf(row.output);
    // Without a stamp of each, nothing can show later that the output is
    // current; the record still lists what the row made.
    if (!settings || !input || !output)
        return 0;
    record.version = PENDRA_VERSION;
    record.settings = *settings;
    record.input = *input;
    record.output = *output;
    record.host = hostName();
    writeRecord(recordPath(manifest.stateFolder(), row), record);
    return 0;
}

} // namespace pendra::batch
