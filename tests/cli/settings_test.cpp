// Settings on their way to the filter: the command line, the Config call the
// options are laid over, and the run's own defaults file.
#include "cli/av_support.h"
#include "cli/bmp_file.h"
#include "cli/config_line.h"
#include "cli/filter_session.h"
#include "cli/logo_set_check.h"
#include "cli/options.h"
#include "cli/run_defaults.h"
#include "host/module_library.h"
#include "module/filter_settings.h"
#include "module/user_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace pendra::cli;

namespace {

// A saved setting of the call, by the name the filter's record gives it.
int setting(const ConfigValues &v, const char *name) {
    return v.get(*userSettingNamed(name));
}

const std::string sampleCall = "Config(\"D:\\\\logos\\\\news0.bmp\",1, 2, 600, 20, 0, 0, 0, 0, "
                               "255, 661800, 332810, 230, 0, 10)";

TEST(ConfigLine, ReadsAndWritesTheFiltersOwnText) {
    std::optional<ConfigValues> v = parseConfigLine(sampleCall);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->logo, "D:\\logos\\news0.bmp");
    EXPECT_EQ(v->numbers.blackMode, 1);
    EXPECT_EQ(v->numbers.maskMode, 2);
    EXPECT_EQ(setting(*v, "x"), 600);
    EXPECT_EQ(setting(*v, "y"), 20);
    EXPECT_EQ(setting(*v, "alpha"), 255);
    EXPECT_EQ(setting(*v, "t1"), 10);
    EXPECT_EQ(setting(*v, "t2"), 25);
    EXPECT_EQ(setting(*v, "t3"), 40);
    EXPECT_EQ(setting(*v, "white"), 230);
    EXPECT_EQ(setting(*v, "scene"), 10);
    EXPECT_EQ(formatConfigLine(*v), sampleCall);

    // As a job file may space it, with a closing semicolon and negative numbers.
    v = parseConfigLine(" Config ( \"a0.bmp\" , 0,0,-4, 5,6,7,8,9,10,11,12,13,14,15 ) ;\n");
    ASSERT_TRUE(v);
    EXPECT_EQ(setting(*v, "x"), -4);
    EXPECT_EQ(setting(*v, "scene"), 15);

    EXPECT_FALSE(parseConfigLine("Config(\"a0.bmp\",0, 0, 1)"));
    EXPECT_FALSE(parseConfigLine(sampleCall + " extra"));
    EXPECT_FALSE(parseConfigLine("Other(\"a0.bmp\",0,0,0,0,0,0,0,0,0,0,0,0,0,0)"));
}

// A file name may hold what ends a quoted string or a line on Linux: the line
// the command writes must read back as the same name, as the filter's own does.
TEST(ConfigLine, ANameWithQuotesAndLineBreaksSurvivesTheRoundTrip) {
    ConfigValues v = *parseConfigLine(sampleCall);
    v.logo = "/tmp/say \"cheese\"\nnow\\0.bmp";
    const std::string line = formatConfigLine(v);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    std::optional<ConfigValues> back = parseConfigLine(line);
    ASSERT_TRUE(back) << line;
    EXPECT_EQ(back->logo, v.logo);
    EXPECT_EQ(formatConfigLine(*back), line);
}

TEST(ConfigLine, OptionsReplaceOnlyWhatTheyName) {
    ConfigValues v = *parseConfigLine(sampleCall);
    v.numbers.blurs = -1; // spilled by out-of-range values: kept as it is unless a blur is given
    SettingOptions o;
    o.values = {{"t2", 99}, {"start", 7}, {"side", 4}, {"noiseL", 5}};
    applySettingOptions(o, v);
    EXPECT_EQ(setting(v, "t1"), 10);
    EXPECT_EQ(setting(v, "t2"), 99);
    EXPECT_EQ(setting(v, "t3"), 40);
    EXPECT_EQ(v.numbers.blurs, -1);
    EXPECT_EQ(setting(v, "start"), 7);
    EXPECT_EQ(setting(v, "side"), 4);
    EXPECT_EQ(setting(v, "x"), 600);
    EXPECT_EQ(v.logo, "D:\\logos\\news0.bmp");

    o = SettingOptions{};
    o.values["bb"] = 0;
    applySettingOptions(o, v);
    EXPECT_EQ(v.numbers.blurs, 0xFFFF00);
}

