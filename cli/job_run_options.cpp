// Run settings as a comment in a job file (see job_run_options.h).
#include "cli/job_run_options.h"

#include "module/user_settings.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace pendra::cli {

namespace {

const std::string marker = "// pendra process:";

} // namespace

std::string runOptionsLine(const SettingOptions &settings) {
    std::string line;
    for (const auto &[setting, value] : settings.given(SETTING_RUN))
        line += std::string(" --") + setting->option + " " + std::to_string(value);
    return line.empty() ? line : marker + line + "\n";
}

void takeRunOptions(const std::string &jobPath, SettingOptions &settings) {
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
        for (const auto &[setting, value] : parsed.settings.given(SETTING_RUN))
            settings.values.emplace(setting->name, value); // what the user gave wins
    }
}

} // namespace pendra::cli
