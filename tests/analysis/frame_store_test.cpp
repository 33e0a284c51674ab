// The bounded store of rectangles: however many frames are offered, it keeps
// no more than its room, evenly spread over all of them.
#include "analysis/frame_store.h"

#include <gtest/gtest.h>

namespace a = pendra::analysis;

TEST(FrameStore, StaysWithinItsRoomAndSpansTheVideo) {
    const a::Picture area(4, 2);
    // Room for 10 rectangles of 32 bytes.
    a::FrameStore store(320, area.pixels.size() * sizeof(uint32_t), 4);
    for (int64_t f = 0; f < 1000; ++f) {
        store.offer(f * 3, 0, a::Plane{}, area);
        ASSERT_LE(store.kept().size(), 10u);
    }
    const auto &kept = store.kept();
    ASSERT_GE(kept.size(), 5u);
    EXPECT_EQ(kept.front().frame, 0);
    EXPECT_GE(kept.back().frame, 3 * (1000 - 1000 / 5));
    // Evenly spaced, in frame order.
    for (size_t i = 1; i < kept.size(); ++i)
        EXPECT_EQ(kept[i].frame - kept[i - 1].frame, kept[1].frame - kept[0].frame);
}