TEST(ConfigLine, ANewLogoTakesTheModesOfTheFilesBesideIt) {
    fs::path folder = pendra::host::executableFolder() / "modes";
    fs::create_directories(folder);
    for (const char *name : {"a0.bmp", "a2.bmp", "b0.bmp", "b1.bmp", "c2.bmp"})
        std::ofstream(folder / name) << "BM";
    struct Case {
        const char *file;
        int blackMode, maskMode;
    } cases[] = {{"a0.bmp", 1, 1}, {"b0.bmp", 2, 2}, {"c2.bmp", 0, 1}, {"d0.bmp", 1, 2}};
    for (const Case &c : cases) {
        ConfigValues v = *parseConfigLine(sampleCall);
        SettingOptions o;
        o.logo = (folder / c.file).string();
        applySettingOptions(o, v);
        EXPECT_EQ(v.logo, (folder / c.file).string());
        EXPECT_EQ(v.numbers.blackMode, c.blackMode) << c.file;
        EXPECT_EQ(v.numbers.maskMode, c.maskMode) << c.file;
    }
}

std::vector<std::string> words(std::initializer_list<const char *> list) {
    return std::vector<std::string>(list.begin(), list.end());
}

TEST(CommandLine, ReadsSettingsInEitherSpelling) {
    Options o = parseOptions(
        words({"process",    "in.mp4", "out.mkv", "--x=12",   "--y",     "7",  "--side",  "west",
               "--fade-out", "3",      "--crf",   "20",       "--noise", "0",  "--trace", "t.txt",
               "--logo",     "l0.bmp", "-y",      "--seed=9", "--scene", "100"}));
    EXPECT_EQ(o.command, Command::Process);
    EXPECT_EQ(o.input, "in.mp4");
    EXPECT_EQ(o.output, "out.mkv");
    EXPECT_EQ(o.settings.get("x"), 12);
    EXPECT_EQ(o.settings.get("y"), 7);
    EXPECT_EQ(o.settings.get("side"), 4);
    EXPECT_EQ(o.settings.get("fadeOut"), 3);
    EXPECT_EQ(o.encoder.crf, 20);
    EXPECT_EQ(o.settings.get("noiseL"), 0);
    EXPECT_EQ(o.run.trace, "t.txt");
    EXPECT_FALSE(o.settings.get("alpha"));
    EXPECT_TRUE(o.overwrite);
    EXPECT_EQ(o.run.seed, 9u);
    EXPECT_EQ(o.settings.get("scene"), 100);
    EXPECT_EQ(parseOptions(words({"process", "a", "b", "--job", "j"})).run.seed, 1u);

    o = parseOptions(words({"preview", "--frame", "4", "in.mp4", "--out", "p.png", "--job", "j"}));
    EXPECT_EQ(o.frame, 4);
    EXPECT_EQ(o.output, "p.png");
    EXPECT_EQ(parseOptions(words({"demo", "--help"})).helpTopic, "demo");
    EXPECT_TRUE(parseOptions({}).usageMistake);
}

TEST(CommandLine, BitRatesTakeSuffixes) {
    EXPECT_EQ(parseBitRate("2500k"), 2500000);
    EXPECT_EQ(parseBitRate("2.5M"), 2500000);
    EXPECT_EQ(parseBitRate("800000"), 800000);
    EXPECT_FALSE(parseBitRate("2G"));
    EXPECT_FALSE(parseBitRate("fast"));
    EXPECT_FALSE(parseBitRate(""));
    Options o = parseOptions(words({"process", "a", "b", "--job", "j", "--bitrate=4M"}));
    EXPECT_EQ(o.encoder.bitrate, 4000000);
}

