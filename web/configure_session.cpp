#include "web/configure_session.h"

#include "cli/config_line.h"
#include "cli/filter_job.h"
#include "cli/logo_set_check.h"
#include "cli/output_check.h"
#include "cli/picture_writer.h"
#include "logo/browse_rules.h"
#include "web/settings_form.h"

#include <climits>
#include <vector>

namespace pendra::web {

using nlohmann::json;

namespace {

// The job file Save writes: the one named, else IN's name + ".job" beside IN.
std::filesystem::path jobPathFor(const cli::Options &o) {
    if (o.job)
        return *o.job;
    std::filesystem::path input(o.input);
    return input.parent_path() / (input.stem().string() + ".job");
}

std::string png(const host::FrameBuffer &picture) {
    return cli::encodePicture("frame.png", picture);
}

} // namespace

ConfigureSession::ConfigureSession(const cli::Options &options)
    : options_(options), jobPath_(jobPathFor(options)),
      mayReplaceJob_(options.job.has_value() || options.overwrite), renderer_(options.input),
      analysis_(options.input, moduleLock_) {
    cli::Options o = options_;
    std::error_code error;
    if (o.job && !std::filesystem::exists(*o.job, error))
        o.job.reset();
    // A new filter's own values, from the defaults file: the page's Defaults
    // button, and the start when there is no set yet.
    cli::Options fresh = o;
    fresh.job.reset();
    fresh.settings = {};
    json defaults;
    {
        cli::FilterJob job(fresh);
        defaults = describe(job, fresh)["settings"];
        defaults["logo"] = "";
    }
    json settings = defaults, set;
    if (o.job || o.settings.logo) {
        cli::FilterJob job(o);
        if (job.chain().size() != 1)
            throw cli::CliError(*o.job + ": holds " + std::to_string(job.chain().size()) +
                                " filters; the page edits a job of one");
        json described = describe(job, o);
        settings = described["settings"];
        set = described["set"];
    }
    state_ = {{"input", std::filesystem::absolute(options_.input).string()},
              {"width", renderer_.source().width()},
              {"height", renderer_.source().height()},
              {"frames", renderer_.source().frames()},
              {"frame", 0},
              {"rate", renderer_.source().frameRate()},
              {"job", std::filesystem::absolute(jobPath_).string()},
              {"fields", formFields()},
              {"settings", settings},
              {"defaults", defaults},
              {"set", set}};
}

json ConfigureSession::state() const {
    std::lock_guard<std::mutex> lock(stateLock_);
    return state_;
}

json ConfigureSession::describe(cli::FilterJob &job, const cli::Options &o) const {
    std::optional<cli::ConfigValues> values = cli::parseConfigLine(job.entries().at(0).call);
    if (!values)
        throw cli::CliError("the filter's settings could not be read back");
    FilterSettings &record = job.chain().at(0)->instance().dataAs<FilterSettings>();
    json settings = settingsJson(*values);
    settings.update(runSettingsJson(record));
    settings["seed"] = o.run.seed;
    json set = values->logo.empty() ? json() : setReadouts(record);
    return {{"settings", settings}, {"set", set}};
}

std::string ConfigureSession::beforePng(int64_t number, std::optional<PageOrder> order) {
    const uint64_t ticket = beforeOrder_.take(order);
    auto overtaken = [&] { return beforeOrder_.overtaken(ticket); };
    return png(renderer_.before(number, overtaken));
}

cli::Options ConfigureSession::pageOptions(const json &settings) const {
    cli::Options o = optionsFromJson(options_.input, settings);
    if (o.settings.logo)
        if (std::string problem = cli::irregularSetFile(*o.settings.logo); !problem.empty())
            throw cli::CliError(problem);
    return o;
}

std::string ConfigureSession::afterPng(int64_t number, const json &settings,
                                       std::optional<PageOrder> order) {
    const uint64_t ticket = afterOrder_.take(order);
    auto overtaken = [&] { return afterOrder_.overtaken(ticket); };
    cli::Options o = pageOptions(settings);
    std::lock_guard<std::mutex> lock(moduleLock_);
    if (overtaken())
        throw Overtaken{};
    // Without a set there is no filter: the picture as decoded.
    std::string picture;
    if (o.settings.logo)
        picture = png(renderer_.after(
            number, {settings.dump(), [&o] { return std::make_unique<cli::FilterJob>(o); }},
            overtaken));
    else
        picture = png(renderer_.before(number, overtaken));
    std::lock_guard<std::mutex> keep(stateLock_);
    state_["settings"] = settings;
    state_["frame"] = number;
    return picture;
}

json ConfigureSession::browse(const json &settings) {
    // Every setting given is checked, also those that Browse replaces.
    const std::optional<std::string> named =
        optionsFromJson(options_.input, settings).settings.logo;
    if (!named || named->empty())
        throw cli::CliError("name the bitmap set: its capture over black or its mask", 2);
    const std::string logo = *named;
    if (std::string problem = cli::checkLogoSet(logo).problem; !problem.empty())
        return {{"problem", problem}};
    // As Browse: a position written into the name wins, alpha follows the capture.
    json given = settings;
    int position = 0;
    if (positionFromName(logo.c_str(), "_x_", INT_MAX, &position))
        given.erase("x");
    if (positionFromName(logo.c_str(), "_y_", INT_MAX, &position))
        given.erase("y");
    given.erase("alpha");
    cli::Options o = optionsFromJson(options_.input, given);
    o.automaticSettings = true;
    std::lock_guard<std::mutex> lock(moduleLock_);
    cli::FilterJob job(o);
    json described = describe(job, o);
    std::lock_guard<std::mutex> keep(stateLock_);
    state_["settings"] = described["settings"];
    state_["set"] = described["set"];
    return {{"settings", described["settings"]}, {"set", described["set"]}};
}

std::string ConfigureSession::save(const json &settings) {
    cli::Options o = pageOptions(settings);
    if (!o.settings.logo)
        throw cli::CliError("choose the bitmap set before saving: a job needs one", 2);
    int width = 0, height = 0;
    {
        std::lock_guard<std::mutex> keep(stateLock_);
        width = state_["width"];
        height = state_["height"];
    }
    std::lock_guard<std::mutex> lock(moduleLock_);
    cli::FilterJob job(o);
    // As pendra process checks a job before its run (the set as the loader
    // reads it, the rectangle inside the picture): a job saved is one that runs.
    for (cli::FilterSession *session : job.chain())
        session->checkRectangle(width, height, options_.input);
    cli::checkOutputFile(jobPath_, job.inputFiles(options_.input), mayReplaceJob_);
    job.save(jobPath_.string());
    mayReplaceJob_ = true; // the file is this session's own now
    return std::filesystem::absolute(jobPath_).string();
}

} // namespace pendra::web
