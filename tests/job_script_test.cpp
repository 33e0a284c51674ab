// Job files and script lines read by the host, and the lines it refuses.
#include "host/filter_instance.h"
#include "host/job_script.h"
#include "host/script_call.h"
#include "module/filter_settings.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include "pendra_version.h"
#include <cstring>
#include <sstream>

using pendra::host::FilterInstance;
namespace h = pendra::host;
namespace t = pendra::test;

namespace {

const std::string goodArgs = ",1, 2, 600, 20, 0, 0, 0, 0, 255, 661800, 332810, 230, 0, 10)";

// The reason of the ScriptError that fn throws, once its line is checked.
template <typename Fn> std::string refusal(Fn fn, int expectedLine) {
    try {
        fn();
    } catch (const h::ScriptError &e) {
        EXPECT_EQ(e.line(), expectedLine);
        EXPECT_NE(std::string(e.what()).find(e.text()), std::string::npos);
        return e.reason();
    }
    ADD_FAILURE() << "accepted";
    return {};
}

std::vector<h::JobEntry> readText(const std::string &text) {
    std::istringstream in(text);
    return h::readJobScript(in);
}

} // namespace

TEST(ScriptLine, MalformedCallsAreRefusedAndLeaveTheInstanceAlone) {
    auto module = t::loadModule();
    FilterInstance instance(t::pendraFilter(*module));
    std::vector<unsigned char> before(sizeof(FilterSettings));
    std::memcpy(before.data(), instance.data(), before.size());

    const std::pair<std::string, std::string> cases[] = {
        {"Config(\"a0.bmp\",1, 2, 3)", "Config takes 15 arguments, not 4"},
        {"Config(\"a0.bmp\",\"1\"" + goodArgs.substr(2), "argument 2 of Config must be an integer"},
        {"Config(7" + goodArgs, "argument 1 of Config must be a string, not an integer"},
        {"Config(\"D:\\\\logos\\\\news0.bmp" + goodArgs, "unterminated string"},
        {"Konfig(\"a0.bmp\"" + goodArgs, "has no script function Konfig"},
        {"Config(\"a0.bmp\",2147483648, 2)", "argument 2: integer out of range"},
        {"Config(\"a0.bmp\" 1" + goodArgs.substr(2), "expected ',' or ')' after argument 1"},
        {"Config(\"a\\q0.bmp\"" + goodArgs, "unknown escape \\q"},
        {"Config(\"a0.bmp\"" + goodArgs + " x", "unexpected text after the call"},
    };
    for (const auto &[line, reason] : cases) {
        std::string got = refusal([&] { h::runScriptLine(instance, line, 12); }, 12);
        EXPECT_NE(got.find(reason), std::string::npos) << line << "\n -> " << got;
        ASSERT_EQ(std::memcmp(before.data(), instance.data(), before.size()), 0) << line;
    }
}

TEST(JobScript, BadStatementsAreRefusedNamingTheLine) {
    const std::string add = "VirtualDub.video.filters.Add(\"" PENDRA_FILTER_NAME "\");\n";
    const std::string config = "VirtualDub.video.filters.instance[0].Config(\"a0.bmp\"" + goodArgs;
    const std::tuple<std::string, int, std::string> cases[] = {
        {add + "VirtualDub.audio.filters.Clear();\n", 2, "expected a statement beginning"},
        {config + ";\n", 1, "instance[0] names no filter: 0 added so far"},
        {add + config + "\n", 2, "missing ';' after the call"},
        {add + config + "; junk\n", 2, "unexpected text after ';'"},
        {add + config + ";\n" + config + ";\n", 3, "configured already on line 2"},
        {"VirtualDub.video.filters.Add(3);\n", 1, "expected Clear() or Add(\"filter name\")"},
        {add + "VirtualDub.video.filters.instance[x].Config();\n", 2, "instance[N]."},
    };
    for (const auto &[text, line, reason] : cases) {
        std::string got = refusal([&] { readText(text); }, line);
        EXPECT_NE(got.find(reason), std::string::npos) << text << "\n -> " << got;
    }
}

TEST(JobScript, AHandWrittenJobRestoresInstancesThatSaveBackToAFile) {
    auto entries =
        readText("// logos\r\n"
                 "VirtualDub.video.filters.Add(\"Other\");\r\n"
                 "VirtualDub.video.filters.Clear();\n\n"
                 "  VirtualDub.video.filters.Add(\"" PENDRA_FILTER_NAME "\");\n"
                 "VirtualDub.video.filters.Add(\"" PENDRA_FILTER_NAME "\"); // no Config\n"
                 "VirtualDub.video.filters.instance[0].Config(\"D:\\\\l;o)\\\"s0.bmp\"" +
                 goodArgs + " ;\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].line, 7);
    EXPECT_TRUE(entries[1].call.empty());

    auto module = t::loadModule();
    FilterInstance first(t::pendraFilter(*module)), second(t::pendraFilter(*module));
    h::applyJobEntry(first, entries[0]);
    h::applyJobEntry(second, entries[1]);
    EXPECT_STREQ(first.dataAs<FilterSettings>().bitmapPath, "D:\\l;o)\"s0.bmp");
    EXPECT_EQ(first.dataAs<FilterSettings>().x, 600);
    second.dataAs<FilterSettings>().scene = 77;

    auto file = h::executableFolder() / "saved.job";
    h::writeJobFile(file, {h::jobEntryOf(first), h::jobEntryOf(second)});
    auto saved = h::readJobFile(file);
    std::filesystem::remove(file);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].call, entries[0].call);
    FilterInstance restored(t::pendraFilter(*module));
    h::applyJobEntry(restored, saved[1]);
    EXPECT_EQ(restored.dataAs<FilterSettings>().scene, 77);

    // An entry for another filter is refused naming its line.
    saved[1].filterName = "Other";
    std::string got = refusal([&] { h::applyJobEntry(restored, saved[1]); }, 6);
    EXPECT_NE(got.find("configures Other, not Pendra"), std::string::npos) << got;
    EXPECT_THROW(h::readJobFile(file), h::HostError);
}
