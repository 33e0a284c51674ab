// The filters of one run, built from the options: every Pendra filter of a
// job file in order (as the video host runs them, each on the one before's
// output), or one new filter. Settings named as options are laid over the
// filter's own; where the user named none, the command chooses as the
// dialog's Browse does (position from the logo's name, alpha from the
// captures) and, over black and white captures, pure un-blending.
#pragma once

#include "cli/filter_session.h"
#include "cli/options.h"
#include "cli/process_video.h"
#include "cli/run_defaults.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pendra::cli {

class FilterJob {
  public:
    // Creates and configures the filters; throws CliError. Writes nothing
    // but the run's own defaults file.
    explicit FilterJob(const Options &options);
    FilterJob(const FilterJob &) = delete;
    FilterJob &operator=(const FilterJob &) = delete;

    FilterChain chain() const;
    // Every file a run on `video` reads: the video, the job file and each
    // logo set's members; no output may be one of them.
    std::vector<std::filesystem::path> inputFiles(const std::string &video) const;
    // The filters as a job file's entries.
    std::vector<host::JobEntry> entries();
    // Writes the filters as a job file; throws CliError naming it.
    void save(const std::string &path);
    // Creates the debug trace file asked for, once the outputs are checked;
    // commitTrace() gives it its name when the run is complete.
    void openTrace() { defaults_->openTrace(); }
    void commitTrace() { defaults_->commitTrace(); }
    // Whether some filter works on frame `number`.
    bool inRange(int64_t number) const;
    // The earliest frame some filter works on.
    int64_t firstFrame() const;
    // Warns when the range of every filter misses all `frames` frames of `input`.
    void warnIfNothingFiltered(int64_t frames, const std::string &input) const;
    // The settings the command chose for the user, as one line; empty when it chose none.
    const std::string &chosenSettings() const { return chosen_; }

  private:
    struct Range {
        int start, end;
    };
    // Declared first: the sessions' module reads what it points at.
    std::unique_ptr<RunDefaults> defaults_;
    std::vector<std::unique_ptr<FilterSession>> sessions_;
    std::vector<Range> ranges_;
    std::vector<std::string> logos_;
    std::string job_;
    std::string chosen_;
    SettingOptions settings_; // as run: the run settings among them are saved with the job
};

} // namespace pendra::cli
