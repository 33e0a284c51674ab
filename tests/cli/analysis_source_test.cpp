// The analysis's view of a video file: a short video's later passes read the
// frames kept from the first, with the same pixels, while a longer one is
// decoded again; the room for them leaves the analysis its memory; seeks
// that land on the same keyframe decode it once; the keyframes are counted
// only where the file's index lists every frame.
#include "cli/analysis_source.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"
#include "tests/support/scene_clip.h"

#include <gtest/gtest.h>

#include <vector>

namespace a = pendra::analysis;
namespace cli = pendra::cli;
namespace fs = std::filesystem;
namespace t = pendra::test;

namespace {

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

t::Scene movingScene() {
    t::Scene scene;
    scene.frames = 40;
    scene.background = t::Background::Mixed;
    scene.logos.push_back(t::textLogo(150, 8, 0.6, 0xF0F0F0));
    return scene;
}

// Every frame of a pass: the whole picture, and the logo's corner alone.
std::vector<a::Picture> readPass(cli::VideoFrameSource &source, size_t &mostKept) {
    std::vector<a::Picture> frames;
    source.rewind();
    a::Picture whole, corner;
    while (source.advance()) {
        source.read({0, 0, source.width(), source.height()}, whole);
        source.read({140, 4, 40, 20}, corner);
        frames.push_back(whole);
        frames.push_back(corner);
        mostKept = std::max(mostKept, source.bytesKept());
    }
    return frames;
}

class AnalysisSource : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { t::writeSceneClip(movingScene(), here("source.mkv")); }
};

} // namespace

TEST_F(AnalysisSource, LaterPassesReadTheKeptFramesOrDecodeAgainWhenTooLong) {
    const int64_t frames = movingScene().frames;
    size_t mostKept = 0;
    cli::VideoFrameSource kept(here("source.mkv").string());
    const std::vector<a::Picture> first = readPass(kept, mostKept);
    ASSERT_EQ(first.size(), 2u * frames);
    EXPECT_EQ(kept.framesKept(), static_cast<size_t>(frames));
    const std::vector<a::Picture> second = readPass(kept, mostKept);
    EXPECT_EQ(kept.framesDecoded(), frames);

    // Room for a few frames only: every pass decodes.
    const size_t room = 4 * static_cast<size_t>(kept.width()) * kept.height();
    mostKept = 0;
    cli::VideoFrameSource decoded(here("source.mkv").string(), room);
    const std::vector<a::Picture> third = readPass(decoded, mostKept);
    const std::vector<a::Picture> fourth = readPass(decoded, mostKept);
    EXPECT_EQ(decoded.framesDecoded(), 2 * frames);
    EXPECT_EQ(decoded.framesKept(), 0u);
    EXPECT_EQ(mostKept, 0u); // its frame count says it would not fit

    for (size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "read " << i);
        EXPECT_EQ(first[i].pixels, second[i].pixels);
        EXPECT_EQ(first[i].pixels, third[i].pixels);
        EXPECT_EQ(first[i].pixels, fourth[i].pixels);
    }
}

TEST(AnalysisSourceRoom, AShortClipIsKeptWhereTheAnalysisLeavesRoom) {
    // A decoded 4:2:0 frame's buffers, lines padded as FFmpeg pads them.
    auto frameBytes = [](size_t width, size_t height) {
        const size_t line = (width + 63) / 64 * 64;
        return line * (height + 16) + line * (height / 2 + 8);
    };
    // Ten seconds of standard definition at 25 frames a second are kept, and
    // a few seconds of 1280x720; at 1920x1080 the analysis needs the memory.
    EXPECT_GE(cli::VideoFrameSource::defaultKeepBytes(720, 576), 250 * frameBytes(720, 576));
    EXPECT_GE(cli::VideoFrameSource::defaultKeepBytes(720, 528), 270 * frameBytes(720, 528));
    EXPECT_GE(cli::VideoFrameSource::defaultKeepBytes(1280, 720), 75 * frameBytes(1280, 720));
    EXPECT_LE(cli::VideoFrameSource::defaultKeepBytes(1280, 720), 100 * frameBytes(1280, 720));
    EXPECT_EQ(cli::VideoFrameSource::defaultKeepBytes(1920, 1080), 0u);
}

TEST_F(AnalysisSource, SeeksToTheSameKeyframeDecodeItOnce) {
    // Keyframes at 0 and 30 only: every seek before 30 lands on the first.
    t::makeClip("-i " + here("source.mkv").string() +
                    " -c:v libx264rgb -qp 0 -g 30 -sc_threshold 0 -an",
                here("two-keyframes.mkv"));
    cli::VideoFrameSource source(here("two-keyframes.mkv").string());
    a::Picture first, landed;
    for (int64_t frame = 0; frame < 30; frame += 3) {
        ASSERT_EQ(source.seekNear(frame), 0);
        source.read({0, 0, source.width(), source.height()}, landed);
        if (frame == 0)
            first = landed;
        EXPECT_EQ(landed.pixels, first.pixels);
    }
    // The first seek reads the cues the others are looked up in.
    EXPECT_LE(source.framesDecoded(), 2);

    // After the location's seeks, a pass in order from the first frame.
    source.rewind();
    ASSERT_TRUE(source.advance());
    source.read({0, 0, source.width(), source.height()}, landed);
    EXPECT_EQ(landed.pixels, first.pixels);
}

TEST_F(AnalysisSource, KeyframesAreCountedWhereTheIndexListsEveryFrame) {
    const std::string input =
        "-i " + here("source.mkv").string() + " -c:v libx264 -g 10 " + "-sc_threshold 0 -an";
    t::makeClip(input, here("keyframes.mp4"));
    EXPECT_EQ(cli::VideoFrameSource(here("keyframes.mp4").string()).keyframes(), 4);
    // A fragmented file's index grows as it is read; Matroska's cues may
    // name only some keyframes.
    t::makeClip(input + " -movflags frag_keyframe+empty_moov", here("fragmented.mp4"));
    EXPECT_EQ(cli::VideoFrameSource(here("fragmented.mp4").string()).keyframes(), -1);
    EXPECT_EQ(cli::VideoFrameSource(here("source.mkv").string()).keyframes(), -1);
}
