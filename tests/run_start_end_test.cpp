// Runs of the real module through the host: the set loads afresh, the
// rectangle is fitted into the frame (or refused when it cannot lie inside
// it), and the end releases everything, any number of times.
#include "host/filter_instance.h"
#include "module/filter_settings.h"
#include "tests/support/bmp_file.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace t = pendra::test;

namespace {

class RunStartEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        t::removeDefaultsFile();
        module_ = t::loadModule();
        instance_ = std::make_unique<pendra::host::FilterInstance>(t::pendraFilter(*module_), 0xCD);
        dir_ = pendra::host::executableFolder() / "sets";
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { instance_->end(); }

    FilterSettings &record() { return instance_->dataAs<FilterSettings>(); }
    // A black bitmap with one logo pixel in the middle, alone or with a mask.
    void useSet(int w, int h, bool withMask) {
        t::BmpImage logo = t::BmpImage::filled(w, h, 0x000000);
        logo.at(h / 2, w / 2) = 0x404040;
        const std::string name = "logo" + std::to_string(w) + (withMask ? "m" : "");
        t::writeBmp(dir_ / (name + "0.bmp"), logo);
        std::filesystem::remove(dir_ / (name + "2.bmp"));
        if (withMask)
            t::writeBmp(dir_ / (name + "2.bmp"), logo);
        usePath((dir_ / (name + "0.bmp")).string());
    }
    void usePath(const std::string &path) {
        std::strncpy(record().bitmapPath, path.c_str(), sizeof record().bitmapPath - 1);
    }
    // Ends the run and checks that nothing is held afterwards.
    void endAndExpectReleased() {
        EXPECT_EQ(instance_->end(), 0);
        const FilterSettings &r = record();
        EXPECT_EQ(r.blackFile, nullptr);
        EXPECT_EQ(r.maskFile, nullptr);
        EXPECT_EQ(r.sideTable, nullptr);
        EXPECT_EQ(r.blurPasses, nullptr);
    }

    std::unique_ptr<pendra::host::LoadedModule> module_;
    std::unique_ptr<pendra::host::FilterInstance> instance_;
    std::filesystem::path dir_;
};

} // namespace

TEST_F(RunStartEnd, RectangleIsFittedIntoTheFrameOrRefused) {
    useSet(101, 51, true);
    struct Case {
        int frameW, frameH, x, y, result, fittedX, fittedY;
    };
    const Case cases[] = {
        {720, 576, 650, 600, 0, 619, 525}, {720, 576, 619, 525, 0, 619, 525},
        {720, 576, 0, 0, 0, 0, 0},         {720, 576, -1, 0, 1, -1, 0},
        {720, 576, 0, -3, 1, 0, -3},       {100, 576, 0, 0, 1, -1, 0}, // logo wider than the frame
        {720, 50, 5, 5, 1, 5, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.frameW << "x" << c.frameH << " at " << c.x << "," << c.y);
        instance_->setFrames(c.frameW, c.frameH, c.frameW * 4 + 16);
        record().x = c.x;
        record().y = c.y;
        ASSERT_EQ(instance_->start(), c.result);
        EXPECT_EQ(record().x, c.fittedX);
        EXPECT_EQ(record().y, c.fittedY);
        EXPECT_EQ(record().sideTable != nullptr, c.result == 0);
        endAndExpectReleased();
        EXPECT_EQ(record().x, c.fittedX) << "the end changes no setting";
    }
}

TEST_F(RunStartEnd, EndReleasesWhateverAStartLeft) {
    instance_->setFrames(64, 48);
    usePath((dir_ / "absent0.bmp").string());
    record().x = 500;
    EXPECT_EQ(instance_->start(), 1);
    EXPECT_EQ(record().x, 64) << "fitted with the logo size the record holds (none)";
    endAndExpectReleased();
    endAndExpectReleased();

    useSet(9, 7, false); // the black image also serves as the interpolate image
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(instance_->start(), 0);
        EXPECT_EQ(record().maskFile, record().blackFile);
        endAndExpectReleased();
    }
}

// The noise seed a host may fix: the same seed gives the same noise, run
// after run; another seed other noise. Unset, the time of day seeds it.
TEST_F(RunStartEnd, ANamedNoiseSeedMakesRunsRepeat) {
    useSet(16, 12, false);
    instance_->setFrames(64, 48);
    record().x = 8;
    record().y = 8;
    record().noiseL = 6;
    auto noiseWith = [&](const char *seed) {
        t::setVariable("PENDRA_NOISE_SEED", seed);
        EXPECT_EQ(instance_->start(), 0);
        instance_->source().fill(0x808080);
        instance_->run(0);
        pendra::host::FrameBuffer out(64, 48);
        out.copyPixels(instance_->destination());
        endAndExpectReleased();
        return out;
    };
    pendra::host::FrameBuffer first = noiseWith("77"), again = noiseWith("77"),
                              other = noiseWith("78");
    t::setVariable("PENDRA_NOISE_SEED", nullptr);
    EXPECT_TRUE(first.samePixels(again));
    EXPECT_FALSE(first.samePixels(other));
    EXPECT_FALSE(first.samePixels(noiseWith("no number"))) << "not a number: the clock";
    t::setVariable("PENDRA_NOISE_SEED", nullptr);
}
