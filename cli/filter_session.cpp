#include "cli/filter_session.h"

#include "cli/av_support.h"
#include "cli/logo_set_check.h"
#include "host/host_error.h"
#include "host/job_script.h"
#include "host/script_call.h"
#include "module/filter_settings.h"

#include "pendra_version.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace pendra::cli {

namespace {

const char *filterName = PENDRA_FILTER_NAME;

} // namespace

std::filesystem::path installedDefaultsFile() {
    if (const char *own = std::getenv(defaultsFileVariable); own && *own)
        return own;
    return host::executableFolder() / "plugins" / "pendra" / "Pendra.ini";
}

std::shared_ptr<host::LoadedModule> FilterSession::loadModule() {
    // The host loads a module once: jobs alive at the same time (the
    // configuration page's kept run and its Browse) share the load.
    static std::mutex mutex;
    static std::weak_ptr<host::LoadedModule> loaded;
    std::lock_guard<std::mutex> lock(mutex);
    if (std::shared_ptr<host::LoadedModule> module = loaded.lock())
        return module;
    try {
        auto module = std::make_shared<host::LoadedModule>(host::defaultModulePath());
        loaded = module;
        return module;
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
}

FilterSession::FilterSession(const RunDefaults &defaults,
                             std::shared_ptr<host::LoadedModule> module)
    : module_(std::move(module)) {
    try {
        instance_ = std::make_unique<host::FilterInstance>(module_->filter(filterName));
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
    if (defaults.traceOn()) // as the dialog's Debug Output box does
        instance_->dataAs<FilterSettings>().debugOutput = 1;
}

FilterSession::~FilterSession() {
    if (started_)
        instance_->end();
}

std::string FilterSession::configLine() {
    try {
        return host::scriptTextOf(*instance_);
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
}

void FilterSession::configure(const std::string &line) {
    try {
        host::runScriptLine(*instance_, line);
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
}

host::JobEntry FilterSession::jobEntry() {
    try {
        return host::jobEntryOf(*instance_);
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
}

void FilterSession::checkRectangle(int width, int height, const std::string &videoName) {
    const FilterSettings &s = instance_->dataAs<FilterSettings>();
    std::string logo = s.bitmapPath;
    LogoSetCheck set = checkLogoSet(logo);
    if (!set.problem.empty())
        throw CliError(set.problem);
    for (const std::string &w : set.warnings)
        std::fprintf(stderr, "pendra: warning: %s\n", w.c_str());
    rectangle_ = Rectangle{s.x, s.y, set.width, set.height};
    if (s.x < 0 || s.y < 0 || static_cast<int64_t>(s.x) + set.width > width ||
        static_cast<int64_t>(s.y) + set.height > height)
        throw CliError(videoName + ": the logo rectangle (" + std::to_string(set.width) + "x" +
                       std::to_string(set.height) + " at x " + std::to_string(s.x) + ", y " +
                       std::to_string(s.y) + ") does not fit in its " + std::to_string(width) +
                       "x" + std::to_string(height) + " picture");
}

void FilterSession::start(int width, int height) {
    instance_->setFrames(width, height);
    started_ = true; // the end callback follows every start
    if (instance_->start() != 0)
        throw CliError(logoSetProblem(instance_->dataAs<FilterSettings>().bitmapPath));
}

} // namespace pendra::cli
