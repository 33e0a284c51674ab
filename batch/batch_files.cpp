#include "batch/batch_files.h"

#include "batch/row_record.h"
#include "cli/analysis_files.h"
#include "cli/analyze_command.h"
#include "cli/av_support.h"
#include "cli/logo_set_check.h"
#include "cli/output_check.h"
#include "cli/output_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace pendra::batch {

namespace fs = std::filesystem;
using cli::CliError;

namespace {

// One file in the batch's plan: what it is to whom. `row` is null for the
// batch's own files.
struct Use {
    const ManifestRow *row = nullptr;
    std::string role;
    fs::path file;
};

bool within(const fs::path &path, const fs::path &folder) {
    auto [f, p] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return f == folder.end();
}

std::vector<Use> readsOf(const ManifestRow &row) {
    std::vector<Use> reads{{&row, "the input", row.input}};
    if (row.job)
        reads.push_back({&row, "the job", *row.job});
    for (const fs::path &set : logoSets(row))
        for (char digit : {'0', '1', '2'})
            reads.push_back({&row, "a logo capture", cli::logoSetMember(set.string(), digit)});
    return reads;
}

std::vector<Use> writesOf(const ManifestRow &row) {
    std::vector<Use> writes{{&row, "the output", row.output}};
    if (row.trace)
        writes.push_back({&row, "--trace", *row.trace});
    if (row.saveJob)
        writes.push_back({&row, "--save-job", *row.saveJob});
    if (row.analyzes)
        for (const fs::path &file : cli::fixedAnalysisFiles(cli::analysisFolderFor(row.output)))
            writes.push_back({&row, "the analysis (--auto)", file});
    return writes;
}

// "the input of line 3", "the manifest".
std::string described(const Use &use) {
    return use.row ? use.role + " of line " + std::to_string(use.row->line) : use.role;
}

std::string lineOf(const Manifest &m, const ManifestRow &row) {
    return m.name + ": line " + std::to_string(row.line) + ": ";
}

bool isBatchReport(const fs::path &path) {
    std::ifstream in(path);
    nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    return j.is_object() && j.contains("manifest") && j.contains("counts") && j.contains("rows");
}

} // namespace

void checkBatchFiles(const Manifest &m) {
    std::map<std::string, Use> reads;
    std::vector<std::pair<fs::path, Use>> readPlaces; // resolved
    auto read = [&](const Use &use) {
        reads.emplace(cli::fileIdentity(use.file), use);
        readPlaces.emplace_back(cli::resolvedPath(use.file), use);
    };
    read({nullptr, "the manifest", m.path});
    for (const ManifestRow &row : m.rows)
        for (const Use &use : readsOf(row))
            read(use);

    const fs::path state = cli::resolvedPath(m.stateFolder());
    std::map<std::string, Use> writes;
    for (const ManifestRow &row : m.rows) {
        for (const Use &use : writesOf(row)) {
            const std::string where = lineOf(m, row) + use.role + " " + use.file.string();
            const std::string identity = cli::fileIdentity(use.file);
            if (auto found = reads.find(identity); found != reads.end())
                throw CliError(where + " is " + described(found->second) +
                               "; writing it would destroy it");
            if (within(cli::resolvedPath(use.file), state))
                throw CliError(where + " lies in the batch's own folder " +
                               m.stateFolder().string());
            auto [other, fresh] = writes.emplace(identity, use);
            if (!fresh)
                throw CliError(where + " is " + described(other->second) +
                               " as well; one would replace the other");
        }
        if (!row.analyzes)
            continue;
        // The analysis also writes bitmap sets of names it finds.
        const fs::path folder = cli::resolvedPath(cli::analysisFolderFor(row.output));
        for (const auto &[place, use] : readPlaces)
            if (place.parent_path() == folder)
                throw CliError(lineOf(m, row) + "the analysis (--auto) writes in " +
                               cli::analysisFolderFor(row.output).string() + ", which holds " +
                               described(use) + ", " + use.file.string() +
                               "; move it out of that folder");
    }
    for (const auto &[place, use] : readPlaces)
        if (use.row && within(place, state))
            throw CliError(lineOf(m, *use.row) + use.role + " " + use.file.string() +
                           " lies in the batch's own folder " + m.stateFolder().string() +
                           ", where it writes its records");
}

void checkReport(const Manifest &m, const fs::path &report) {
    const std::string identity = cli::fileIdentity(report);
    auto clash = [&](const Use &use) {
        if (cli::fileIdentity(use.file) == identity)
            throw CliError(report.string() + ": is " + described(use) + " of " + m.name +
                           "; name another report file");
    };
    clash({nullptr, "the manifest", m.path});
    for (const ManifestRow &row : m.rows) {
        for (const Use &use : readsOf(row))
            clash(use);
        for (const Use &use : writesOf(row))
            clash(use);
    }
    if (within(cli::resolvedPath(report), cli::resolvedPath(m.stateFolder())))
        throw CliError(report.string() + ": lies in the batch's own folder " +
                       m.stateFolder().string() + "; name another report file");
    struct stat st {};
    if (::lstat(report.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || !isBatchReport(report)))
        throw CliError(report.string() +
                       ": exists and is not a batch's report; the batch replaces only files it "
                       "made, so name another report file or remove it");
}

std::vector<fs::path> existingWrites(const ManifestRow &row) {
    std::vector<fs::path> files;
    for (const Use &use : writesOf(row))
        files.push_back(use.file);
    if (row.analyzes) {
        std::error_code error;
        for (auto it = fs::directory_iterator(cli::analysisFolderFor(row.output), error);
             !error && it != fs::directory_iterator(); it.increment(error))
            if (cli::isLogoSetName(it->path().filename().string()))
                files.push_back(it->path());
    }
    std::vector<fs::path> existing;
    for (const fs::path &file : files) {
        std::error_code error;
        if (fs::exists(fs::symlink_status(file, error)))
            existing.push_back(file);
    }
    return existing;
}

std::string madeKey(const Manifest &m, const fs::path &file) {
    return (file.is_absolute() ? file : m.folder / file).lexically_normal().string();
}

void checkMadeByBatch(const Manifest &m, const ManifestRow &row) {
    const std::optional<RowRecord> record = readRecord(recordPath(m.stateFolder(), row));
    for (const fs::path &file : existingWrites(row)) {
        struct stat st {};
        if (::lstat(file.c_str(), &st) != 0)
            continue; // gone meanwhile: nothing to replace
        bool made = false;
        if (record && S_ISREG(st.st_mode)) {
            const FileStamp now{static_cast<int64_t>(st.st_size),
                                static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                                    st.st_mtim.tv_nsec};
            const std::string key = madeKey(m, file);
            auto it = record->made.find(key);
            // A record from before the list vouches for its output alone.
            made = it != record->made.end() ? it->second == now
                                            : file == row.output && record->output == now;
            // A file renamed into place by a run killed before its record
            // was brought up to date.
            auto placed = record->placing.find(key);
            made = made || (placed != record->placing.end() && placed->second == now);
        }
        if (!made)
            throw CliError(lineOf(m, row) + file.string() +
                           " exists and this batch did not make it (or it has changed since); "
                           "the batch replaces only files it made, so move it away or name "
                           "another file");
    }
}

void removeRowTemporaries(const Manifest &m, const ManifestRow &row) {
    for (const Use &use : writesOf(row))
        cli::removeTemporariesFor(use.file);
    if (row.analyzes)
        cli::removeTemporariesIn(cli::analysisFolderFor(row.output));
    cli::removeTemporariesFor(recordPath(m.stateFolder(), row));
}

} // namespace pendra::batch
