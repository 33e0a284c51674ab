// Fuzz target: the host's reading of script calls and job files, and the
// module's Config replay. The input is read both as one script call and as a
// whole job file; the calls are replayed on real instances of the module,
// whose working folder holds a logo set that paths may name.
//
// Properties besides the sanitizers' own: the host refuses a text only with
// its own errors; a job it reads and writes back reads back the same; and an
// instance's saved call, replayed on a fresh instance, saves the same text
// again (a replay restores everything the text carries).
#include "host/filter_instance.h"
#include "host/job_script.h"
#include "host/module_library.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/bmp_file.h"

#include "pendra_version.h"
#include <memory>
#include <sstream>

using namespace pendra::fuzz;
namespace host = pendra::host;

namespace {

std::unique_ptr<host::LoadedModule> module;
const host::RegisteredFilter *filter = nullptr;

// The instance's text, replayed on a fresh instance, must come back unchanged.
void checkReplaySavesTheSameText(host::FilterInstance &instance) {
    const std::string text = host::scriptTextOf(instance);
    host::FilterInstance fresh(*filter);
    host::runScriptLine(fresh, text);
    FUZZ_CHECK(host::scriptTextOf(fresh) == text);
}

void replayOneCall(std::string_view text) {
    host::ScriptCall call;
    try {
        call = host::parseScriptCall(text);
    } catch (const host::ScriptSyntaxError &) {
        return;
    }
    host::FilterInstance target(*filter);
    try {
        host::runScriptCall(target, call);
    } catch (const host::ScriptSyntaxError &) {
        return;
    }
    checkReplaySavesTheSameText(target);
}

bool sameEntries(const std::vector<host::JobEntry> &a, const std::vector<host::JobEntry> &b) {
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].filterName != b[k].filterName || a[k].call != b[k].call)
            return false;
    return true;
}

void replayJob(const std::string &text) {
    std::vector<host::JobEntry> entries;
    try {
        std::istringstream in(text);
        entries = host::readJobScript(in);
    } catch (const host::ScriptError &) {
        return;
    }
    std::ostringstream out;
    bool written = true;
    try {
        host::writeJobScript(out, entries);
    } catch (const host::HostError &) {
        written = false; // a name or call the file cannot hold is refused
    }
    if (written) {
        std::istringstream back(out.str());
        FUZZ_CHECK(sameEntries(host::readJobScript(back), entries));
    }
    for (const host::JobEntry &entry : entries) {
        if (entry.filterName != filter->definition.name || entry.call.empty())
            continue;
        host::FilterInstance target(*filter);
        try {
            host::applyJobEntry(target, entry);
        } catch (const host::ScriptError &) {
            continue;
        }
        checkReplaySavesTheSameText(target);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    namespace t = pendra::test;
    // Relative paths in a call name files here.
    std::filesystem::path folder = sandbox("script");
    std::filesystem::current_path(folder);
    t::BmpImage black = t::BmpImage::filled(5, 4, 0x000000);
    black.at(1, 2) = 0x606060;
    t::writeBmp(folder / "logo0.bmp", black);
    t::writeBmp(folder / "logo1.bmp", t::BmpImage::filled(5, 4, 0xFFFFFF));
    t::writeBmp(folder / "mask2.bmp", black);
    module = std::make_unique<host::LoadedModule>(host::defaultModulePath());
    filter = &module->filter(PENDRA_FILTER_NAME);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    replayOneCall(text);
    replayJob(text);
    return 0;
}