TEST(CommandLine, EveryOptionIsInTheHelpOfTheCommandsThatTakeIt) {
    const std::string process = helpText("process"), preview = helpText("preview");
    for (const char *name : {"--noise", "--feather", "--scene", "--seed", "--bitrate", "--job",
                             "--threshold3", "--overwrite", "--pixel-format"})
        EXPECT_NE(process.find(name), std::string::npos) << name;
    EXPECT_NE(preview.find("--out FILE"), std::string::npos);
    EXPECT_EQ(preview.find("--codec"), std::string::npos);
    // Ranges come from the same table the parser checks.
    EXPECT_NE(process.find("(0..16383)"), std::string::npos);
    EXPECT_NE(process.find("(0..100)"), std::string::npos);
    // Under the defaults file's section only what the defaults file and a
    // saved job hold.
    const size_t from = process.find("settings each new filter takes from the defaults file");
    ASSERT_NE(from, std::string::npos);
    const std::string section = process.substr(from, process.find("\n\n", from) - from);
    for (const char *name : {"--noise", "--feather"})
        EXPECT_NE(section.find(name), std::string::npos) << name;
    for (const char *name : {"--seed", "--trace"})
        EXPECT_EQ(section.find(name), std::string::npos) << name;
}

TEST(CommandLine, MistakesAreUsageErrors) {
    const std::vector<std::vector<std::string>> mistakes = {
        words({"process", "in.mp4"}),
        words({"process", "in.mp4", "out.mp4", "--alpha", "256"}),
        words({"process", "in.mp4", "out.mp4", "--x", "ten"}),
        words({"process", "in.mp4", "out.mp4", "--side", "up"}),
        words({"process", "in.mp4", "out.mp4", "--threshold1"}),
        words({"process", "in.mp4", "out.mp4", "--frame", "3"}),
        words({"preview", "in.mp4", "--frame", "3"}),
        words({"demo", "--codec", "ffv1"}),
        words({"convert", "in.mp4"}),
        // Every setting is range-checked, not only the packed ones.
        words({"process", "in.mp4", "out.mp4", "--job", "j", "--noise", "16384"}),
        words({"process", "in.mp4", "out.mp4", "--job", "j", "--feather", "-1"}),
        words({"process", "in.mp4", "out.mp4", "--job", "j", "--scene", "101"}),
        words({"process", "in.mp4", "out.mp4", "--job", "j", "--seed", "-2"}),
        words({"process", "in.mp4", "out.mp4", "--job", "j", "--bitrate", "500"}),
        words({"process", "in.mp4", "out.mp4", "--job", "j", "--bitrate", "1M", "--crf", "3"}),
        words({"process", "in.mp4", "out.mp4", "--job", "j", "-y=1"}),
        // Neither a logo nor a job: nothing says where the logo is.
        words({"process", "in.mp4", "out.mp4", "--x", "3"}),
        words({"preview", "in.mp4", "--frame", "3", "--out", "p.png"}),
    };
    for (const auto &args : mistakes) {
        try {
            parseOptions(args);
            ADD_FAILURE() << "accepted: " << ::testing::PrintToString(args);
        } catch (const CliError &e) {
            EXPECT_EQ(e.exitCode(), 2) << e.what();
            // main() adds "pendra: "; the message must not add its own.
            EXPECT_NE(std::string(e.what()).rfind("pendra", 0), 0u) << e.what();
        }
    }
}

TEST(RunDefaults, AppendsTheRunsValuesAfterTheInstalledText) {
    EXPECT_EQ(RunDefaults::text("DEFAULT_X\t5", {std::nullopt, {{"noiseL", 0}, {"x", 9}}}),
              "DEFAULT_X\t5\nDEFAULT_NOISE_L\t0\n");
    EXPECT_EQ(RunDefaults::text("", {std::nullopt, {{"feather", 3}}}), "DEFAULT_FEATHER\t3\n");
    // A saved setting is the job's, not the run's: the installed text stays as it is.
    EXPECT_EQ(RunDefaults::text("DEFAULT_X\t5", {std::nullopt, {{"alpha", 3}}}), "DEFAULT_X\t5");
}

