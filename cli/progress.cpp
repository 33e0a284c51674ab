#include "cli/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace pendra::cli {

namespace {
Progress::Watcher watcher = nullptr;
} // namespace

std::string clockText(long seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

void Progress::watchAll(Watcher w) {
    watcher = w;
}

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), enabled_(isatty(STDERR_FILENO) != 0),
      started_(Clock::now()), lastDrawn_(started_) {}

Progress::~Progress() {
    finish();
}

std::string Progress::line(const std::string &label, int64_t done, int64_t total, double seconds) {
    char text[160];
    double fps = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    int n;
    if (total > 0)
        n = std::snprintf(text, sizeof text, "%s: frame %lld of %lld, %.1f fps", label.c_str(),
                          static_cast<long long>(done), static_cast<long long>(total), fps);
    else
        n = std::snprintf(text, sizeof text, "%s: frame %lld, %.1f fps", label.c_str(),
                          static_cast<long long>(done), fps);
    std::string out(text, static_cast<size_t>(std::max(n, 0)));
    if (total > 0 && done > 0 && done <= total && fps > 0) {
        out += ", " + clockText(std::lround(static_cast<double>(total - done) / fps)) + " left";
    }
    return out;
}

std::string Progress::shareLine(const std::string &label, const std::string &stage, double done,
                                double seconds) {
    char text[160];
    int n = std::snprintf(text, sizeof text, "%s: %s %d%%, ", label.c_str(), stage.c_str(),
                          static_cast<int>(std::clamp(done, 0.0, 1.0) * 100));
    return std::string(text, static_cast<size_t>(std::max(n, 0))) +
           clockText(std::lround(std::max(seconds, 0.0)));
}

std::optional<double> Progress::due() {
    if (!enabled_)
        return std::nullopt;
    Clock::time_point now = Clock::now();
    if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(250))
        return std::nullopt;
    lastDrawn_ = now;
    return std::chrono::duration<double>(now - started_).count();
}

void Progress::update(int64_t done) {
    if (watcher)
        watcher(done, total_);
    if (std::optional<double> seconds = due())
        draw(line(label_, done, total_, *seconds));
}

void Progress::updateShare(const std::string &stage, double done) {
    if (std::optional<double> seconds = due())
        draw(shareLine(label_, stage, done, *seconds));
}

void Progress::draw(const std::string &text) {
    // Carriage return and erase-to-end: the line redraws in place.
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Progress::finish() {
    if (shown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_ = false;
    }
}

} // namespace pendra::cli
