// The presence schedules: a break from 40 % to 55 % of the clip (as for
// advertising), fades of 12 frames (as channels fade their logo).
#include "bench/corpus/presence.h"

#include <cmath>

namespace pendra::corpus {

double Schedule::weight(int64_t n) const {
    for (const Range &r : ranges) {
        if (n < r.start || n > r.end)
            continue;
        if (n - r.start < r.fadeIn)
            return double(n - r.start + 1) / (r.fadeIn + 1);
        if (r.end - n < r.fadeOut)
            return double(r.end - n + 1) / (r.fadeOut + 1);
        return 1;
    }
    return 0;
}

Schedule scheduleFor(Presence presence, int64_t frames, double rate) {
    Schedule s;
    switch (presence) {
    case Presence::Always:
        s.ranges = {{0, frames - 1, 0, 0}};
        break;
    case Presence::Break: {
        const int64_t away = frames * 2 / 5, back = frames * 11 / 20;
        s.ranges = {{0, away - 1, 0, 0}, {back, frames - 1, 0, 0}};
        break;
    }
    case Presence::Fades: {
        const int64_t second = std::lround(rate);
        s.ranges = {{second, frames - 1 - second, 12, 12}};
        break;
    }
    }
    return s;
}

} // namespace pendra::corpus
