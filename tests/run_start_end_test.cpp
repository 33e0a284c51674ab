// Starting and ending runs of the real module through the host: the bitmap
// set loads afresh, the rectangle is fitted into the frame (or refused when it
// cannot lie inside it), and the end releases everything, any number of times.
#include "host/filter_instance.h"
#include "module/filter_settings.h"
#include "tests/support/bmp_file.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace fs = std::filesystem;
using pendra::host::FilterInstance;
using pendra::test::BmpImage;
namespace t = pendra::test;

namespace {

class RunStartEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        t::removeDefaultsFile();
        module_ = t::loadModule();
        instance_ = std::make_unique<FilterInstance>(t::pendraFilter(*module_), 0xCD);
        dir_ = pendra::host::executableFolder() / "sets" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { instance_->end(); }

    FilterSettings &record() { return instance_->dataAs<FilterSettings>(); }
    // A black bitmap of that size with one logo pixel in the middle.
    void writeSet(int w, int h, bool withMask) {
        BmpImage logo = BmpImage::filled(w, h, 0x000000);
        logo.at(h / 2, w / 2) = 0x404040;
        t::writeBmp(dir_ / "logo0.bmp", logo);
        if (withMask)
            t::writeBmp(dir_ / "logo2.bmp", logo);
        usePath((dir_ / "logo0.bmp").string());
    }
    void usePath(const std::string &path) {
        std::strncpy(record().bitmapPath, path.c_str(), sizeof record().bitmapPath - 1);
    }
    void expectReleased() {
        EXPECT_EQ(record().blackFile, nullptr);
        EXPECT_EQ(record().whiteFile, nullptr);
        EXPECT_EQ(record().maskFile, nullptr);
        EXPECT_EQ(record().sideTable, nullptr);
        EXPECT_EQ(record().blurPasses, nullptr);
        EXPECT_EQ(record().sourceRect, nullptr);
    }

    std::unique_ptr<pendra::host::LoadedModule> module_;
    std::unique_ptr<FilterInstance> instance_;
    fs::path dir_;
};

} // namespace

TEST_F(RunStartEnd, RectangleIsFittedIntoTheFrame) {
    writeSet(101, 51, false);
    instance_->setFrames(720, 576, 720 * 4 + 16);
    struct Case {
        int x, y, fittedX, fittedY;
    };
    for (Case c : {Case{650, 600, 619, 525}, Case{619, 525, 619, 525}, Case{0, 0, 0, 0},
                   Case{618, 100, 618, 100}}) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << ", y " << c.y);
        record().x = c.x;
        record().y = c.y;
        ASSERT_EQ(instance_->start(), 0);
        EXPECT_EQ(record().x, c.fittedX);
        EXPECT_EQ(record().y, c.fittedY);
        EXPECT_EQ(record().edgeCount, 1);
        EXPECT_EQ(instance_->end(), 0);
        expectReleased();
        EXPECT_EQ(record().x, c.fittedX) << "the end changes no setting";
    }
}

TEST_F(RunStartEnd, RectangleThatCannotLieInsideTheFrameFailsTheStart) {
    struct Case {
        int frameW, frameH, x, y;
    };
    writeSet(31, 21, true);
    for (Case c :
         {Case{100, 100, -1, 0}, Case{100, 100, 0, -3}, Case{30, 100, 0, 0}, Case{100, 20, 5, 5}}) {
        SCOPED_TRACE(testing::Message()
                     << c.frameW << "x" << c.frameH << " at " << c.x << "," << c.y);
        instance_->setFrames(c.frameW, c.frameH);
        record().x = c.x;
        record().y = c.y;
        EXPECT_EQ(instance_->start(), 1);
        EXPECT_EQ(record().sideTable, nullptr) << "no working memory for a refused rectangle";
        EXPECT_EQ(instance_->end(), 0);
        expectReleased();
    }
}

TEST_F(RunStartEnd, MissingFileFailsAndEndsCleanlyTwice) {
    writeSet(9, 7, false);
    instance_->setFrames(64, 48);
    ASSERT_EQ(instance_->start(), 0);
    ASSERT_EQ(instance_->end(), 0);

    usePath((dir_ / "absent0.bmp").string());
    record().x = 500;
    EXPECT_EQ(instance_->start(), 1);
    EXPECT_EQ(record().x, 64 - 9) << "fitted even when the load fails";
    EXPECT_EQ(record().sideTable, nullptr);
    EXPECT_EQ(instance_->end(), 0);
    expectReleased();
    EXPECT_EQ(instance_->end(), 0);
    expectReleased();
}

TEST_F(RunStartEnd, SharedBlackImageIsReleasedOnce) {
    writeSet(9, 7, false);
    instance_->setFrames(64, 48);
    for (int run = 0; run < 3; ++run) {
        ASSERT_EQ(instance_->start(), 0);
        EXPECT_EQ(record().maskMode, 2);
        EXPECT_EQ(record().maskFile, record().blackFile);
        EXPECT_EQ(instance_->end(), 0);
        expectReleased();
    }
}
