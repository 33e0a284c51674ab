// The pendra command's care for files and its choices for the user: outputs
// that would destroy an input or an existing file are refused before any
// work, the logo's position and alpha come as the dialog's Browse gives them,
// runs repeat exactly, ranges that filter nothing are reported, and a job of
// several filters runs them all in order.
#include "cli/bmp_file.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"

#include <gtest/gtest.h>

#include "pendra_version.h"
#include <algorithm>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using pendra::cli::RgbImage;
using namespace pendra::test;

namespace {

constexpr int logoW = 24, logoH = 16;

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

bool sameFrames(const VideoContents &a, const VideoContents &b) {
    if (a.frames.size() != b.frames.size())
        return false;
    for (size_t n = 0; n < a.frames.size(); ++n)
        if (!a.frames[n].samePixels(b.frames[n]))
            return false;
    return true;
}

class PendraJobs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.8 -c:v ffv1 -pix_fmt bgr0",
                 here("clip.mkv"));
        writeTestLogoSet("logo", logoW, logoH);
        writeTestLogoSet("named_x_40_y_30_", logoW, logoH);
        writeTestLogoSet("blackonly", logoW, logoH, {.withWhite = false});
    }
    void SetUp() override {
        for (const char *name : {"out.mkv", "a.mkv", "b.mkv", "c.mkv", "ab.mkv", "ab-by-hand.mkv",
                                 "shot.jpg", "job-out.job"})
            fs::remove(here(name));
    }
    // The command on clip.mkv, lossless, with `args` after the output name.
    static CommandResult process(const std::string &output, const std::vector<std::string> &args,
                                 const std::string &input = "clip.mkv") {
        return runPendra(join({"process", input, output, "--codec", "ffv1"}, args));
    }
    static std::vector<std::string> at40x30() {
        return {"--logo", here("logo0.bmp").string(), "--x", "40", "--y", "30"};
    }
};

