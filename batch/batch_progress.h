// The batch's one progress line: files finished of those to do, failures,
// frames per second over the whole batch and the time left, e.g.
// "batch: 3 of 8 files, 1 failed, 412.0 fps, 0:12 left".
#pragma once

#include <cstdint>
#include <string>

namespace pendra::batch {

struct BatchProgressState {
    int finished = 0; // rows ended (done or failed) of
    int toDo = 0;     // the rows this run works on
    int failed = 0;
    int64_t frames = 0;      // of the rows done and those running
    double runningShare = 0; // the running rows' shares done, summed (0 to one per row)
};

// The time left assumes the rows still to do take as long as those finished
// and the running rows' shares done.
std::string batchProgressLine(const BatchProgressState &state, double seconds);

} // namespace pendra::batch
