// A new instance's settings from the defaults file under the host's folder.
#include "host/filter_instance.h"
#include "module/filter_settings.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using pendra::host::FilterInstance;
namespace t = pendra::test;

namespace {

class DefaultsFile : public ::testing::Test {
  protected:
    void SetUp() override { t::removeDefaultsFile(); }
    void TearDown() override { t::removeDefaultsFile(); }

    // A fresh module (built-in process defaults) and one new instance's record.
    FilterSettings freshInstance(const std::string *fileText) {
        if (fileText)
            t::writeDefaultsFile(*fileText);
        module_ = t::loadModule();
        return newInstance();
    }
    FilterSettings newInstance() {
        FilterInstance instance(t::pendraFilter(*module_));
        return instance.dataAs<FilterSettings>();
    }

    std::unique_ptr<pendra::host::LoadedModule> module_;
};

void expectBuiltIns(const FilterSettings &s, const char *except = "") {
    std::string skip = except;
    auto check = [&](const char *name, int actual, int expected) {
        if (skip != name) {
            EXPECT_EQ(actual, expected) << name;
        }
    };
    check("x", s.x, 0);
    check("y", s.y, 0);
    check("start", s.start, 0);
    check("end", s.end, 0);
    check("fadeIn", s.fadeIn, 0);
    check("fadeOut", s.fadeOut, 0);
    check("alpha", s.alpha, 0);
    check("side", s.side, 0);
    check("t1", s.t1, 10);
    check("t2", s.t2, 25);
    check("t3", s.t3, 40);
    check("b2", s.b2, 5);
    check("b3", s.b3, 20);
    check("bb", s.bb, 10);
    check("scene", s.scene, 10);
    check("white", s.white, 230);
    check("feather", s.feather, 8);
    check("noiseL", s.noiseL, 2);
    check("debugOutput", s.debugOutput, 0);
    check("blackMode", s.blackMode, 0);
    check("maskMode", s.maskMode, 0);
    check("maxDeviation", s.maxDeviation, 0);
}

} // namespace

TEST_F(DefaultsFile, MissingFileGivesBuiltInValuesAndTheDefaultBitmapPath) {
    FilterSettings s = freshInstance(nullptr);
    expectBuiltIns(s);
    std::string expected = (pendra::host::executableFolder() / "plugins" / "Logo.bmp").string();
    EXPECT_EQ(std::string(s.bitmapPath), expected);
}

TEST_F(DefaultsFile, EmptyFileChangesNothing) {
    std::string text;
    expectBuiltIns(freshInstance(&text));
}

TEST_F(DefaultsFile, OnePairSetsOnlyItsSetting) {
    std::string text = "DEFAULT_Y\t20\n";
    FilterSettings s = freshInstance(&text);
    EXPECT_EQ(s.y, 20);
    expectBuiltIns(s, "y");
}

TEST_F(DefaultsFile, EveryKeyReachesItsField) {
    std::string text = "DEFAULT_X\t1\nDEFAULT_Y\t2\nDEFAULT_START\t3\nDEFAULT_END\t4\n"
                       "DEFAULT_FADEIN\t5\nDEFAULT_FADEOUT\t6\nDEFAULT_ALPHA\t7\n"
                       "DEFAULT_T1\t8\nDEFAULT_T2\t9\nDEFAULT_T3\t11\nDEFAULT_B1\t99\n"
                       "DEFAULT_B2\t12\nDEFAULT_B3\t13\nDEFAULT_BB\t14\nDEFAULT_SIDE\t3\n"
                       "DEFAULT_SCENE\t15\nDEFAULT_WHITE\t200\nDEFAULT_FEATHER\t4\n"
                       "DEFAULT_ALPHA_M\t160\nDEFAULT_ALPHA_T\t70\nDEFAULT_NOISE_L\t0\n";
    FilterSettings s = freshInstance(&text);
    EXPECT_EQ(s.x, 1);
    EXPECT_EQ(s.y, 2);
    EXPECT_EQ(s.start, 3);
    EXPECT_EQ(s.end, 4);
    EXPECT_EQ(s.fadeIn, 5);
    EXPECT_EQ(s.fadeOut, 6);
    EXPECT_EQ(s.alpha, 7);
    EXPECT_EQ(s.t1, 8);
    EXPECT_EQ(s.t2, 9);
    EXPECT_EQ(s.t3, 11);
    EXPECT_EQ(s.b2, 12);
    EXPECT_EQ(s.b3, 13);
    EXPECT_EQ(s.bb, 14);
    EXPECT_EQ(s.side, 3);
    EXPECT_EQ(s.scene, 15);
    EXPECT_EQ(s.white, 200);
    EXPECT_EQ(s.feather, 4);
    EXPECT_EQ(s.noiseL, 0);
}

