#include "cli/commands.h"

#include "cli/config_line.h"
#include "cli/filter_session.h"
#include "cli/process_video.h"
#include "host/host_error.h"
#include "host/job_script.h"

#include <cstdio>

namespace pendra::cli {

namespace {

const char *filterName = "Pendra (0.4.1)";

// The Config call of the job's first Pendra filter.
std::string jobCall(const std::string &path) {
    std::vector<host::JobEntry> entries;
    try {
        entries = host::readJobFile(path);
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
    const host::JobEntry *found = nullptr;
    int count = 0;
    for (const host::JobEntry &e : entries)
        if (e.filterName == filterName && !e.call.empty()) {
            found = found ? found : &e;
            ++count;
        }
    if (!found)
        throw CliError(path + ": holds no settings of the " + filterName + " filter");
    if (count > 1)
        std::fprintf(stderr, "pendra: warning: %s: holds %d %s filters; the first one is used\n",
                     path.c_str(), count, filterName);
    return found->call;
}

} // namespace

// Options and job files reach the filter the same way: as one Config call,
// the job's (or a new instance's own) with the settings named as options
// laid over it, replayed on the instance.
void configureSession(const Options &o, FilterSession &session) {
    std::string base = o.job ? jobCall(*o.job) : session.configLine();
    std::optional<ConfigValues> values = parseConfigLine(base);
    if (!values)
        throw CliError((o.job ? *o.job : std::string("the filter")) +
                       ": not a Config call of the filter: " + base);
    applySettingOptions(o.settings, *values);
    if (values->logo.find('"') != std::string::npos)
        throw CliError(values->logo + ": a logo path may not contain a double quote");
    session.configure(formatConfigLine(*values));
    if (o.saveJob)
        session.saveJob(*o.saveJob);
}

namespace {

void warnDropped(const std::string &output, const ProcessSummary &summary) {
    for (const std::string &s : summary.droppedStreams)
        std::fprintf(stderr, "pendra: warning: %s: cannot hold the input's %s; left out\n",
                     output.c_str(), s.c_str());
    if (summary.skippedPackets > 0)
        std::fprintf(stderr, "pendra: warning: %d damaged video packets were skipped\n",
                     summary.skippedPackets);
}

} // namespace

int runProcess(const Options &o) {
    FilterSession session(o.run);
    configureSession(o, session);
    ProcessSummary summary = processVideo(o.input, o.output, {&session}, o.encoder);
    warnDropped(o.output, summary);
    return 0;
}

int runPreview(const Options &o) {
    FilterSession session(o.run);
    configureSession(o, session);
    previewFrame(o.input, *o.frame, o.output, session);
    return 0;
}

} // namespace pendra::cli
