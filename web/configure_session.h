// What the configuration page works on, apart from HTTP: the video, the job
// file, the settings the page starts with, the before and after pictures,
// Browse, Save and the analysis. The module serves one caller at a time, so
// everything that uses it takes one lock (before pictures need no module and
// do not wait for it); a picture request that a newer one of its kind has
// overtaken while it waited or worked gives up (Overtaken).
#pragma once

#include "cli/options.h"
#include "web/analysis_task.h"
#include "web/preview_renderer.h"
#include "web/request_order.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace pendra::web {

class ConfigureSession {
  public:
    // Opens the video and reads the job file when it exists; throws
    // cli::CliError naming the file.
    explicit ConfigureSession(const cli::Options &options);

    // The video, the job file, the form's fields and the settings to start
    // with: the latest the page showed, so that a reload loses nothing.
    nlohmann::json state() const;

    // Frame `number` as PNG, before and after the filter with `settings`.
    // `order` is the page's number for the request (see RequestOrder).
    // Throw PastTheEnd, Overtaken, and cli::CliError for settings the page may
    // not give (exit code 2) or the filter refuses.
    std::string beforePng(int64_t number, std::optional<PageOrder> order = std::nullopt);
    std::string afterPng(int64_t number, const nlohmann::json &settings,
                         std::optional<PageOrder> order = std::nullopt);

    // As the dialog's Browse: the settings with the set named in
    // settings["logo"], the position from its name and alpha from its
    // capture, and the set's read-outs: {"settings", "set", "problem"}.
    nlohmann::json browse(const nlohmann::json &settings);

    // Writes the job file with `settings`; returns its path.
    std::string save(const nlohmann::json &settings);

    AnalysisTask &analysis() { return analysis_; }

  private:
    // The options of the page's settings (optionsFromJson), with the files of
    // the set they name checked to be files the module can open without
    // waiting; throws cli::CliError.
    cli::Options pageOptions(const nlohmann::json &settings) const;
    nlohmann::json describe(cli::FilterJob &job, const cli::Options &o) const;

    cli::Options options_;
    std::filesystem::path jobPath_;
    bool mayReplaceJob_;
    std::mutex moduleLock_;
    PreviewRenderer renderer_;
    mutable std::mutex stateLock_;
    nlohmann::json state_;
    RequestOrder beforeOrder_, afterOrder_;
    AnalysisTask analysis_;
};

} // namespace pendra::web