TEST_F(DefaultsFile, ReadsTokensWhateverTheLineBreaks) {
    std::string split = "DEFAULT_X\n600\n  DEFAULT_Y   20 DEFAULT_FADEIN\r\n\t25";
    FilterSettings s = freshInstance(&split);
    EXPECT_EQ(s.x, 600);
    EXPECT_EQ(s.y, 20);
    EXPECT_EQ(s.fadeIn, 25); // last pair without a line end is read too
}

TEST_F(DefaultsFile, KeysAreCaseSensitiveAndUnknownPairsAreDropped) {
    std::string text = "default_x\t600\nDEFAULT_Z\t5\nDEFAULT_Y\t7\n";
    FilterSettings s = freshInstance(&text);
    EXPECT_EQ(s.y, 7);
    expectBuiltIns(s, "y");
}

TEST_F(DefaultsFile, NegativeAndSignedValuesAreTakenUnchanged) {
    std::string text = "DEFAULT_X\t-4\nDEFAULT_Y\t+9\n";
    FilterSettings s = freshInstance(&text);
    EXPECT_EQ(s.x, -4);
    EXPECT_EQ(s.y, 9);
}

TEST_F(DefaultsFile, KeyWithoutValueChangesNothingAndTheNextTokenIsAKey) {
    std::string text = "DEFAULT_X\tfoo\nDEFAULT_Y\t20\nDEFAULT_T1\nDEFAULT_T2\t30\nDEFAULT_T3";
    FilterSettings s = freshInstance(&text);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 20);
    EXPECT_EQ(s.t1, 10);
    EXPECT_EQ(s.t2, 30);
    EXPECT_EQ(s.t3, 40); // a key at the end of the file sets nothing
}

TEST_F(DefaultsFile, LastOccurrenceWinsAndOverlongKeysMatchNothing) {
    std::string text = "DEFAULT_SCENE\t5\nDEFAULT_SCENE\t6\n" + std::string(300, 'A') +
                       "DEFAULT_X\t9\nDEFAULT_Y 3\n";
    FilterSettings s = freshInstance(&text);
    EXPECT_EQ(s.scene, 6);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 3);
}

TEST_F(DefaultsFile, AKeyLeftOutOfALaterFileKeepsItsEarlierValue) {
    std::string first = "DEFAULT_SCENE\t30\nDEFAULT_X\t5\n";
    FilterSettings a = freshInstance(&first);
    EXPECT_EQ(a.scene, 30);

    t::writeDefaultsFile("DEFAULT_X\t6\n");
    FilterSettings b = newInstance();
    EXPECT_EQ(b.scene, 30);
    EXPECT_EQ(b.x, 6);

    t::removeDefaultsFile();
    FilterSettings c = newInstance();
    EXPECT_EQ(c.scene, 30);
    EXPECT_EQ(c.x, 6);
}

TEST_F(DefaultsFile, ExistingInstancesAreNotTouchedByALaterRead) {
    std::string first = "DEFAULT_X\t5\n";
    t::writeDefaultsFile(first);
    module_ = t::loadModule();
    FilterInstance older(t::pendraFilter(*module_));
    t::writeDefaultsFile("DEFAULT_X\t6\n");
    FilterInstance newer(t::pendraFilter(*module_));
    EXPECT_EQ(older.dataAs<FilterSettings>().x, 5);
    EXPECT_EQ(newer.dataAs<FilterSettings>().x, 6);
}

TEST_F(DefaultsFile, InitClearsResourcePointersOfAnUnclearedRecord) {
    module_ = t::loadModule();
    FilterInstance instance(t::pendraFilter(*module_), 0xCD);
    const FilterSettings &s = instance.dataAs<FilterSettings>();
    EXPECT_EQ(s.preview, nullptr);
    EXPECT_EQ(s.blackFile, nullptr);
    EXPECT_EQ(s.whiteFile, nullptr);
    EXPECT_EQ(s.maskFile, nullptr);
    EXPECT_EQ(s.blackPixels, nullptr);
    EXPECT_EQ(s.whitePixels, nullptr);
    EXPECT_EQ(s.maskPixels, nullptr);
    EXPECT_EQ(s.sideTable, nullptr);
    EXPECT_EQ(s.bitmapMask, nullptr);
    EXPECT_EQ(s.vertEdge, nullptr);
    EXPECT_EQ(s.horzEdge, nullptr);
    EXPECT_EQ(s.smoothScratch, nullptr);
    EXPECT_EQ(s.smoothImage, nullptr);
    EXPECT_EQ(s.unblended, nullptr);
    EXPECT_EQ(s.rectPixels, nullptr);
    EXPECT_EQ(s.workMap, nullptr);
    EXPECT_EQ(s.blurPasses, nullptr);
    EXPECT_EQ(s.edgeList, nullptr);
    EXPECT_EQ(s.repairScratch, nullptr);
    expectBuiltIns(s);
}

