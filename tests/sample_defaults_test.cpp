// The sample defaults file shipped beside the module: every key once, in the
// form the reader takes, holding the built-in values.
#include "host/filter_instance.h"
#include "module/filter_settings.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

std::string sampleText() {
    std::ifstream in(PENDRA_SAMPLE_INI, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<int> settingsOfNewInstance(const pendra::host::LoadedModule &module) {
    pendra::host::FilterInstance instance(pendra::test::pendraFilter(module));
    const auto &s = instance.dataAs<FilterSettings>();
    return {s.x,  s.y,  s.start, s.end, s.fadeIn, s.fadeOut, s.alpha, s.t1,      s.t2,
            s.t3, s.b2, s.b3,    s.bb,  s.side,   s.scene,   s.white, s.feather, s.noiseL};
}

} // namespace

TEST(SampleDefaultsFile, ListsEveryKeyOnceAsKeyTabNumber) {
    const std::map<std::string, int> builtIn = {
        {"DEFAULT_X", 0},         {"DEFAULT_Y", 0},        {"DEFAULT_START", 0},
        {"DEFAULT_END", 0},       {"DEFAULT_FADEIN", 0},   {"DEFAULT_FADEOUT", 0},
        {"DEFAULT_ALPHA", 0},     {"DEFAULT_T1", 10},      {"DEFAULT_T2", 25},
        {"DEFAULT_T3", 40},       {"DEFAULT_B1", 5},       {"DEFAULT_B2", 5},
        {"DEFAULT_B3", 20},       {"DEFAULT_BB", 10},      {"DEFAULT_SIDE", 0},
        {"DEFAULT_SCENE", 10},    {"DEFAULT_WHITE", 230},  {"DEFAULT_FEATHER", 8},
        {"DEFAULT_ALPHA_M", 150}, {"DEFAULT_ALPHA_T", 80}, {"DEFAULT_NOISE_L", 2}};
    std::istringstream lines(sampleText());
    std::map<std::string, int> seen;
    std::string line;
    while (std::getline(lines, line)) {
        auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        std::string key = line.substr(0, tab);
        EXPECT_TRUE(seen.emplace(key, std::stoi(line.substr(tab + 1))).second) << key;
    }
    EXPECT_EQ(seen, builtIn);
}

TEST(SampleDefaultsFile, LoadsToTheSameInstanceAsNoFile) {
    pendra::test::removeDefaultsFile();
    auto without = settingsOfNewInstance(*pendra::test::loadModule());
    pendra::test::writeDefaultsFile(sampleText());
    auto with = settingsOfNewInstance(*pendra::test::loadModule());
    pendra::test::removeDefaultsFile();
    EXPECT_EQ(with, without);
}
