#include "cli/filter_job.h"

#include "cli/config_line.h"
#include "cli/job_run_options.h"
#include "cli/logo_set_check.h"
#include "cli/output_file.h"
#include "defaults/process_defaults.h"
#include "host/host_error.h"
#include "host/job_script.h"
#include "logo/browse_rules.h"
#include "module/filter_settings.h"
#include "module/user_settings.h"

#include "pendra_version.h"
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

namespace pendra::cli {

namespace {

const char *filterName = PENDRA_FILTER_NAME;

// The Config calls of the job's Pendra filters, in order.
std::vector<std::string> jobCalls(const std::string &path) {
    std::vector<host::JobEntry> entries;
    try {
        entries = host::readJobFile(path);
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
    std::vector<std::string> calls;
    for (const host::JobEntry &e : entries)
        if (e.filterName == filterName && !e.call.empty())
            calls.push_back(e.call);
    if (calls.empty())
        throw CliError(path + ": holds no settings of the " + filterName + " filter");
    return calls;
}

// Whether the options set anything a job's Config call holds.
bool anySavedSetting(const SettingOptions &s) {
    return s.logo || !s.given(SETTING_SAVED).empty();
}

// Whether the user chose anything about how the logo is taken out, rather
// than only where and when it lies.
bool anyTuning(const SettingOptions &s) {
    static const std::set<std::string> placement = {"x", "y", "start", "end", "fadeIn", "fadeOut"};
    for (const auto &[name, value] : s.values)
        if (!placement.count(name))
            return true;
    return false;
}

bool overBlackAndWhite(const std::string &logo) {
    return logo.size() >= 5 && logo[logo.size() - 5] == '0' &&
           std::filesystem::exists(logoSetMember(logo, '1'));
}

} // namespace

FilterJob::FilterJob(const Options &o) {
    std::vector<std::string> calls = o.job ? jobCalls(*o.job) : std::vector<std::string>{""};
    if (calls.size() > 1 && anySavedSetting(o.settings))
        throw CliError(*o.job + ": holds " + std::to_string(calls.size()) + " " + filterName +
                           " filters, so settings given as options would be ambiguous; change "
                           "them in the job file (--noise, --feather, --seed and --trace apply "
                           "to every filter)",
                       2);
    if (o.job)
        job_ = *o.job;

    // Pure un-blending is the command's choice for captures over black and
    // white; the module's own defaults stay what they are.
    SettingOptions settings = o.settings;
    if (o.job)
        takeRunOptions(*o.job, settings);
    const bool automatic = o.automaticSettings && !o.job && settings.logo;
    const bool pure = automatic && !anyTuning(o.settings) && overBlackAndWhite(*settings.logo);
    if (pure) {
        settings.set("bb", 0);
        settings.set("noiseL", 0);
    }
    settings_ = settings;
    defaults_ = std::make_unique<RunDefaults>(o.run.builtInDefaults ? std::filesystem::path()
                                                                    : installedDefaultsFile(),
                                              settings, o.run.trace, o.run.seed);

    std::shared_ptr<host::LoadedModule> module = FilterSession::loadModule();
    for (const std::string &call : calls) {
        auto session = std::make_unique<FilterSession>(*defaults_, module);
        const std::string base = call.empty() ? session->configLine() : call;
        std::optional<ConfigValues> values = parseConfigLine(base);
        if (!values)
            throw CliError((o.job ? *o.job : std::string("the filter")) +
                           ": not a Config call of the filter: " + base);
        applySettingOptions(settings, *values);
        if (values->logo.find('"') != std::string::npos)
            throw CliError(values->logo + ": a logo path may not contain a double quote");

        // As Browse: a position written into the logo's name.
        bool fromName = false;
        if (settings.logo) {
            bool haveX = settings.get("x").has_value(), haveY = settings.get("y").has_value();
            if (!haveX &&
                positionFromName(values->logo.c_str(), "_x_", INT_MAX, &values->numbers.x))
                haveX = fromName = true;
            if (!haveY &&
                positionFromName(values->logo.c_str(), "_y_", INT_MAX, &values->numbers.y))
                haveY = fromName = true;
            if (automatic && (!haveX || !haveY)) {
                // A set that cannot be read says so first: that is what to fix.
                if (std::string problem = checkLogoSet(values->logo).problem; !problem.empty())
                    throw CliError(problem);
                throw CliError(*settings.logo +
                                   ": where does the logo lie? Give --x and --y, or name the "
                                   "capture with its position, as in logo_x_504_y_20_0.bmp",
                               2);
            }
        }
        // The filter opens the set as it is configured: a FIFO would block it.
        if (std::string irregular = irregularSetFile(values->logo); !irregular.empty())
            throw CliError(irregular);
        session->configure(formatConfigLine(*values));

        std::string alphaText;
        if (automatic && !settings.get("alpha")) {
            // The replayed call has loaded the set; derive alpha from it with the
            // defaults the instance read.
            resetProcessDefaults();
            readDefaultsFile(defaults_->effectiveFile().c_str());
            values->numbers.alpha = automaticAlpha(&session->instance().dataAs<FilterSettings>());
            alphaText = "alpha " + std::to_string(values->numbers.alpha) + " (from the capture)";
            session->configure(formatConfigLine(*values));
        }
        if (fromName || !alphaText.empty()) {
            chosen_ = "settings: x " + std::to_string(values->numbers.x) + ", y " +
                      std::to_string(values->numbers.y) + (fromName ? " (from the name)" : "");
            if (!alphaText.empty())
                chosen_ += ", " + alphaText;
            if (pure)
                chosen_ += ", bitmap blur 0, noise 0 (un-blending the captures over black and "
                           "white)";
        }
        ranges_.push_back({values->numbers.start, values->numbers.end});
        logos_.push_back(values->logo);
        sessions_.push_back(std::move(session));
    }
    for (size_t i = 0; i < ranges_.size(); ++i)
        if (ranges_[i].end != 0 && ranges_[i].start > ranges_[i].end)
            std::fprintf(stderr,
                         "pendra: warning: %sthe range starts at frame %d, after its end at "
                         "frame %d: no frame will be filtered\n",
                         ranges_.size() > 1 ? ("filter " + std::to_string(i + 1) + ": ").c_str()
                                            : "",
                         ranges_[i].start, ranges_[i].end);
}

FilterChain FilterJob::chain() const {
    FilterChain chain;
    for (const auto &s : sessions_)
        chain.push_back(s.get());
    return chain;
}

std::vector<std::filesystem::path> FilterJob::inputFiles(const std::string &video) const {
    std::vector<std::filesystem::path> files{video};
    if (!job_.empty())
        files.push_back(job_);
    for (const std::string &logo : logos_)
        for (char digit : {'0', '1', '2'})
            files.push_back(logoSetMember(logo, digit));
    return files;
}

std::vector<host::JobEntry> FilterJob::entries() {
    std::vector<host::JobEntry> entries;
    for (const auto &s : sessions_)
        entries.push_back(s->jobEntry());
    return entries;
}

void FilterJob::save(const std::string &path) {
    std::ostringstream text;
    try {
        host::writeJobScript(text, entries());
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
    writeWholeFile(path, text.str() + runOptionsLine(settings_));
}

bool FilterJob::inRange(int64_t number) const {
    for (const Range &r : ranges_)
        if (number >= r.start && (r.end == 0 || number <= r.end))
            return true;
    return false;
}

int64_t FilterJob::firstFrame() const {
    int64_t first = INT64_MAX;
    for (const Range &r : ranges_)
        first = std::min<int64_t>(first, r.start);
    return first;
}

void FilterJob::warnIfNothingFiltered(int64_t frames, const std::string &input) const {
    for (const Range &r : ranges_)
        if (r.start < frames && (r.end == 0 || r.start <= r.end))
            return;
    bool reversed = false;
    for (const Range &r : ranges_)
        reversed = reversed || (r.end != 0 && r.start > r.end);
    if (!reversed) // a reversed range was reported when it was set
        std::fprintf(stderr,
                     "pendra: warning: %s: the range starts past its last frame (%lld, counting "
                     "from 0): no frame was filtered\n",
                     input.c_str(), static_cast<long long>(frames - 1));
}

} // namespace pendra::cli
