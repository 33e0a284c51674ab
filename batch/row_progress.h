// A worker's frame count, shared with whoever watches the batch: the worker
// rewrites one small file in the batch's state folder a few times a second
// ("done total"), the batch reads it for its progress line. A file rather
// than a pipe, so that it works the same for a task on another node.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace pendra::batch {

struct FrameCount {
    int64_t done = 0, total = 0; // total 0 when unknown
};

// From now on, this process's frame counts go to `file` (made or replaced).
void shareFrameCounts(const std::filesystem::path &file);

// The last count a worker wrote; nothing before its first.
std::optional<FrameCount> readFrameCount(const std::filesystem::path &file);

} // namespace pendra::batch