namespace {} // namespace

TEST_F(DefaultsFile, AFileNamedByTheEnvironmentIsReadInsteadOfTheInstalledOne) {
    std::string installed = "DEFAULT_X\t5\nDEFAULT_SCENE\t20\n";
    std::filesystem::path own = pendra::host::executableFolder() / "own-defaults.ini";
    std::ofstream(own) << "DEFAULT_X\t9\nDEFAULT_NOISE_L\t0\n";

    t::setVariable("PENDRA_DEFAULTS_FILE", own.string().c_str());
    FilterSettings pointed = freshInstance(&installed);
    EXPECT_EQ(pointed.x, 9);
    EXPECT_EQ(pointed.noiseL, 0);
    EXPECT_EQ(pointed.scene, 10); // the installed file was not read

    // Unset, the installed file serves as always.
    t::setVariable("PENDRA_DEFAULTS_FILE", nullptr);
    module_.reset(); // one loaded copy at a time: each starts from the built-in values
    FilterSettings usual = freshInstance(&installed);
    EXPECT_EQ(usual.x, 5);
    EXPECT_EQ(usual.scene, 20);
    EXPECT_EQ(usual.noiseL, 2);

    // A named file that is missing is like a missing defaults file.
    t::setVariable("PENDRA_DEFAULTS_FILE", (own.string() + ".gone").c_str());
    module_.reset();
    FilterSettings missing = freshInstance(&installed);
    EXPECT_EQ(missing.x, 0);
    EXPECT_EQ(missing.scene, 10);
    t::setVariable("PENDRA_DEFAULTS_FILE", nullptr);
    std::filesystem::remove(own);
}

#if !defined(_WIN32)
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Runs a copy of the probe program and the module from folder; returns its output.
std::string runProbeFrom(const std::filesystem::path &folder, const std::string &ini) {
    namespace fs = std::filesystem;
    fs::create_directories(folder / "plugins" / "pendra");
    fs::copy_file(pendra::host::executableFolder() / "host_folder_probe", folder / "probe",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(t::modulePath(), folder / "plugins" / "Pendra04.vdf",
                  fs::copy_options::overwrite_existing);
    std::ofstream(folder / "plugins" / "pendra" / "Pendra.ini") << ini;
    std::string output;
    // Not "'" + a temporary string: GCC 12 at -O3 warns falsely (-Wrestrict) on that.
    std::string probe = "'";
    probe += (folder / "probe").string();
    probe += '\'';
    FILE *pipe = popen(probe.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

} // namespace

TEST(HostFolder, PathsTooLongForTheModuleAreLeftEmptyNotCut) {
    namespace fs = std::filesystem;
    fs::path base = fs::temp_directory_path() / "pendra-host-folder-test";
    fs::remove_all(base);

    // A folder whose defaults file and bitmap path still fit in 255 characters.
    fs::path shortFolder = base / "short";
    std::string shortOut = runProbeFrom(shortFolder, "DEFAULT_X\t77\n");
    EXPECT_NE(shortOut.find("x=77\n"), std::string::npos) << shortOut;
    EXPECT_NE(shortOut.find("path=" + (shortFolder / "plugins" / "Logo.bmp").string() + "\n"),
              std::string::npos)
        << shortOut;

    // A folder so deep that the executable's own name exceeds 255 characters:
    // the module cannot know its folder, reads no file and leaves the path empty.
    fs::path deepFolder = base / std::string(120, 'd') / std::string(120, 'e') / "f";
    std::string deepOut = runProbeFrom(deepFolder, "DEFAULT_X\t77\n");
    EXPECT_NE(deepOut.find("x=0\n"), std::string::npos) << deepOut;
    EXPECT_NE(deepOut.find("path=\n"), std::string::npos) << deepOut;

    // The executable's name and the bitmap path fit, the defaults file's path would not:
    // the file is skipped, the bitmap path is still set.
    std::string fits(255 - base.string().size() - 1 - 6 - 12, 'g');
    fs::path edgeFolder = base / fits;
    ASSERT_LE((edgeFolder / "probe").string().size(), 255u);
    std::string edgeOut = runProbeFrom(edgeFolder, "DEFAULT_X\t77\n");
    EXPECT_NE(edgeOut.find("x=0\n"), std::string::npos) << edgeOut;
    std::string edgeLogo = (edgeFolder / "plugins" / "Logo.bmp").string();
    ASSERT_LE(edgeLogo.size(), 255u);
    ASSERT_GT((edgeFolder / "plugins" / "pendra" / "Pendra.ini").string().size(), 255u);
    EXPECT_NE(edgeOut.find("path=" + edgeLogo + "\n"), std::string::npos) << edgeOut;
    fs::remove_all(base);
}
#endif
