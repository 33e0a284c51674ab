// Finding the logo in a video and writing what was found as a folder that
// `pendra process --job` replays: the analysis run over FFmpeg's frames,
// the job's settings chosen from what it measured, the safe-file rules kept.
#pragma once

#include "cli/options.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace pendra::cli {

struct AnalyzeRequest {
    std::string input;
    std::filesystem::path folder;
    std::optional<RectOption> rect;
    int64_t start = 0, end = 0;
    bool overwrite = false;
    // Told of each pass and its share done (0 to 1), besides the progress line.
    std::function<void(const std::string &pass, double done)> progress;
    // Held while the job is planned: other users of the module in this process
    // (the configuration page's previews) wait meanwhile.
    std::mutex *moduleLock = nullptr;
};

// The analysis folder for a file: its name without extension + "-logo", beside it.
std::filesystem::path analysisFolderFor(const std::filesystem::path &file);

// Runs the analysis and writes the folder; returns the job file's path.
// Throws CliError: on a refusal with exit code 1 and nothing written.
std::filesystem::path analyzeVideo(const AnalyzeRequest &request);

int runAnalyze(const Options &options);

} // namespace pendra::cli
