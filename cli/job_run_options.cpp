// Run settings as a comment in a job file (see job_run_options.h).
#include "cli/job_run_options.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace pendra::cli {

namespace {

const std::string marker = "// pendra process:";

} // namespace

std::string runOptionsLine(const RunOptions &run) {
    std::string line;
    if (run.noise)
        line += " --noise " + std::to_string(*run.noise);
    if (run.feather)
        line += " --feather " + std::to_string(*run.feather);
    return line.empty() ? line : marker + line + "\n";
}

void takeRunOptions(const std::string &jobPath, RunOptions &run) {
    std::ifstream in(jobPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, marker.size(), marker) != 0)
            continue;
        // The options table checks names and ranges, as on the command line.
        std::vector<std::string> args{"process", "-", "-", "--job", jobPath};
        std::istringstream words(line.substr(marker.size()));
        for (std::string word; words >> word;)
            args.push_back(word);
        Options parsed;
        try {
            parsed = parseOptions(args);
        } catch (const CliError &e) {
            throw CliError(jobPath + ": " + e.what(), 2);
        }
        if (!run.noise)
            run.noise = parsed.run.noise;
        if (!run.feather)
            run.feather = parsed.run.feather;
    }
}

} // namespace pendra::cli
