// The module's exports and its filter definition, through the real entry points.
#include "host/filter_instance.h"
#include "host/host_error.h"
#include "host/module_library.h"
#include "module/filter_settings.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include "pendra_version.h"
#include <cstring>
#include <vector>

using pendra::host::ModuleLibrary;

namespace {

// A host table that records what the module asks of it.
struct Recorder {
    bool refuse = false;
    int addCalls = 0;
    FilterModule *addedModule = nullptr;
    int addedLength = 0;
    FilterDefinition copy{};
    std::vector<FilterDefinition *> removed;
};
Recorder recorder;

FilterDefinition *VDCDECL recordAdd(FilterModule *fm, FilterDefinition *fd, int length) {
    ++recorder.addCalls;
    recorder.addedModule = fm;
    recorder.addedLength = length;
    if (recorder.refuse)
        return nullptr;
    std::memcpy(&recorder.copy, fd, sizeof recorder.copy);
    return &recorder.copy;
}

void VDCDECL recordRemove(FilterDefinition *fd) {
    recorder.removed.push_back(fd);
}

FilterFunctions makeRecordingTable() {
    FilterFunctions table{};
    table.addFilter = recordAdd;
    table.removeFilter = recordRemove;
    return table;
}
const FilterFunctions recordingTable = makeRecordingTable();

struct Exports {
    FilterModuleInitProc init;
    FilterModuleDeinitProc deinit;
};

Exports exportsOf(const ModuleLibrary &library) {
    return {
        reinterpret_cast<FilterModuleInitProc>(library.symbol("VirtualdubFilterModuleInit2")),
        reinterpret_cast<FilterModuleDeinitProc>(library.symbol("VirtualdubFilterModuleDeinit"))};
}

} // namespace

TEST(ModuleExports, RefusedRegistrationFailsAndLeavesVersionsUnwritten) {
    ModuleLibrary library(pendra::test::modulePath());
    Exports entry = exportsOf(library);
    ASSERT_NE(entry.init, nullptr);
    ASSERT_NE(entry.deinit, nullptr);

    recorder = Recorder{};
    recorder.refuse = true;
    FilterModule fm{};
    int version = -7, compatible = -9;
    EXPECT_EQ(entry.init(&fm, &recordingTable, version, compatible), 1);
    EXPECT_EQ(version, -7);
    EXPECT_EQ(compatible, -9);
    EXPECT_EQ(recorder.addCalls, 1);
}

TEST(ModuleExports, RegistersOnceAndRemovesTheHandleAtDeinit) {
    ModuleLibrary library(pendra::test::modulePath());
    Exports entry = exportsOf(library);

    recorder = Recorder{};
    FilterModule fm{};
    int version = 0, compatible = 0;
    ASSERT_EQ(entry.init(&fm, &recordingTable, version, compatible), 0);
    EXPECT_EQ(version, 6);
    EXPECT_EQ(compatible, 4);
    EXPECT_EQ(recorder.addCalls, 1);
    EXPECT_EQ(recorder.addedModule, &fm);
    EXPECT_EQ(recorder.addedLength, static_cast<int>(sizeof(FilterDefinition)));
#if defined(_WIN32) && !defined(_WIN64)
    EXPECT_EQ(recorder.addedLength, 72);
#endif

    entry.deinit(&fm, &recordingTable);
    ASSERT_EQ(recorder.removed.size(), 1u);
    EXPECT_EQ(recorder.removed[0], &recorder.copy);
}