TEST(RunDefaults, PointsTheModuleAtTheRunsFileOnlyWhileItLasts) {
    unsetenv(defaultsFileVariable);
    setenv(traceFileVariable, "earlier.txt", 1);
    unsetenv(noiseSeedVariable);
    fs::path installed = pendra::host::executableFolder() / "installed.ini";
    std::ofstream(installed) << "DEFAULT_SCENE\t33\n";
    fs::path own;
    {
        const fs::path trace = pendra::host::executableFolder() / "trace.txt";
        RunDefaults run(installed, {std::nullopt, {{"noiseL", 1}}}, trace.string(), 42u);
        own = run.file();
        EXPECT_STREQ(std::getenv(noiseSeedVariable), "42");
        ASSERT_NE(std::getenv(defaultsFileVariable), nullptr);
        EXPECT_EQ(own, std::getenv(defaultsFileVariable));
        std::ifstream in(own);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "DEFAULT_SCENE\t33\nDEFAULT_NOISE_L\t1\n");
        // The trace goes nowhere until it is opened, then to the file created
        // for it, which takes the trace's name only once the run is complete.
        EXPECT_STREQ(std::getenv(traceFileVariable), "/dev/null");
        fs::remove(trace);
        run.openTrace();
        EXPECT_FALSE(fs::exists(trace));
        std::ofstream(std::getenv(traceFileVariable)) << "Frame: 7\n";
        run.commitTrace();
        EXPECT_STREQ(std::getenv(traceFileVariable), "/dev/null");
        std::ifstream traced(trace);
        std::string line;
        std::getline(traced, line);
        EXPECT_EQ(line, "Frame: 7");
    }
    EXPECT_FALSE(fs::exists(own));
    EXPECT_EQ(std::getenv(defaultsFileVariable), nullptr);
    EXPECT_STREQ(std::getenv(traceFileVariable), "earlier.txt");
    EXPECT_EQ(std::getenv(noiseSeedVariable), nullptr);
    {
        RunDefaults untouched(installed, {}, std::nullopt);
        EXPECT_TRUE(untouched.file().empty());
        EXPECT_EQ(std::getenv(defaultsFileVariable), nullptr);
    }
    {
        RunDefaults builtIn({}, {}, std::nullopt);
        ASSERT_NE(std::getenv(defaultsFileVariable), nullptr);
        EXPECT_EQ(fs::file_size(builtIn.file()), 0u);
    }
    unsetenv(traceFileVariable);
}

TEST(RunDefaults, ANewInstanceTakesTheRunsNoiseAndFeatherAndTheInstalledRest) {
    fs::path installed = pendra::host::executableFolder() / "plugins" / "pendra" / "Pendra.ini";
    fs::create_directories(installed.parent_path());
    const std::string installedText = "DEFAULT_NOISE_L\t7\nDEFAULT_FEATHER\t5\nDEFAULT_SCENE\t33\n";
    std::ofstream(installed) << installedText;
    {
        RunDefaults defaults(installedDefaultsFile(), {std::nullopt, {{"noiseL", 0}}},
                             (pendra::host::executableFolder() / "trace.txt").string());
        FilterSession session(defaults, FilterSession::loadModule());
        const FilterSettings &s = session.instance().dataAs<FilterSettings>();
        EXPECT_EQ(s.noiseL, 0);
        EXPECT_EQ(s.feather, 5);
        EXPECT_EQ(s.scene, 33);
        EXPECT_EQ(s.debugOutput, 1);
    }
    {
        RunDefaults defaults(installedDefaultsFile(), {}, std::nullopt);
        FilterSession session(defaults, FilterSession::loadModule());
        const FilterSettings &s = session.instance().dataAs<FilterSettings>();
        EXPECT_EQ(s.noiseL, 7);
        EXPECT_EQ(s.feather, 5);
        EXPECT_EQ(s.debugOutput, 0);
    }
    std::ifstream in(installed);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, installedText);
    fs::remove(installed);
}

