// The Config call the module writes for the host to save, and its replay.
#include "host/filter_instance.h"
#include "host/job_script.h"
#include "host/script_call.h"
#include "module/filter_settings.h"
#include "tests/support/bmp_file.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <iterator>
#include <random>
#include <sstream>

using pendra::host::FilterInstance;
namespace h = pendra::host;
namespace t = pendra::test;

namespace {

const std::string exampleText = "Config(\"D:\\\\logos\\\\news0.bmp\",1, 2, 600, 20, 0, 0, 0, 0, "
                                "255, 661800, 332810, 230, 0, 10)";

// The integer settings the call carries.
std::vector<int *> carriedFields(FilterSettings &s) {
    return {&s.blackMode, &s.maskMode, &s.x,     &s.y,     &s.start, &s.end,
            &s.fadeIn,    &s.fadeOut,  &s.alpha, &s.t1,    &s.t2,    &s.t3,
            &s.b2,        &s.b3,       &s.bb,    &s.white, &s.side,  &s.scene};
}
std::vector<int> carried(FilterSettings &s) {
    std::vector<int> values;
    for (int *field : carriedFields(s))
        values.push_back(*field);
    return values;
}

void setExample(FilterSettings &s) {
    std::strcpy(s.bitmapPath, "D:\\logos\\news0.bmp");
    std::vector<int> values = {1, 2, 600, 20, 0, 0, 0, 0, 255, 10, 25, 40, 5, 20, 10, 230, 0, 10};
    for (size_t k = 0; k < values.size(); ++k)
        *carriedFields(s)[k] = values[k];
}

class ScriptConfig : public ::testing::Test {
  protected:
    void SetUp() override {
        t::writeDefaultsFile("DEFAULT_FEATHER\t3\nDEFAULT_NOISE_L\t7\nDEFAULT_X\t44\n");
        module_ = t::loadModule();
    }
    void TearDown() override { t::removeDefaultsFile(); }
    std::unique_ptr<FilterInstance> fresh() {
        return std::make_unique<FilterInstance>(t::pendraFilter(*module_), 0xA5);
    }
    std::unique_ptr<h::LoadedModule> module_;
};

} // namespace

TEST_F(ScriptConfig, WritesTheExampleAndReplaysItOnAFreshInstance) {
    auto source = fresh();
    setExample(source->dataAs<FilterSettings>());
    ASSERT_EQ(h::scriptTextOf(*source), exampleText);

    auto target = fresh();
    FilterSettings &s = target->dataAs<FilterSettings>();
    s.debugOutput = 1; // not carried: the replay must leave it
    h::runScriptLine(*target, exampleText);
    EXPECT_STREQ(s.bitmapPath, "D:\\logos\\news0.bmp");
    EXPECT_EQ(carried(s), carried(source->dataAs<FilterSettings>()));
    EXPECT_EQ(s.feather, 3);
    EXPECT_EQ(s.noiseL, 7);
    EXPECT_EQ(s.debugOutput, 1);
}

TEST_F(ScriptConfig, ReplayedModesWinOverTheSetFoundOnDisk) {
    auto dir = h::executableFolder() / "logos";
    std::filesystem::create_directories(dir);
    t::BmpImage logo = t::BmpImage::filled(6, 4, 0x102030);
    logo.at(2, 3) = 0x405060;
    auto source = fresh();
    FilterSettings &a = source->dataAs<FilterSettings>();
    setExample(a);
    std::strcpy(a.bitmapPath, (dir / "news0.bmp").string().c_str());
    // With all three files the loader finds modes 2 and 1, with the black one alone 1 and 2.
    for (auto [files, blackMode, maskMode] : {std::tuple{3, 1, 2}, std::tuple{1, 2, 1}}) {
        for (int k = 0; k < 3; ++k) {
            auto file = dir / ("news" + std::to_string(k) + ".bmp");
            k < files ? t::writeBmp(file, logo) : void(std::filesystem::remove(file));
        }
        a.blackMode = blackMode, a.maskMode = maskMode;
        auto target = fresh();
        h::runScriptLine(*target, h::scriptTextOf(*source));
        FilterSettings &b = target->dataAs<FilterSettings>();
        EXPECT_EQ(b.logoWidth, 6) << "the set was loaded";
        EXPECT_EQ(b.whiteFile != nullptr, files == 3);
        EXPECT_EQ(carried(b), carried(a));
        target->end();
    }
}

TEST_F(ScriptConfig, PackedTriplesSpillWhenWrittenAndAreCutWhenRead) {
    auto instance = fresh();
    FilterSettings &s = instance->dataAs<FilterSettings>();
    setExample(s);
    s.t1 = -1, s.t2 = 0, s.t3 = 0, s.b2 = 4, s.b3 = 300, s.bb = 10;
    std::string text = h::scriptTextOf(*instance);
    EXPECT_NE(text.find(", -65536, 338954, "), std::string::npos) << text;

    h::runScriptLine(*instance, text);
    EXPECT_EQ(carried(s),
              (std::vector<int>{1, 2, 600, 20, 0, 0, 0, 0, 255, 255, 0, 0, 5, 44, 10, 230, 0, 10}));
    h::runScriptLine(*instance, "Config(\"a0.bmp\",0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, 0, 0, 0)");
    EXPECT_EQ((std::vector<int>{s.t1, s.t2, s.t3, s.b2, s.b3, s.bb}), std::vector<int>(6, 255));
}

