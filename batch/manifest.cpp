#include "batch/manifest.h"

#include "batch/batch_files.h"
#include "batch/csv_table.h"
#include "batch/shell_words.h"
#include "cli/av_support.h"
#include "cli/options.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace pendra::batch {

namespace fs = std::filesystem;
using cli::CliError;

namespace {

const char *const columnNames[] = {"input", "output", "job", "options"};

fs::path underFolder(const fs::path &folder, const std::string &name) {
    fs::path p(name);
    return (p.is_absolute() ? p : folder / p).lexically_normal();
}

// The row's command as its worker runs it, but for the -y the worker adds
// once the record vouches for every file it replaces, so that one in the
// options column shows when they are parsed. A row
// without a job or a logo source of its own is analyzed first; whether the
// options name one is read from their words, and the parse then refuses a
// wrong guess (a word that is another option's value).
std::vector<std::string> commandArguments(const ManifestRow &row) {
    std::vector<std::string> args{"process", row.input.string(), row.output.string()};
    bool namesLogo = std::any_of(row.options.begin(), row.options.end(), [](const std::string &w) {
        for (const char *option : {"--logo", "--job"})
            if (w == option || w.rfind(std::string(option) + "=", 0) == 0)
                return true;
        return w == "--auto";
    });
    if (row.job) {
        args.push_back("--job");
        args.push_back(row.job->string());
    } else if (!namesLogo) {
        args.push_back("--auto");
    }
    args.insert(args.end(), row.options.begin(), row.options.end());
    return args;
}

// Parses the row's options with the command's own parser, so that a typo is
// refused with its line before any row runs, and keeps the logo set they
// name. Throws CliError starting with `where`.
void checkOptions(ManifestRow &row, const std::string &where) {
    cli::Options parsed;
    try {
        parsed = cli::parseOptions(commandArguments(row));
    } catch (const CliError &e) {
        throw CliError(where + e.what());
    }
    if (parsed.overwrite)
        throw CliError(where + "the options may not hold -y or --overwrite (the batch replaces "
                               "outputs itself)");
    if (parsed.job && (!row.job || fs::path(*parsed.job) != *row.job))
        throw CliError(where + "the options may not hold --job (the job has a column of its own)");
    if (parsed.settings.logo && !parsed.settings.logo->empty())
        row.logo = underFolder(row.folder, *parsed.settings.logo);
    if (parsed.run.trace)
        row.trace = underFolder(row.folder, *parsed.run.trace);
    if (parsed.saveJob)
        row.saveJob = underFolder(row.folder, *parsed.saveJob);
    row.analyzes = parsed.autoAnalysis;
}

} // namespace

fs::path Manifest::stateFolder() const {
    return folder / (path.stem().string() + "-batch");
}

fs::path Manifest::rowLog(int number) const {
    return stateFolder() / "logs" / ("row-" + std::to_string(number) + ".log");
}

fs::path Manifest::rowProgress(int number) const {
    return stateFolder() / "progress" / ("row-" + std::to_string(number) + ".txt");
}

fs::path Manifest::defaultReport() const {
    return folder / (path.stem().string() + "-report.json");
}

const ManifestRow &Manifest::row(int number) const {
    if (number < 1 || static_cast<size_t>(number) > rows.size())
        throw CliError(path.string() + ": has no row " + std::to_string(number));
    return rows[static_cast<size_t>(number - 1)];
}

void makeStateFolders(const Manifest &m) {
    for (const char *sub : {"records", "logs", "progress", "slurm"}) {
        const fs::path folder = m.stateFolder() / sub;
        std::error_code error;
        fs::create_directories(folder, error);
        if (error)
            throw CliError(folder.string() + ": cannot make the batch's folder: " +
                           cli::systemErrorText(error.value()));
    }
}

Manifest readManifest(const fs::path &given) {
    Manifest m;
    m.name = given.string();
    m.path = fs::absolute(given).lexically_normal();
    m.folder = m.path.parent_path();
    const std::string name = given.string();
    std::ifstream in(m.path, std::ios::binary);
    if (!in || fs::is_directory(m.path))
        throw CliError(name + ": cannot read the manifest: " +
                       (fs::exists(m.path) ? "not a readable file" : "no such file"));
    std::stringstream text;
    text << in.rdbuf();
    CsvError error;
    std::optional<std::vector<CsvRecord>> records = parseCsv(text.str(), error);
    if (!records)
        throw CliError(name + ": line " + std::to_string(error.line) + ": " + error.problem);
    if (records->empty())
        throw CliError(name + ": is empty; it needs a header line naming input and output");

    // Which field holds which column, from the header.
    std::map<std::string, size_t> column;
    const CsvRecord &header = records->front();
    for (size_t i = 0; i < header.fields.size(); ++i) {
        std::string field = header.fields[i];
        std::transform(field.begin(), field.end(), field.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        field.erase(0, field.find_first_not_of(" \t"));
        field.erase(field.find_last_not_of(" \t") + 1);
        if (std::find(std::begin(columnNames), std::end(columnNames), field) ==
            std::end(columnNames))
            throw CliError(name + ": line " + std::to_string(header.line) + ": unknown column \"" +
                           header.fields[i] + "\" (the columns are input, output, job, options)");
        if (!column.emplace(field, i).second)
            throw CliError(name + ": line " + std::to_string(header.line) + ": column " + field +
                           " named twice");
    }
    if (!column.count("input") || !column.count("output"))
        throw CliError(name + ": line " + std::to_string(header.line) +
                       ": the header must name the columns input and output");

    std::map<fs::path, int> outputLines;
    for (size_t r = 1; r < records->size(); ++r) {
        const CsvRecord &record = (*records)[r];
        const std::string where = name + ": line " + std::to_string(record.line) + ": ";
        if (record.fields.size() > header.fields.size())
            throw CliError(where + "has " + std::to_string(record.fields.size()) +
                           " fields, the header names " + std::to_string(header.fields.size()));
        auto field = [&](const char *key) -> std::string {
            auto it = column.find(key);
            return it == column.end() || it->second >= record.fields.size()
                       ? std::string()
                       : record.fields[it->second];
        };
        ManifestRow row;
        row.number = static_cast<int>(r);
        row.line = record.line;
        if (field("input").empty() || field("output").empty())
            throw CliError(where + "needs both an input and an output");
        row.input = underFolder(m.folder, field("input"));
        row.output = underFolder(m.folder, field("output"));
        if (!field("job").empty())
            row.job = underFolder(m.folder, field("job"));
        std::optional<std::vector<std::string>> words = splitShellWords(field("options"));
        if (!words)
            throw CliError(where + "the options have a quote left open: " + field("options"));
        row.options = *words;
        row.folder = m.folder;
        checkOptions(row, where);
        auto [previous, fresh] = outputLines.emplace(row.output, record.line);
        if (!fresh)
            throw CliError(where + "writes " + field("output") + " again (as line " +
                           std::to_string(previous->second) + " does)");
        m.rows.push_back(std::move(row));
    }
    if (m.rows.empty())
        throw CliError(name + ": has no rows under its header");
    checkBatchFiles(m);
    return m;
}

std::vector<std::string> processArguments(const ManifestRow &row) {
    return commandArguments(row);
}

} // namespace pendra::batch