TEST(LogoSet, EachFaultNamesTheFileAndHowItIsWrong) {
    fs::path folder = pendra::host::executableFolder() / "refusals";
    fs::create_directories(folder);
    // A bitmap with one header field changed: the bit depth at 28 or the height at 22.
    auto bitmap = [&](const char *name, int width, int height, int bits = 24, bool cut = false,
                      bool topDown = false) {
        RgbImage image(width, height);
        writeBmp(folder / name, image);
        std::fstream f(folder / name, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(28);
        f.put(static_cast<char>(bits));
        if (topDown) {
            int32_t negative = -height;
            f.seekp(22);
            f.write(reinterpret_cast<const char *>(&negative), 4);
        }
        f.close();
        if (cut)
            fs::resize_file(folder / name, 60);
    };
    bitmap("ok0.bmp", 8, 6);
    bitmap("deep0.bmp", 8, 6, 32);
    bitmap("short0.bmp", 8, 6, 24, true);
    bitmap("flipped0.bmp", 8, 6, 24, false, true);
    bitmap("pair0.bmp", 8, 6);
    bitmap("pair2.bmp", 4, 6);
    bitmap("wide0.bmp", 8, 6);
    bitmap("wide1.bmp", 12, 6);
    bitmap("tall0.bmp", 8, 6);
    bitmap("tall2.bmp", 8, 9);
    std::ofstream(folder / "text0.bmp") << "hello";
    auto path = [&](const char *name) { return (folder / name).string(); };
    auto problem = [&](const char *name) { return logoSetProblem(path(name)); };
    auto expectCause = [&](const char *name, const char *file, const std::string &cause) {
        std::string text = problem(name);
        EXPECT_EQ(text.rfind(path(file) + ": ", 0), 0u) << text;
        EXPECT_NE(text.find(cause), std::string::npos) << text;
    };
    EXPECT_NE(problem("logo1.bmp").find("must end in 0"), std::string::npos);
    EXPECT_NE(problem("logo0.tiff").find("must end in 0"), std::string::npos);
    expectCause("gone0.bmp", "gone0.bmp", "cannot open: no such file or directory");
    expectCause("text0.bmp", "text0.bmp", "not a Windows bitmap");
    expectCause("deep0.bmp", "deep0.bmp", "has 32 bits per pixel");
    expectCause("short0.bmp", "short0.bmp", "cut short");
    expectCause("flipped0.bmp", "flipped0.bmp", "top line first");
    expectCause("pair0.bmp", "pair2.bmp", "is 4x6, smaller than");
    // Accepted by the filter, but worth a word: the companions are read as 8x6.
    LogoSetCheck wide = checkLogoSet(path("wide0.bmp"));
    EXPECT_TRUE(wide.problem.empty());
    ASSERT_EQ(wide.warnings.size(), 1u);
    EXPECT_EQ(wide.warnings[0].rfind(path("wide1.bmp") + ": the capture over white is 12x6", 0),
              0u);
    EXPECT_NE(wide.warnings[0].find("wrong places"), std::string::npos);
    LogoSetCheck tall = checkLogoSet(path("tall0.bmp"));
    ASSERT_EQ(tall.warnings.size(), 1u);
    EXPECT_EQ(tall.warnings[0].rfind(path("tall2.bmp") + ": the interpolate mask is 8x9", 0), 0u);
    EXPECT_EQ(tall.width, 8);
    EXPECT_EQ(tall.height, 6);
    // Nothing wrong with the files: the mask's layout is what remains.
    EXPECT_NE(problem("ok0.bmp").find("the filter refused this logo set"), std::string::npos);
    EXPECT_NE(logoSetProblem("").find("no logo given"), std::string::npos);
    // A FIFO in the set, named or as a companion, is refused without waiting
    // for a writer that never comes; so is a folder.
    for (const char *name : {"pipe0.bmp", "piped2.bmp", "dir0.bmp"})
        fs::remove(folder / name);
    ASSERT_EQ(mkfifo(path("pipe0.bmp").c_str(), 0600), 0);
    bitmap("piped0.bmp", 8, 6);
    ASSERT_EQ(mkfifo(path("piped2.bmp").c_str(), 0600), 0);
    fs::create_directory(folder / "dir0.bmp");
    expectCause("pipe0.bmp", "pipe0.bmp", "not a regular file");
    expectCause("piped0.bmp", "piped2.bmp", "not a regular file");
    expectCause("dir0.bmp", "dir0.bmp", "not a regular file");
}

} // namespace
