// The sample defaults file shipped beside the module loads, and holds the
// built-in values.
#include "host/filter_instance.h"
#include "module/filter_settings.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <fstream>
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

TEST(SampleDefaultsFile, LoadsToTheSameInstanceAsNoFile) {
    pendra::test::removeDefaultsFile();
    auto without = settingsOfNewInstance(*pendra::test::loadModule());
    pendra::test::writeDefaultsFile(sampleText());
    auto with = settingsOfNewInstance(*pendra::test::loadModule());
    pendra::test::removeDefaultsFile();
    EXPECT_EQ(with, without);
}
