// A failed allocation anywhere in a load or a start fails it, and the end
// callback then gives back every block, whatever had been taken: for every
// shape of bitmap set, loaded from nothing or over an earlier set of every
// shape (as the dialog's Browse or a replayed Config leaves one).
#include "host/frame_buffer.h"
#include "host/module_library.h"
#include "logo/logo_bitmaps.h"
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "module/memory.h"
#include "tests/support/bmp_file.h"
#include "tests/support/module_hooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace t = pendra::test;

namespace {

struct SetShape {
    const char *name;
    bool white;
    bool mask;
    bool maskAlone; // named by its interpolate bitmap
};

const SetShape shapes[] = {
    {"black", false, false, false},     {"black_white", true, false, false},
    {"black_mask", false, true, false}, {"full", true, true, false},
    {"mask_alone", false, false, true},
};

// Writes the set in a folder of its own; returns the path that names it.
std::string writeSet(const SetShape &shape) {
    const auto dir = pendra::host::executableFolder() / "sets" / "alloc" / shape.name;
    std::filesystem::create_directories(dir);
    t::BmpImage logo = t::BmpImage::filled(7, 5, 0x000000);
    logo.at(2, 3) = 0x505050;
    if (shape.maskAlone) {
        t::writeBmp(dir / "logo2.bmp", logo);
        return (dir / "logo2.bmp").string();
    }
    t::writeBmp(dir / "logo0.bmp", logo);
    if (shape.white)
        t::writeBmp(dir / "logo1.bmp", t::BmpImage::filled(7, 5, 0xFFFFFF));
    if (shape.mask)
        t::writeBmp(dir / "logo2.bmp", logo);
    return (dir / "logo0.bmp").string();
}

class AllocationFailure : public ::testing::Test {
  protected:
    AllocationFailure() : frame(32, 24, 40 * 4) {
        frame.describe(bitmap);
        fa.filter_data = s.get();
        fa.src = fa.dst = &bitmap;
    }
    void setPath(const std::string &path) {
        std::memset(s->bitmapPath, 0, sizeof s->bitmapPath);
        std::strncpy(s->bitmapPath, path.c_str(), sizeof s->bitmapPath - 1);
    }
    // Fails the operation at each of its allocations in turn, each time after
    // the earlier set (if any) was loaded, until it needs no more; every
    // failure must be reported and undone by the end callback.
    void failEachAllocation(const std::string &path, const std::optional<std::string> &earlier,
                            int (*operation)(FilterSettings *s, FilterActivation *fa)) {
        for (int n = 0;; ++n) {
            SCOPED_TRACE(testing::Message() << "allocation " << n);
            if (earlier) {
                setPath(*earlier);
                ASSERT_EQ(loadLogoBitmaps(s.get()), 0);
            }
            setPath(path);
            int result;
            bool failed;
            {
                t::FailingAllocation failing(n);
                result = operation(s.get(), &fa);
                failed = failing.happened();
            }
            EXPECT_EQ(result, failed ? 1 : 0);
            EXPECT_EQ(filterEnd(&fa, nullptr), 0);
            EXPECT_EQ(filterEnd(&fa, nullptr), 0);
            EXPECT_EQ(moduleLiveBlocks(), 0);
            EXPECT_EQ(s->blackFile, nullptr);
            EXPECT_EQ(s->maskFile, nullptr);
            EXPECT_EQ(s->sideTable, nullptr);
            EXPECT_EQ(s->sourceRect, nullptr);
            EXPECT_EQ(s->edgeList, nullptr);
            EXPECT_EQ(s->repairScratch, nullptr);
            if (!failed || n > 100) {
                EXPECT_GT(n, 0) << "no allocation was made to fail";
                return;
            }
        }
    }
    void forEverySetOverEveryEarlierSet(int (*operation)(FilterSettings *, FilterActivation *)) {
        for (const SetShape &shape : shapes) {
            const std::string path = writeSet(shape);
            SCOPED_TRACE(shape.name);
            failEachAllocation(path, std::nullopt, operation);
            for (const SetShape &before : shapes) {
                SCOPED_TRACE(testing::Message() << "over " << before.name);
                failEachAllocation(path, writeSet(before), operation);
            }
        }
    }

    std::unique_ptr<FilterSettings> s = std::make_unique<FilterSettings>();
    pendra::host::FrameBuffer frame;
    VFBitmap bitmap{};
    FilterActivation fa{};
};

} // namespace

TEST_F(AllocationFailure, EveryAllocationOfAStartInTurn) {
    forEverySetOverEveryEarlierSet(
        [](FilterSettings *, FilterActivation *run) { return filterStart(run, nullptr); });
}

TEST_F(AllocationFailure, EveryAllocationOfALoadInTurn) {
    forEverySetOverEveryEarlierSet(
        [](FilterSettings *record, FilterActivation *) { return loadLogoBitmaps(record); });
}
