#include "host/configure_job_win32.h"

#include "host/bmp_frame.h"
#include "host/filter_instance.h"
#include "host/job_script.h"
#include "host/loaded_module.h"
#include "host/module_library.h"
#include "host/preview_win32.h"

#include "pendra_version.h"
#include <algorithm>

namespace pendra::host {

namespace {

const char kPendraFilter[] = PENDRA_FILTER_NAME;

} // namespace

int configureJob(const std::filesystem::path &job, const std::filesystem::path &frame) {
    FrameBuffer picture = readFrameBitmap(frame);
    LoadedModule module(defaultModulePath());
    const RegisteredFilter &filter = module.filter(kPendraFilter);

    std::vector<JobEntry> entries;
    if (std::filesystem::exists(job))
        entries = readJobFile(job);
    auto entry = std::find_if(entries.begin(), entries.end(),
                              [](const JobEntry &e) { return e.filterName == kPendraFilter; });
    if (entry == entries.end()) {
        entries.push_back(JobEntry{kPendraFilter, {}, 0, {}});
        entry = entries.end() - 1;
    }

    FilterInstance instance(filter);
    if (!entry->call.empty())
        applyJobEntry(instance, *entry);
    int result;
    {
        PreviewWindow preview(instance, picture);
        instance.activation().ifp = &preview;
        result = instance.definition().configProc(&instance.activation(), &instance.functions(),
                                                  nullptr);
        instance.activation().ifp = nullptr;
    }
    if (result == 0) {
        *entry = jobEntryOf(instance);
        writeJobFile(job, entries);
    }
    instance.end(); // the images a Browse or the job's replay loaded
    return result == 0 ? 0 : 1;
}

} // namespace pendra::host
