// A failed allocation anywhere in a start fails the start, and the end
// callback then gives back every block, whatever the start had taken.
#include "host/frame_buffer.h"
#include "host/module_library.h"
#include "logo/logo_bitmaps.h"
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "module/memory.h"
#include "tests/support/bmp_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace t = pendra::test;

TEST(StartFailure, EveryAllocationInTurnFailsTheStartAndTheEndReleasesAll) {
    const auto dir = pendra::host::executableFolder() / "sets" / "start_failure";
    std::filesystem::create_directories(dir);
    t::BmpImage logo = t::BmpImage::filled(7, 5, 0x000000);
    logo.at(2, 3) = 0x505050;
    t::writeBmp(dir / "logo0.bmp", logo);
    t::writeBmp(dir / "logo1.bmp", t::BmpImage::filled(7, 5, 0xFFFFFF));
    t::writeBmp(dir / "logo2.bmp", logo);

    auto s = std::make_unique<FilterSettings>();
    std::strncpy(s->bitmapPath, (dir / "logo0.bmp").string().c_str(), sizeof s->bitmapPath - 1);
    pendra::host::FrameBuffer frame(32, 24, 40 * 4);
    VFBitmap bitmap{};
    frame.describe(bitmap);
    FilterActivation fa{};
    fa.filter_data = s.get();
    fa.src = fa.dst = &bitmap;

    ASSERT_EQ(filterStart(&fa, nullptr), 0);
    const long blocks = moduleLiveBlocks(); // three images and the working buffers
    EXPECT_EQ(filterEnd(&fa, nullptr), 0);
    ASSERT_EQ(moduleLiveBlocks(), 0);

    // Once from nothing loaded, once over a set loaded earlier (as by the dialog).
    for (bool preloaded : {false, true})
        for (int n = 0; n < blocks; ++n) {
            SCOPED_TRACE(testing::Message() << "allocation " << n << ", preloaded " << preloaded);
            if (preloaded) {
                ASSERT_EQ(loadLogoBitmaps(s.get()), 0);
            }
            failAllocationAfter(n);
            EXPECT_EQ(filterStart(&fa, nullptr), 1);
            failAllocationAfter(-1);
            EXPECT_EQ(filterEnd(&fa, nullptr), 0);
            EXPECT_EQ(filterEnd(&fa, nullptr), 0);
            EXPECT_EQ(moduleLiveBlocks(), 0);
            EXPECT_EQ(s->maskFile, nullptr);
            EXPECT_EQ(s->sideTable, nullptr);
            EXPECT_EQ(s->sourceRect, nullptr);
        }
    failAllocationAfter(static_cast<int>(blocks));
    EXPECT_EQ(filterStart(&fa, nullptr), 0) << "a start takes no more blocks than counted";
    failAllocationAfter(-1);
    EXPECT_EQ(filterEnd(&fa, nullptr), 0);
}
