// A batch manifest: a CSV file with a header naming the columns input,
// output and, when wanted, job and options, one row per file to process.
// Paths are taken relative to the manifest's folder. Also where a batch keeps
// its state: beside the manifest, so that every node of a cluster that sees
// the manifest sees the state too.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pendra::batch {

struct ManifestRow {
    int number = 0; // 1 for the first row under the header
    int line = 0;   // where it starts in the file, for messages
    std::filesystem::path input, output;
    std::optional<std::filesystem::path> job;
    std::vector<std::string> options;                    // the options column, split into words
    std::filesystem::path folder;                        // where the options' relative paths start
    std::optional<std::filesystem::path> logo;           // the set --logo names, under `folder`
    std::optional<std::filesystem::path> trace, saveJob; // as --trace and --save-job name them
    bool analyzes = false; // --auto: it writes the analysis folder beside its output first
};

struct Manifest {
    std::string name;             // as the user gave it, for messages
    std::filesystem::path path;   // absolute
    std::filesystem::path folder; // where relative paths start
    std::vector<ManifestRow> rows;

    // MANIFEST's name + "-batch" beside it: records/, logs/ and slurm/.
    std::filesystem::path stateFolder() const;
    // The messages of the row's last run, in the state folder.
    std::filesystem::path rowLog(int number) const;
    // The frame count of the row's running worker, in the state folder.
    std::filesystem::path rowProgress(int number) const;
    // MANIFEST's name + "-report.json" beside it.
    std::filesystem::path defaultReport() const;
    // The row numbered `number`; throws CliError when there is none.
    const ManifestRow &row(int number) const;
};

// Makes the state folder's records/, logs/, progress/ and slurm/ before a
// batch runs, so that no worker finds one missing; throws CliError naming
// the folder that cannot be made.
void makeStateFolders(const Manifest &manifest);

// Reads and checks the whole manifest, the options of each row as the
// command would, and that no file a row writes is one that a row or the
// batch reads (batch_files.h); throws CliError naming the file, the line and
// the problem.
Manifest readManifest(const std::filesystem::path &path);

// The `pendra process` arguments of a row, without the program's name: the
// files, its job (or --auto when it names no logo of its own) and its
// options. Without -y: the worker replaces only what its record vouches for.
std::vector<std::string> processArguments(const ManifestRow &row);

} // namespace pendra::batch
