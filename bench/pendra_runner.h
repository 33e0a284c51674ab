// Pendra driven through our host as the video host drives it: one instance,
// set up from a bitmap set on disk, processing frames one at a time.
#pragma once

#include "bench/test_scene.h"
#include "host/filter_instance.h"
#include "host/loaded_module.h"

#include <filesystem>
#include <functional>
#include <memory>

struct FilterSettings;

namespace pendra::bench {

// Where the benchmark's logo files go, and which of them a run uses.
struct LogoSet {
    std::filesystem::path folder;
    bool withWhite = true;
    bool withMask = true;
    // Writes logo0.bmp (over black), logo1.bmp (over white), logo2.bmp (mask).
    void write(const Logo &logo) const;
    std::filesystem::path blackPath() const { return folder / "logo0.bmp"; }
};

class PendraRunner {
  public:
    // Loads the module beside this program and makes one instance with the
    // built-in defaults, then lets `configure` adjust the record.
    PendraRunner(int width, int height, bool inPlace, const LogoSet &set, int x, int y,
                 const std::function<void(FilterSettings &)> &configure = {});
    ~PendraRunner();
    // Copies the picture into the source frame.
    void load(const Picture &picture);
    // Processes the source frame as frame number n.
    void run(int n);
    // The output frame as a picture.
    void output(Picture &out);
    host::FilterInstance &instance() { return *instance_; }

  private:
    std::unique_ptr<host::LoadedModule> module_;
    std::unique_ptr<host::FilterInstance> instance_;
    bool started_ = false;
};

} // namespace pendra::bench
