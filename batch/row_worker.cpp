#include "batch/row_worker.h"

#include "batch/batch_report.h"
#include "batch/row_progress.h"
#include "batch/row_record.h"
#include "cli/av_support.h"
#include "cli/commands.h"
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
    // A manifest plans a tree of outputs: their folders are made as rows need them.
    const std::filesystem::path folder = row.output.parent_path();
    if (std::error_code error; !std::filesystem::create_directories(folder, error) && error)
        throw cli::CliError(row.output.string() + ": cannot make its folder " + folder.string() +
                            ": " + cli::systemErrorText(error.value()));
    // Made by the batch that started this worker; without it the row runs
    // on, only its count goes unseen.
    shareFrameCounts(manifest.rowProgress(number));
    RowRecord record;
    record.started = secondsNow();
    int code = cli::runProcess(options, &record.frames);
    if (code != 0)
        return code;
    record.seconds = secondsNow() - record.started;
    std::optional<FileStamp> output = stampOf(row.output);
    // Without a stamp of each, nothing can show later that the output is current.
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
