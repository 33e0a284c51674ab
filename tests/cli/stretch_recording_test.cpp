// The stretch pass's samples recorded while the analysis reads the video:
// they are the very samples a pass of their own gives, also for a logo
// present in part of a long video, and a recording that missed frames (a
// pass that skipped some, reads after a seek, a rectangle never read)
// serves nothing, so that the pass runs instead; and that pass, when it
// thins its samples, converts only the rectangles it keeps.
#include "analysis/frame_pass.h"
#include "cli/analysis_source.h"
#include "cli/stretch_recording.h"
#include "host/module_library.h"
#include "tests/support/generated_source.h"
#include "tests/support/scene_clip.h"

#include <gtest/gtest.h>

#include <tuple>

namespace a = pendra::analysis;
namespace cli = pendra::cli;
namespace fs = std::filesystem;
namespace t = pendra::test;

namespace {

const a::Rect logoRect{140, 4, 40, 20};

fs::path clip() {
    const fs::path path = pendra::host::executableFolder() / "recording.mkv";
    if (!fs::exists(path)) {
        t::Scene scene;
        scene.frames = 48;
        scene.shotLength = 16; // cuts for the cut finder to find
        scene.background = t::Background::Mixed;
        scene.logos.push_back(t::textLogo(150, 8, 0.6, 0xF0F0F0));
        t::writeSceneClip(scene, path);
    }
    return path;
}

// A source whose area reads are recorded, for a video of `frames` frames
// (by default the clip's own count).
struct Recorded {
    cli::VideoFrameSource source{clip().string(), 0}; // decoded on every pass
    cli::StretchRecording recording;
    explicit Recorded(int64_t frames = 0)
        : recording(source.width(), source.height(), frames > 0 ? frames : source.frameCount()) {
        source.watchReads(
            [this](int64_t frame, const a::Rect &area) { recording.watch(source, frame, area); });
    }
    // A pass in order that reads the rectangle in every `step`-th frame of from..to.
    void pass(int step, int64_t from = 0, int64_t to = 47) {
        a::Picture area;
        source.rewind();
        for (int64_t n = 0; n <= to && source.advance(); ++n)
            if (n >= from && n % step == 0)
                source.read(logoRect, area);
    }
};

// The recording serves each range without decoding, with what a pass gives.
void expectSamplesOfAPass(Recorded &r, const std::vector<std::pair<int64_t, int64_t>> &ranges) {
    for (const auto &[first, last] : ranges) {
        SCOPED_TRACE(testing::Message() << "frames " << first << "-" << last);
        const int64_t decoded = r.source.framesDecoded();
        const std::optional<cli::StretchSamples> recorded =
            r.recording.samples({logoRect}, first, last);
        ASSERT_TRUE(recorded.has_value());
        EXPECT_EQ(r.source.framesDecoded(), decoded); // served without decoding
        const cli::StretchSamples read =
            cli::gatherStretchSamples(r.source, {logoRect}, first, last, {});
        ASSERT_FALSE(read.cuts.empty());
        ASSERT_EQ(recorded->cuts.size(), read.cuts.size());
        for (size_t i = 0; i < read.cuts.size(); ++i) {
            EXPECT_EQ(recorded->cuts[i].frame, read.cuts[i].frame);
            EXPECT_EQ(recorded->cuts[i].strength, read.cuts[i].strength);
        }
        ASSERT_EQ(recorded->logos.size(), 1u);
        EXPECT_EQ(a::rectText(recorded->logos[0].area), a::rectText(read.logos[0].area));
        ASSERT_EQ(recorded->logos[0].frames.size(), read.logos[0].frames.size());
        for (size_t i = 0; i < read.logos[0].frames.size(); ++i) {
            EXPECT_EQ(recorded->logos[0].frames[i].first, read.logos[0].frames[i].first);
            EXPECT_EQ(recorded->logos[0].frames[i].second.pixels,
                      read.logos[0].frames[i].second.pixels);
        }
    }
}

} // namespace

// Also when the video is long enough for the pass to thin its samples over
// the whole of it (as if the clip went on to 480 frames): a logo present
// in part of it only wants every frame there.
TEST(StretchRecording, SamplesAreThoseOfAPassOfTheirOwn) {
    for (const int64_t frames : {int64_t{0}, int64_t{480}}) {
        SCOPED_TRACE(testing::Message() << "a video of " << frames << " frames");
        Recorded r(frames);
        r.pass(1);
        r.source.watchReads({});
        expectSamplesOfAPass(r, {{0, 47}, {5, 40}});
    }
}

TEST(StretchRecording, MissedFramesServeNothing) {
    Recorded skipping;
    skipping.pass(2); // every other frame is missing
    EXPECT_FALSE(skipping.recording.samples({logoRect}, 0, 47).has_value());

    // Two passes with frames 10 to 19 read by neither: the cuts after them
    // cannot be told.
    Recorded parted;
    parted.pass(1, 0, 9);
    parted.pass(1, 20, 47);
    EXPECT_TRUE(parted.recording.samples({logoRect}, 0, 9).has_value());
    EXPECT_FALSE(parted.recording.samples({logoRect}, 20, 30).has_value());

    Recorded whole;
    whole.pass(1);
    EXPECT_FALSE(whole.recording.samples({{10, 60, 30, 20}}, 0, 47).has_value()); // never read

    // Reads after a seek are not in the pass's order: none is recorded.
    Recorded sought;
    a::Picture area;
    for (int64_t frame : {0, 20, 40})
        if (sought.source.seekNear(frame) >= 0)
            sought.source.read(logoRect, area);
    EXPECT_FALSE(sought.recording.samples({logoRect}, 0, 0).has_value());
}

// A pass long enough to thin its samples converts only the rectangles it
// keeps, and keeps what converting every frame it takes would: the frames
// thinned over the range, each as the source gives it; also when the video
// ends before the range does, where it is thinned less.
TEST(StretchSamples, AThinnedPassConvertsOnlyWhatItKeeps) {
    t::Scene scene;
    scene.width = 64;
    scene.height = 48;
    scene.frames = 600;
    scene.background = t::Background::Mixed;
    const a::Rect rect{20, 10, 24, 12};
    const a::Rect grown = cli::withRoom(rect, scene.width, scene.height);
    const size_t cap = cli::sampleCap({cli::AreaSamples{grown, {}}});
    for (const auto &[first, last, end] :
         {std::tuple<int64_t, int64_t, int64_t>{0, 599, 599}, {37, 400, 400}, {0, 5000, 599}}) {
        SCOPED_TRACE(testing::Message() << "frames " << first << "-" << last);
        t::GeneratedSource source(scene);
        const cli::StretchSamples s = cli::gatherStretchSamples(source, {rect}, first, last, {});
        const std::vector<int64_t> expected = cli::thinnedFrames(first, end, cap);
        ASSERT_LT(expected.size(), static_cast<size_t>(end - first + 1)); // thinned
        ASSERT_EQ(s.logos.size(), 1u);
        ASSERT_EQ(s.logos[0].frames.size(), expected.size());
        t::GeneratedSource plain(scene);
        a::Picture picture;
        int64_t at = -1;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(s.logos[0].frames[i].first, expected[i]);
            while (at < expected[i] && plain.advance())
                ++at;
            plain.read(grown, picture);
            EXPECT_EQ(s.logos[0].frames[i].second.pixels, picture.pixels);
        }
        // One pass: the middle of each frame and the rectangles kept.
        if (last <= end) {
            EXPECT_EQ(source.partReads(),
                      (end - first + 1) + static_cast<int64_t>(expected.size()));
        }
    }
}