TEST_F(PendraJobs, NoInputIsEverReplaced) {
    fs::create_directories(here("sub"));
    fs::remove(here("link.mkv"));
    fs::create_symlink(here("clip.mkv"), here("link.mkv"));
    const auto before = fs::file_size(here("clip.mkv"));
    for (const std::string &output : {std::string("clip.mkv"), std::string("sub/../clip.mkv"),
                                      std::string("link.mkv"), here("clip.mkv").string()}) {
        CommandResult r = process(output, join(at40x30(), {"-y"}));
        EXPECT_EQ(r.exitCode, 1) << output;
        EXPECT_EQ(r.errors, "pendra: " + output +
                                ": is the input clip.mkv; writing it would "
                                "destroy it, so name another output file\n");
    }
    // Nor a logo capture through --save-job, nor the output by the saved job.
    CommandResult r =
        process("out.mkv", join(at40x30(), {"-y", "--save-job", here("logo1.bmp").string()}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("logo1.bmp: is the input"), std::string::npos) << r.errors;
    r = process("out.mkv", join(at40x30(), {"-y", "--save-job", "out.mkv"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(fs::file_size(here("clip.mkv")), before);
    EXPECT_TRUE(leftNoOutput(here("out.mkv")));
}

TEST_F(PendraJobs, AnExistingOutputIsReplacedOnlyWithOverwrite) {
    for (const char *name : {"out.mkv", "shot.jpg", "job-out.job"})
        std::ofstream(here(name)) << "keep me";
    auto kept = [](const char *name) {
        std::ifstream in(here(name));
        std::string text;
        std::getline(in, text);
        return text == "keep me";
    };
    CommandResult r = process("out.mkv", at40x30());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: out.mkv: already exists; use -y (--overwrite) to replace it\n");
    r = process("new.mkv", join(at40x30(), {"-y", "--save-job", "job-out.job"}));
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    fs::remove(here("new.mkv"));
    r = process("new.mkv", join(at40x30(), {"--save-job", "job-out.job"}));
    EXPECT_NE(r.errors.find("job-out.job: already exists"), std::string::npos) << r.errors;
    EXPECT_TRUE(leftNoOutput(here("new.mkv")));
    r = runPendra(join({"preview", "clip.mkv", "--frame", "2", "--out", "shot.jpg"}, at40x30()));
    EXPECT_EQ(r.errors, "pendra: shot.jpg: already exists; use -y (--overwrite) to replace it\n");
    EXPECT_TRUE(kept("out.mkv"));
    EXPECT_TRUE(kept("shot.jpg"));

    r = process("out.mkv", join(at40x30(), {"--overwrite"}));
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(readVideo(here("out.mkv")).frames.size(), 20u);
}

// The debug trace is an output like OUT: never one of the files the run
// reads, an existing file only with -y, and nothing at all from a failed run.
TEST_F(PendraJobs, TheTraceFollowsTheOutputRules) {
    auto bytes = [](const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    fs::remove(here("trace-test.job"));
    ASSERT_EQ(process("out.mkv", join(at40x30(), {"--save-job", "trace-test.job"})).exitCode, 0);
    fs::remove(here("out.mkv"));
    fs::remove(here("link-to-clip.mkv"));
    fs::create_symlink(here("clip.mkv"), here("link-to-clip.mkv"));
    const std::string clip = bytes(here("clip.mkv")), job = bytes(here("trace-test.job")),
                      capture = bytes(here("logo1.bmp"));
    // As the user would have it: pendra process IN OUT --job J --trace IN.
    for (const std::string &trace : {std::string("clip.mkv"), std::string("link-to-clip.mkv"),
                                     std::string("trace-test.job"), here("logo1.bmp").string()}) {
        CommandResult r = process("out.mkv", {"--job", "trace-test.job", "--trace", trace, "-y"});
        EXPECT_EQ(r.exitCode, 1) << trace;
        EXPECT_EQ(r.errors.rfind("pendra: " + trace + ": is the input ", 0), 0u) << r.errors;
    }
    // Nor the output, nor the saved job.
    CommandResult r = process("out.mkv", {"--job", "trace-test.job", "--trace", "out.mkv", "-y"});
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    r = process("out.mkv", join(at40x30(), {"--save-job", "saved.job", "--trace", "saved.job"}));
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    EXPECT_EQ(r.errors, "pendra: saved.job: is the input saved.job; writing it would destroy it, "
                        "so name another output file\n");
    r = runPendra({"preview", "clip.mkv", "--frame", "2", "--out", "shot.jpg", "--job",
                   "trace-test.job", "--trace", "clip.mkv", "-y"});
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    EXPECT_TRUE(bytes(here("clip.mkv")) == clip) << "the input was replaced";
    EXPECT_TRUE(bytes(here("trace-test.job")) == job) << "the job was replaced";
    EXPECT_TRUE(bytes(here("logo1.bmp")) == capture) << "the capture was replaced";
    EXPECT_TRUE(leftNoOutput(here("out.mkv")));
    EXPECT_TRUE(leftNoOutput(here("shot.jpg")));
    EXPECT_FALSE(fs::exists(here("saved.job")));

    // An existing file is replaced only with -y, as OUT is.
    std::ofstream(here("notes.txt")) << "keep me";
    r = process("out.mkv", {"--job", "trace-test.job", "--trace", "notes.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: notes.txt: already exists; use -y (--overwrite) to replace it\n");
    r = runPendra({"preview", "clip.mkv", "--frame", "2", "--out", "shot.jpg", "--job",
                   "trace-test.job", "--trace", "notes.txt"});
    EXPECT_EQ(r.errors, "pendra: notes.txt: already exists; use -y (--overwrite) to replace it\n");
    EXPECT_EQ(bytes(here("notes.txt")), "keep me");
    EXPECT_TRUE(leftNoOutput(here("out.mkv")));
    r = process("out.mkv", {"--job", "trace-test.job", "--trace", "notes.txt", "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(bytes(here("notes.txt")).rfind("Frame: 19\n", 0), 0u) << "the last frame's trace";

    // A run that fails leaves no trace, nor half of one.
    fs::remove(here("notes.txt"));
    r = process("out.mkv", {"--job", "trace-test.job", "--trace", "notes.txt", "-y"},
                "missing.mkv");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(leftNoOutput(here("notes.txt")));
}

TEST_F(PendraJobs, AFolderAsOutputIsRefusedBeforeAnyWork) {
    fs::create_directories(here("folder.mkv"));
    CommandResult r = process("folder.mkv", join(at40x30(), {"-y"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: folder.mkv: is a folder; name the output file itself\n");
}

TEST_F(PendraJobs, TheLogoActsAsTheDialogsBrowse) {
    // Position from the name, alpha from the capture: as the options that say the same.
    CommandResult r = process("a.mkv", {"--logo", here("named_x_40_y_30_0.bmp").string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors.rfind("pendra: settings: x 40, y 30 (from the name), alpha ", 0), 0u)
        << r.errors;
    // maxDeviation 0x78 = 120: alpha = 80 + 255 - 120 = 215 with the built-in defaults.
    EXPECT_NE(r.errors.find("alpha 215 (from the capture)"), std::string::npos) << r.errors;
    r = process("b.mkv", join(at40x30(), {"--alpha", "215", "--bitmap-blur", "0", "--noise", "0"}));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors, "") << "nothing was chosen for the user";
    EXPECT_TRUE(sameFrames(readVideo(here("a.mkv")), readVideo(here("b.mkv"))));

    // Over black alone: automatic alpha, but the module's blur and noise.
    r = process("c.mkv", {"--logo", here("blackonly0.bmp").string(), "--x", "40", "--y", "30",
                          "--end", "3"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors, "pendra: settings: x 40, y 30, alpha 215 (from the capture)\n");
}

TEST_F(PendraJobs, AJobsSettingsWinOverTheCommandsChoices) {
    CommandResult r = process(
        "a.mkv", join(at40x30(), {"--alpha", "0", "--save-job", here("job-out.job").string()}));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    r = process("b.mkv", {"--job", here("job-out.job").string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    // A job keeps its noise from the defaults file, so only the seed makes them equal.
    EXPECT_TRUE(sameFrames(readVideo(here("a.mkv")), readVideo(here("b.mkv"))));
}

TEST_F(PendraJobs, NoiseAndFeatherTravelWithTheJob) {
    // They are not part of the filter's saved call: without the job's own
    // line a replay would take the defaults file's noise.
    CommandResult r =
        process("a.mkv", join(at40x30(), {"--alpha", "0", "--noise", "5", "--feather", "3",
                                          "--save-job", here("job-out.job").string()}));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    r = process("b.mkv", {"--job", here("job-out.job").string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_TRUE(sameFrames(readVideo(here("a.mkv")), readVideo(here("b.mkv"))));
    // What the user gives again wins.
    r = process("c.mkv", {"--job", here("job-out.job").string(), "--noise", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_FALSE(sameFrames(readVideo(here("a.mkv")), readVideo(here("c.mkv"))));

    std::ofstream(here("job-out.job"), std::ios::app) << "// pendra process: --noise 99999\n";
    fs::remove(here("c.mkv"));
    r = process("c.mkv", {"--job", here("job-out.job").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("job-out.job: "), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("--noise"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(here("c.mkv")));
}

TEST_F(PendraJobs, RunsRepeatExactlyAndTheSeedChoosesTheNoise) {
    const std::vector<std::string> noisy = join(at40x30(), {"--alpha", "0", "--noise", "4"});
    ASSERT_EQ(process("a.mkv", noisy).exitCode, 0);
    ASSERT_EQ(process("b.mkv", noisy).exitCode, 0);
    ASSERT_EQ(process("c.mkv", join(noisy, {"--seed", "12345"})).exitCode, 0);
    VideoContents a = readVideo(here("a.mkv")), b = readVideo(here("b.mkv")),
                  c = readVideo(here("c.mkv"));
    EXPECT_TRUE(sameFrames(a, b)) << "two runs of the same settings differ";
    EXPECT_FALSE(sameFrames(a, c)) << "another seed gave the same noise";
}

TEST_F(PendraJobs, ARangeThatFiltersNothingIsReported) {
    CommandResult r = process("a.mkv", join(at40x30(), {"--start", "15", "--end", "5"}));
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find("warning: the range starts at frame 15, after its end at frame 5"),
              std::string::npos)
        << r.errors;
    r = process("b.mkv", join(at40x30(), {"--start", "20"}));
    EXPECT_NE(r.errors.find("warning: clip.mkv: the range starts past its last frame (19"),
              std::string::npos)
        << r.errors;
    r = process("c.mkv", join(at40x30(), {"--start", "19"}));
    EXPECT_EQ(r.errors.find("warning"), std::string::npos) << r.errors;
}

TEST_F(PendraJobs, AJobOfSeveralFiltersRunsThemAllInOrder) {
    // Two filters at different places: the job's output is the second filter
    // run over the first one's output.
    const std::string logo = here("logo0.bmp").string();
    const std::string call = ",2, 1, %X, %Y, 0, 0, 0, 0, 96, 661800, 332800, 230, 0, 10);\n";
    auto configLine = [&](int index, int x, int y) {
        std::string c = call;
        c.replace(c.find("%X"), 2, std::to_string(x));
        c.replace(c.find("%Y"), 2, std::to_string(y));
        return "VirtualDub.video.filters.Add(\"" PENDRA_FILTER_NAME "\");\n"
               "VirtualDub.video.filters.instance[" +
               std::to_string(index) + "].Config(\"" + logo + "\"" + c;
    };
    std::ofstream(here("first.job")) << "VirtualDub.video.filters.Clear();\n"
                                     << configLine(0, 40, 30);
    std::ofstream(here("second.job")) << "VirtualDub.video.filters.Clear();\n"
                                      << configLine(0, 50, 40);
    std::ofstream(here("both.job")) << "VirtualDub.video.filters.Clear();\n"
                                    << configLine(0, 40, 30) << configLine(1, 50, 40);
    ASSERT_EQ(process("ab.mkv", {"--job", "both.job", "--noise", "0"}).exitCode, 0);
    ASSERT_EQ(process("a.mkv", {"--job", "first.job", "--noise", "0"}).exitCode, 0);
    ASSERT_EQ(process("ab-by-hand.mkv", {"--job", "second.job", "--noise", "0"}, "a.mkv").exitCode,
              0);
    VideoContents ab = readVideo(here("ab.mkv")), a = readVideo(here("a.mkv"));
    EXPECT_TRUE(sameFrames(ab, readVideo(here("ab-by-hand.mkv"))));
    EXPECT_FALSE(sameFrames(ab, a)) << "the second filter did not run";

    // Settings options would be ambiguous; a saved job keeps both filters.
    CommandResult r = process("b.mkv", {"--job", "both.job", "--alpha", "3"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("both.job: holds 2 " PENDRA_FILTER_NAME " filters"), std::string::npos);
    r = runPendra({"preview", "clip.mkv", "--frame", "1", "--out", "shot.jpg", "--job", "both.job",
                   "--save-job", "job-out.job"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    std::ifstream saved(here("job-out.job"));
    std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("instance[1].Config("), std::string::npos) << text;
}

TEST_F(PendraJobs, APreviewIsWrittenInTheFormatItsNameAsks) {
    CommandResult r =
        runPendra(join({"preview", "clip.mkv", "--frame", "2", "--out", "shot.jpg"}, at40x30()));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    std::ifstream in(here("shot.jpg"), std::ios::binary);
    unsigned char magic[3] = {};
    in.read(reinterpret_cast<char *>(magic), 3);
    EXPECT_EQ(magic[0], 0xFF);
    EXPECT_EQ(magic[1], 0xD8); // a JPEG's start of image
    VideoContents picture = readVideo(here("shot.jpg"));
    EXPECT_EQ(picture.width, 2 * 160 + 16);
}

TEST(PendraUsage, ABareCommandIsAUsageMistake) {
    CommandResult r = runPendra({});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("usage: pendra COMMAND"), std::string::npos);
    EXPECT_EQ(r.output, "");
    r = runPendra({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("usage: pendra COMMAND"), std::string::npos);
}

} // namespace
