// A progress line on stderr for long work: frames done of the total, frames
// per second and the time left. Shown only when stderr is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pendra::cli {

// Minutes and seconds, e.g. "12:05" for 725 seconds.
std::string clockText(long seconds);

class Progress {
  public:
    // total 0 means unknown (no time left is shown).
    Progress(std::string label, int64_t total);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Reports that `done` frames are complete; redraws a few times a second.
    void update(int64_t done);

    // A process-wide watcher of every frame count, for a parent that shows
    // the progress of several runs (a batch's worker reports to its batch).
    using Watcher = void (*)(int64_t done, int64_t total);
    static void watchAll(Watcher watcher);
    // Reports work that is counted in shares rather than frames: the stage
    // (a pass of the analysis) and how much of it is done, 0 to 1.
    void updateShare(const std::string &stage, double done);
    // Shows a line of the caller's own, made from the seconds since the start.
    template <typename MakeLine> void updateWith(MakeLine makeLine) {
        if (std::optional<double> seconds = due())
            draw(makeLine(*seconds));
    }
    // Clears the line.
    void finish();

    // The line for these numbers, e.g. "process: frame 120 of 300, 45.2 fps, 0:04 left".
    static std::string line(const std::string &label, int64_t done, int64_t total, double seconds);

    // The line for a share, e.g. "analyze: locate 42%, 0:07".
    static std::string shareLine(const std::string &label, const std::string &stage, double done,
                                 double seconds);

  private:
    // Seconds since the start when a line is due (at most four a second), else nothing.
    std::optional<double> due();
    void draw(const std::string &text);
    using Clock = std::chrono::steady_clock;
    std::string label_;
    int64_t total_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point started_;
    Clock::time_point lastDrawn_;
};

} // namespace pendra::cli