TEST_F(ScriptConfig, PathsAreEscapedAndNeverOverrunOrCut) {
    auto instance = fresh();
    FilterSettings &s = instance->dataAs<FilterSettings>();
    setExample(s);
    auto writtenPath = [&] {
        std::string text = h::scriptTextOf(*instance);
        return text.substr(8, text.rfind("\",") - 8);
    };
    std::strcpy(s.bitmapPath, "/srv/logos/news0.bmp");
    EXPECT_EQ(writtenPath(), "/srv/logos/news0.bmp");
    std::strcpy(s.bitmapPath, "\\\\\\");
    EXPECT_EQ(writtenPath(), std::string(6, '\\'));
    std::strcpy(s.bitmapPath, "a\"b\nc");
    EXPECT_EQ(writtenPath(), "a\\\"b\\nc");
    // The longest path doubles whole; a field without its terminator is read
    // no further than its 1023 characters.
    std::memset(s.bitmapPath, '\\', sizeof s.bitmapPath - 1);
    EXPECT_EQ(writtenPath(), std::string(2046, '\\'));
    std::memset(s.bitmapPath, 'a', sizeof s.bitmapPath);
    EXPECT_EQ(writtenPath(), std::string(1023, 'a'));

    // A replayed path that the field cannot hold is refused, not cut.
    std::string rest = exampleText.substr(exampleText.find("\","));
    h::runScriptLine(*instance, "Config(\"" + std::string(1023, 'p') + rest);
    EXPECT_EQ(std::string(s.bitmapPath), std::string(1023, 'p'));
    s.x = 0;
    h::runScriptLine(*instance, "Config(\"" + std::string(1024, 'p') + rest);
    EXPECT_STREQ(s.bitmapPath, "");
    EXPECT_EQ(s.x, 600);
}

TEST_F(ScriptConfig, AShortHostBufferGetsTheCutTextAndFalse) {
    auto instance = fresh();
    setExample(instance->dataAs<FilterSettings>());
    const int length = static_cast<int>(exampleText.size());
    for (int size : {0, 1, 2, 40, length, length + 1, length + 9}) {
        std::vector<char> buffer(static_cast<size_t>(length) + 20, 'q');
        bool ok = instance->definition().fssProc(&instance->activation(), &instance->functions(),
                                                 buffer.data(), size);
        EXPECT_EQ(ok, size > length) << size;
        if (size > 0) {
            size_t kept = static_cast<size_t>(std::min(size - 1, length));
            EXPECT_EQ(std::string(buffer.data()), exampleText.substr(0, kept)) << size;
        }
        for (size_t k = static_cast<size_t>(size); k < buffer.size(); ++k)
            ASSERT_EQ(buffer[k], 'q') << "written past a buffer of " << size;
    }
}

TEST_F(ScriptConfig, RandomRecordsSurviveAJobRoundTrip) {
    std::mt19937 random(20240611);
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const std::string alphabet = "\\\\\\\"\n\r\t :./_-0123456789abcXYZ\xE9";
    // Each field's largest documented value from 0; 0 marks the frame numbers,
    // which compare unsigned and so may hold any 32 bits.
    const int most[] = {2, 2, 800, 600, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 4, 100};
    for (int round = 0; round < 150; ++round) {
        auto source = fresh();
        FilterSettings &a = source->dataAs<FilterSettings>();
        std::string path = "Z:\\none\\"; // names no file, so the loader changes nothing
        for (int n = in(0, 1015); n > 0; --n)
            path += alphabet[static_cast<size_t>(in(0, int(alphabet.size()) - 1))];
        std::strcpy(a.bitmapPath, path.c_str());
        for (size_t k = 0; k < std::size(most); ++k)
            *carriedFields(a)[k] = most[k] ? in(0, most[k]) : in(INT_MIN, INT_MAX);

        std::stringstream job;
        h::writeJobScript(job, {h::jobEntryOf(*source)});
        std::vector<h::JobEntry> entries = h::readJobScript(job);
        ASSERT_EQ(entries.size(), 1u);

        auto target = fresh();
        FilterSettings &b = target->dataAs<FilterSettings>();
        auto old = std::make_unique<FilterSettings>();
        std::memcpy(old.get(), &b, sizeof b);
        h::applyJobEntry(*target, entries[0]);
        ASSERT_EQ(std::string(b.bitmapPath), path) << round;
        ASSERT_EQ(carried(b), carried(a)) << round;

        // Every field the call does not carry is as it was.
        std::memcpy(old->bitmapPath, b.bitmapPath, sizeof b.bitmapPath);
        for (size_t k = 0; k < std::size(most); ++k)
            *carriedFields(*old)[k] = *carriedFields(b)[k];
        ASSERT_EQ(std::memcmp(old.get(), &b, sizeof b), 0) << round;
    }
}
