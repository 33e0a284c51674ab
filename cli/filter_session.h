// The module as the command uses it: loaded from plugins/ beside the
// executable through our host, one instance configured by a replayed Config
// call, and one run (start, frames, end) over frames of one size. A job of
// several filters has one session each, all under one RunDefaults.
#pragma once

#include "cli/options.h"
#include "cli/run_defaults.h"
#include "host/filter_instance.h"
#include "host/job_script.h"
#include "host/loaded_module.h"

#include <memory>
#include <string>

namespace pendra::cli {

class FilterSession {
  public:
    // Loads the module from plugins/ beside the program, or shares the load
    // that is alive (a host loads it once).
    static std::shared_ptr<host::LoadedModule> loadModule();
    // Creates an instance of the module's filter, which reads the defaults
    // file `defaults` points it at; `defaults` must outlive the session.
    FilterSession(const RunDefaults &defaults, std::shared_ptr<host::LoadedModule> module);
    // Ends a started run.
    ~FilterSession();
    FilterSession(const FilterSession &) = delete;
    FilterSession &operator=(const FilterSession &) = delete;

    // The instance's settings as the filter writes its saved call.
    std::string configLine();
    // Replays a Config call on the instance, as the video host replays a job;
    // throws CliError when the text is not a call the filter takes.
    void configure(const std::string &configLine);
    // The instance as a job file's entry.
    host::JobEntry jobEntry();

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
    std::shared_ptr<host::LoadedModule> module_;
    std::unique_ptr<host::FilterInstance> instance_;
    Rectangle rectangle_{};
    bool started_ = false;
};

// The defaults file the module reads when the command points it nowhere.
std::filesystem::path installedDefaultsFile();

} // namespace pendra::cli
