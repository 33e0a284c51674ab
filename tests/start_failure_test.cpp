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

namespace fs = std::filesystem;
using pendra::test::BmpImage;

namespace {

// An activation record whose source and destination are one frame.
FilterActivation activationFor(FilterSettings *s, VFBitmap *frame) {
    FilterActivation fa{};
    fa.filter_data = s;
    fa.src = fa.dst = frame;
    return fa;
}

class StartFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path dir = pendra::host::executableFolder() / "sets" / "start_failure";
        fs::create_directories(dir);
        BmpImage logo = BmpImage::filled(7, 5, 0x000000);
        logo.at(2, 3) = 0x505050;
        pendra::test::writeBmp(dir / "logo0.bmp", logo);
        pendra::test::writeBmp(dir / "logo1.bmp", BmpImage::filled(7, 5, 0xFFFFFF));
        pendra::test::writeBmp(dir / "logo2.bmp", logo);
        std::strncpy(s->bitmapPath, (dir / "logo0.bmp").string().c_str(), sizeof s->bitmapPath - 1);
        frame_.describe(source_);
    }
    void TearDown() override { failAllocationAfter(-1); }

    int start() { return filterStart(&fa_, nullptr); }
    int end() { return filterEnd(&fa_, nullptr); }
    void expectNothingHeld() {
        EXPECT_EQ(moduleLiveBlocks(), 0);
        const FilterSettings &r = *s;
        for (const void *p :
             {(void *)r.blackFile, (void *)r.whiteFile, (void *)r.maskFile, (void *)r.sideTable,
              (void *)r.bitmapMask, (void *)r.vertEdge, (void *)r.horzEdge, (void *)r.smoothScratch,
              (void *)r.smoothImage, (void *)r.unblended, (void *)r.rectPixels, (void *)r.workMap,
              (void *)r.blurPasses, (void *)r.sourceRect})
            EXPECT_EQ(p, nullptr);
    }

    std::unique_ptr<FilterSettings> s = std::make_unique<FilterSettings>();
    pendra::host::FrameBuffer frame_{32, 24, 40 * 4};
    VFBitmap source_{};
    FilterActivation fa_ = activationFor(s.get(), &source_);
};

} // namespace

TEST_F(StartFailure, EveryAllocationInTurn) {
    ASSERT_EQ(start(), 0);
    const long blocks = moduleLiveBlocks(); // three images and the working buffers
    EXPECT_GE(blocks, 13);
    EXPECT_EQ(end(), 0);
    expectNothingHeld();

    for (int n = 0; n < blocks; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        failAllocationAfter(n);
        EXPECT_EQ(start(), 1);
        failAllocationAfter(-1);
        EXPECT_EQ(end(), 0);
        expectNothingHeld();
        EXPECT_EQ(end(), 0);
    }
    failAllocationAfter(static_cast<int>(blocks));
    EXPECT_EQ(start(), 0) << "the first allocation after a full start must not matter";
    EXPECT_EQ(end(), 0);
}

TEST_F(StartFailure, ImagesOfAnEarlierLoadAreReplacedNotLeaked) {
    ASSERT_EQ(loadLogoBitmaps(s.get()), 0); // as the dialog or a script replay would
    for (int n = 0; n < 4; ++n) {
        failAllocationAfter(n);
        EXPECT_EQ(start(), 1);
        failAllocationAfter(-1);
        EXPECT_EQ(end(), 0);
        expectNothingHeld();
        ASSERT_EQ(loadLogoBitmaps(s.get()), 0);
    }
    EXPECT_EQ(end(), 0);
    expectNothingHeld();
}
