#include "web/analysis_task.h"

#include "cli/analysis_files.h"
#include "cli/analyze_command.h"
#include "cli/config_line.h"
#include "host/host_error.h"
#include "host/job_script.h"
#include "web/settings_form.h"

#include <fstream>
#include <sstream>

namespace pendra::web {

using nlohmann::json;

namespace {

std::string readFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : std::string();
}

} // namespace

AnalysisTask::AnalysisTask(std::string input, std::mutex &moduleLock)
    : input_(std::move(input)), moduleLock_(moduleLock), folder_(cli::analysisFolderFor(input_)),
      status_({{"state", "idle"}}) {}

AnalysisTask::~AnalysisTask() {
    if (thread_.joinable())
        thread_.join();
}

void AnalysisTask::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_["state"] == "running")
        return;
    if (thread_.joinable())
        thread_.join();
    status_ = {{"state", "running"}, {"pass", ""}, {"done", 0.0}};
    thread_ = std::thread([this] { run(); });
}

json AnalysisTask::status() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

std::string AnalysisTask::picture(const std::string &name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_["state"] != "done" || (name != "alpha.png" && name != "found.png"))
        return {};
    return readFile(folder_ / name);
}

json jobRanges(const std::vector<host::JobEntry> &entries) {
    json ranges = json::array();
    for (const host::JobEntry &e : entries)
        if (std::optional<cli::ConfigValues> v = cli::parseConfigLine(e.call);
            v && !cli::isRimSet(v->logo))
            ranges.push_back({{"start", v->numbers.start}, {"end", v->numbers.end}});
    return ranges;
}

void AnalysisTask::run() {
    cli::AnalyzeRequest request;
    request.input = input_;
    request.folder = folder_;
    request.overwrite = wroteFolder_;
    request.moduleLock = &moduleLock_;
    request.progress = [this](const std::string &pass, double done) {
        std::lock_guard<std::mutex> lock(mutex_);
        status_["pass"] = pass;
        status_["done"] = done;
    };
    json outcome;
    try {
        const std::filesystem::path job = cli::analyzeVideo(request);
        wroteFolder_ = true;
        json report = json::parse(readFile(folder_ / "analysis.json"));
        std::vector<host::JobEntry> entries = host::readJobFile(job.string());
        std::optional<cli::ConfigValues> first =
            entries.empty() ? std::nullopt : cli::parseConfigLine(entries.front().call);
        if (!first)
            throw cli::CliError(job.string() + ": holds no settings of the filter");
        const json ranges = jobRanges(entries);
        outcome = {{"state", "done"},
                   {"folder", std::filesystem::absolute(folder_).string()},
                   {"job", job.string()},
                   {"candidates", report.value("candidates", json::array())},
                   {"rect", report.value("rect", json())},
                   {"ranges", ranges},
                   {"settings", settingsJson(*first)}};
    } catch (const std::exception &e) {
        outcome = {{"state", "failed"}, {"message", e.what()}};
    }
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = outcome;
}

} // namespace pendra::web
