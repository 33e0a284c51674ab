// What the pendra command keeps besides the pictures and the sound: the
// picture's rotation (the display matrix), chapters, the file's and each
// stream's tags and dispositions; and the warning when the output's kind of
// file cannot hold one of them.
#include "cli/video_reader.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"

extern "C" {
#include <libavutil/display.h>
}

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace pendra::test;
using pendra::cli::VideoReader;

namespace {

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

CommandResult process(const std::string &input, const fs::path &output) {
    fs::remove(output);
    std::vector<std::string> args = {"process", input, output.string()};
    for (const std::string &a : testLogoOptions(40, 30))
        args.push_back(a);
    return runPendra(args);
}

std::string tag(const AVDictionary *tags, const char *key) {
    const AVDictionaryEntry *e = av_dict_get(tags, key, nullptr, 0);
    return e ? e->value : "";
}

// The rotation the video stream's display matrix asks for, in degrees; 0 without one.
double rotation(const VideoReader &video) {
    size_t size = 0;
    const uint8_t *matrix =
        av_stream_get_side_data(video.videoStream(), AV_PKT_DATA_DISPLAYMATRIX, &size);
    return matrix && size >= 9 * sizeof(int32_t)
               ? av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix))
               : 0;
}

struct Chapter {
    double start, end;
    std::string title;
    bool operator==(const Chapter &) const = default;
};

std::vector<Chapter> chapters(const VideoReader &video) {
    std::vector<Chapter> out;
    const AVFormatContext *f = video.format();
    for (unsigned i = 0; i < f->nb_chapters; ++i) {
        const AVChapter *c = f->chapters[i];
        out.push_back({static_cast<double>(c->start) * av_q2d(c->time_base),
                       static_cast<double>(c->end) * av_q2d(c->time_base),
                       tag(c->metadata, "title")});
    }
    return out;
}

const AVStream *audioStream(const VideoReader &video) {
    int index = av_find_best_stream(video.format(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    return index >= 0 ? video.format()->streams[index] : nullptr;
}

class PendraMetadata : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::ofstream(here("chapters.txt")) << ";FFMETADATA1\ntitle=Evening news\n"
                                               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=800\n"
                                               "title=Headlines\n"
                                               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=800\nEND=2000\n"
                                               "title=Weather\n";
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 "
                 "-f lavfi -i sine=duration=2 -c:v libx264 -pix_fmt yuv420p -c:a aac",
                 here("plain.mp4"));
        // A phone's portrait clip: stored sideways, turned by its display matrix.
        makeClip("-i '" + here("plain.mp4").string() + "' -i '" + here("chapters.txt").string() +
                     "' -map 0:v -map 0:a -map_metadata 1 -map_chapters 1 -c copy "
                     "-metadata:s:v:0 rotate=90 -metadata:s:a:0 language=fra "
                     "-disposition:a:0 comment",
                 here("tagged.mp4"));
    }
};

TEST_F(PendraMetadata, RotationChaptersTagsAndDispositionsAreKept) {
    const VideoReader in(here("tagged.mp4").string());
    ASSERT_NE(rotation(in), 0) << "the test clip has no rotation";
    ASSERT_EQ(chapters(in).size(), 2u);

    for (const char *name : {"kept.mp4", "kept.mov", "kept.mkv"}) {
        SCOPED_TRACE(name);
        CommandResult r = process("tagged.mp4", here(name));
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        const VideoReader out(here(name).string());
        EXPECT_EQ(chapters(out), chapters(in));
        EXPECT_EQ(tag(out.format()->metadata, "title"), "Evening news");
        const AVStream *sound = audioStream(out);
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(tag(sound->metadata, "language"), "fra");
        if (std::string(name) != "kept.mov") { // QuickTime stores no dispositions
            EXPECT_TRUE(sound->disposition & AV_DISPOSITION_COMMENT);
        }
        // The new video names its own encoder, not the input's.
        EXPECT_EQ(tag(out.videoStream()->metadata, "encoder").substr(0, 4), "Lavc");
        if (std::string(name) == "kept.mkv") {
            // Matroska has no display matrix: said, not silently lost.
            EXPECT_EQ(r.errors, "pendra: warning: " + here(name).string() +
                                    ": cannot hold the input's rotation (display matrix) of "
                                    "stream 0; left out\n");
        } else {
            EXPECT_EQ(r.errors, "");
            EXPECT_EQ(rotation(out), rotation(in));
        }
    }
}

TEST_F(PendraMetadata, ChaptersAKindOfFileCannotHoldAreReported) {
    const fs::path out = here("no-chapters.avi");
    CommandResult r = process("plain.mp4", out);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    r = process("tagged.mp4", out);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find(out.string() + ": cannot hold the input's 2 chapters; left out\n"),
              std::string::npos)
        << r.errors;
}

} // namespace
