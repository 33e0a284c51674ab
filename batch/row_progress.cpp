#include "batch/row_progress.h"

#include "cli/progress.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace pendra::batch {

namespace {

int shared = -1;
std::chrono::steady_clock::time_point lastWritten;

void writeCount(int64_t done, int64_t total) {
    auto now = std::chrono::steady_clock::now();
    if (now - lastWritten < std::chrono::milliseconds(250))
        return;
    lastWritten = now;
    // Fixed width, written over the old text in one call: a reader sees one
    // count or the other, never a mix of lengths.
    char text[48];
    int n = std::snprintf(text, sizeof text, "%20" PRId64 " %20" PRId64 "\n", done, total);
    if (n > 0 && ::pwrite(shared, text, static_cast<size_t>(n), 0) < 0)
        return; // progress is a nicety; the work goes on without it
}

} // namespace

void shareFrameCounts(const std::filesystem::path &file) {
    if (shared >= 0)
        ::close(shared);
    shared = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (shared >= 0)
        cli::Progress::watchAll(writeCount);
}

std::optional<FrameCount> readFrameCount(const std::filesystem::path &file) {
    std::ifstream in(file);
    FrameCount c;
    if (!(in >> c.done >> c.total))
        return std::nullopt;
    return c;
}

} // namespace pendra::batch
