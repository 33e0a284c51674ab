// The module as the command uses it: loaded from plugins/ beside the
// executable through our host, one instance configured by a replayed Config
// call, and one run (start, frames, end) over frames of one size.
#pragma once

#include "cli/options.h"
#include "cli/run_defaults.h"
#include "host/filter_instance.h"
#include "host/loaded_module.h"

#include <memory>
#include <string>

namespace pendra::cli {

class FilterSession {
  public:
    // Loads the module and creates the instance, which reads the defaults
    // file (the run's own when `run` sets noise or feather).
    explicit FilterSession(const RunOptions &run);
    // Ends a started run.
    ~FilterSession();
    FilterSession(const FilterSession &) = delete;
    FilterSession &operator=(const FilterSession &) = delete;

    // The instance's settings as the filter writes its saved call.
    std::string configLine();
    // Replays a Config call on the instance, as the video host replays a job;
    // throws CliError when the text is not a call the filter takes.
    void configure(const std::string &configLine);
    // Saves the instance as a job file of one filter; throws CliError.
    void saveJob(const std::string &path);

    // The logo rectangle's size from the set's bitmap header, its position
    // from the settings; throws CliError naming `videoName` when it does not
    // lie wholly inside a width x height picture.
    void checkRectangle(int width, int height, const std::string &videoName);
    // Starts a run on frames of this size; throws CliError explaining why the
    // filter refused the logo set.
    void start(int width, int height);
    host::FrameBuffer &source() { return instance_->source(); }
    const host::FrameBuffer &destination() { return instance_->destination(); }
    // Filters source() into destination() as frame `number`.
    void run(int32_t number) { instance_->run(number); }

    // The instance itself, for looking at its record.
    host::FilterInstance &instance() { return *instance_; }

    struct Rectangle {
        int x, y, width, height;
    };
    // Where the filter works; valid after checkRectangle().
    const Rectangle &rectangle() const { return rectangle_; }

  private:
    std::unique_ptr<RunDefaults> defaults_;
    std::unique_ptr<host::LoadedModule> module_;
    std::unique_ptr<host::FilterInstance> instance_;
    Rectangle rectangle_{};
    bool started_ = false;
};

// Why the filter would refuse the logo set at `path`, in words for the user
// ("cannot open: No such file or directory"); a general reason when no
// particular fault is found.
std::string logoSetProblem(const std::string &path);

} // namespace pendra::cli
