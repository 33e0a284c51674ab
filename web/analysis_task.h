// The logo analysis run for the page on a thread of its own, as pendra
// analyze runs it (the same folder beside the video, the same files), with
// its progress and its outcome kept for the page to poll.
#pragma once

#include "host/job_script.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pendra::web {

// The frame ranges of an analysis's job, one per filter of the logo's own
// set: a filter of its rim set repairs the same range again after it.
nlohmann::json jobRanges(const std::vector<host::JobEntry> &entries);

class AnalysisTask {
  public:
    // `moduleLock` is held while the analysis uses the module.
    AnalysisTask(std::string input, std::mutex &moduleLock);
    // Waits for a running analysis.
    ~AnalysisTask();
    AnalysisTask(const AnalysisTask &) = delete;
    AnalysisTask &operator=(const AnalysisTask &) = delete;

    // Starts the analysis unless one runs (a second click joins the first).
    void start();
    // {"state": "idle"|"running"|"done"|"failed", "pass", "done" (0..1),
    //  "message", and when done "folder", "job", "candidates", "rect", "settings"}.
    nlohmann::json status() const;
    // One of the pictures the finished analysis wrote (alpha.png, found.png);
    // empty when there is none.
    std::string picture(const std::string &name) const;

  private:
    void run();

    std::string input_;
    std::mutex &moduleLock_;
    std::filesystem::path folder_;
    mutable std::mutex mutex_;
    nlohmann::json status_;
    bool wroteFolder_ = false; // this session's own files may be replaced
    std::thread thread_;
};

} // namespace pendra::web