TEST(FilterDefinition, DescribesPendraThroughTheHost) {
    auto module = pendra::test::loadModule();
    ASSERT_EQ(module->filters().size(), 1u);
    const FilterDefinition &def = pendra::test::pendraFilter(*module).definition;
    EXPECT_STREQ(def.name, PENDRA_FILTER_NAME);
    EXPECT_STREQ(def.desc, "That logo has ceased to be!");
    EXPECT_STREQ(def.maker, "Ondrel");
    EXPECT_EQ(def.inst_data_size, static_cast<int>(sizeof(FilterSettings)));
    EXPECT_EQ(def.private_data, nullptr);
    EXPECT_EQ(def.deinitProc, nullptr);
    EXPECT_EQ(def.paramProc, nullptr);
    EXPECT_NE(def.initProc, nullptr);
    EXPECT_NE(def.runProc, nullptr);
    EXPECT_NE(def.configProc, nullptr);
    EXPECT_NE(def.stringProc, nullptr);
    EXPECT_NE(def.startProc, nullptr);
    EXPECT_NE(def.endProc, nullptr);
    EXPECT_NE(def.fssProc, nullptr);
    EXPECT_EQ(module->version(), 6);
    EXPECT_EQ(module->compatibleVersion(), 4);

    ASSERT_NE(def.script_obj, nullptr);
    EXPECT_EQ(def.script_obj->lookup, nullptr);
    EXPECT_EQ(def.script_obj->obj_list, nullptr);
    const ScriptFunctionDef *fn = def.script_obj->func_list;
    ASSERT_NE(fn, nullptr);
    EXPECT_NE(fn[0].func_ptr, nullptr);
    EXPECT_STREQ(fn[0].name, "Config");
    EXPECT_STREQ(fn[0].arg_list, "0siiiiiiiiiiiiii");
    EXPECT_EQ(fn[1].func_ptr, nullptr);
    EXPECT_EQ(fn[1].name, nullptr);
    EXPECT_EQ(fn[1].arg_list, nullptr);
}

TEST(FilterDefinition, StringCallbackLeavesTheBufferAlone) {
    auto module = pendra::test::loadModule();
    pendra::host::FilterInstance instance(pendra::test::pendraFilter(*module));
    char buffer[128];
    std::memset(buffer, 'q', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    char before[sizeof buffer];
    std::memcpy(before, buffer, sizeof buffer);
    instance.definition().stringProc(&instance.activation(), &instance.functions(), buffer);
    EXPECT_EQ(std::memcmp(buffer, before, sizeof buffer), 0);
}

// The host's refusal of a file, or an empty text when it loads.
std::string refusalOf(const std::filesystem::path &file) {
    try {
        pendra::host::LoadedModule module(file);
    } catch (const pendra::host::HostError &e) {
        return e.what();
    }
    return {};
}

TEST(HostLoader, RefusesFilesThatAreNotModulesNamingFileAndCause) {
    const auto folder = pendra::host::executableFolder();
    const auto bogus = folder / "not-a-module.vdf";
    {
        FILE *f = std::fopen(bogus.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("this is text, not a module", f);
        std::fclose(f);
    }
    const std::pair<std::filesystem::path, const char *> cases[] = {
        {bogus, "cannot load module"},
        {folder / "missing.vdf", "cannot load module"},
        {folder / "partial_init_only.vdf",
         "not a filter module (missing VirtualdubFilterModuleDeinit)"},
        {folder / "partial_refuses.vdf", "the module's init entry failed"},
    };
    for (const auto &[file, cause] : cases) {
        const std::string refusal = refusalOf(file);
        EXPECT_NE(refusal.find(file.string()), std::string::npos) << refusal;
        EXPECT_NE(refusal.find(cause), std::string::npos) << refusal;
    }
    std::filesystem::remove(bogus);
}

TEST(HostLoader, RefusesALibraryWithoutTheExports) {
#if defined(_WIN32)
    const char *library = "kernel32.dll";
#else
    const char *library = "libm.so.6";
#endif
    try {
        pendra::host::LoadedModule module(library);
        FAIL() << "a library without the exports was accepted";
    } catch (const pendra::host::HostError &e) {
        EXPECT_NE(std::string(e.what()).find("not a filter module"), std::string::npos) << e.what();
    }
}

TEST(HostLoader, RefusesToLoadOneModuleTwiceAtOnce) {
    auto first = pendra::test::loadModule();
    EXPECT_THROW(pendra::test::loadModule(), pendra::host::HostError);
    // The refused load must not have disturbed the first one's registration.
    EXPECT_EQ(first->filters().size(), 1u);
    first.reset();
    auto again = pendra::test::loadModule();
    EXPECT_EQ(again->filters().size(), 1u);
}
