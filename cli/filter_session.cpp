#include "cli/filter_session.h"

#include "cli/av_support.h"
#include "cli/bmp_file.h"
#include "cli/output_file.h"
#include "host/host_error.h"
#include "host/job_script.h"
#include "host/script_call.h"
#include "module/filter_settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pendra::cli {

namespace {

const char *filterName = "Pendra (0.4.1)";

// The defaults file the module reads when the command points it nowhere.
std::filesystem::path installedDefaults() {
    if (const char *own = std::getenv(defaultsFileVariable); own && *own)
        return own;
    return host::executableFolder() / "plugins" / "pendra" / "Pendra.ini";
}

uint32_t read32(const unsigned char *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A bitmap's fault as the loader would meet it, or "" when it looks sound.
// `need` is the pixel area (width, height) the file must cover.
std::string bitmapProblem(const std::string &path, int needWidth, int needHeight,
                          int *width = nullptr, int *height = nullptr) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return "cannot open: " + systemErrorText(errno);
    auto size = static_cast<uint64_t>(in.tellg());
    unsigned char h[34] = {};
    in.seekg(0);
    if (!in.read(reinterpret_cast<char *>(h), sizeof h) || h[0] != 'B' || h[1] != 'M')
        return "not a Windows bitmap";
    auto w = static_cast<int32_t>(read32(h + 18));
    auto ht = static_cast<int32_t>(read32(h + 22));
    unsigned bits = h[28] | (h[29] << 8);
    if (bits != 24 || read32(h + 30) != 0 || w <= 0 || ht <= 0)
        return "not an uncompressed, bottom-up 24-bit bitmap";
    if (width)
        *width = w;
    if (height)
        *height = ht;
    int useW = needWidth > 0 ? needWidth : w, useH = needHeight > 0 ? needHeight : ht;
    uint64_t stride = (static_cast<uint64_t>(useW) * 3 + 3) & ~uint64_t{3};
    if (read32(h + 10) + stride * static_cast<uint64_t>(useH) >
        std::min<uint64_t>(size, read32(h + 2)))
        return needWidth > 0 ? "smaller than the logo over black" : "cut short";
    return "";
}

} // namespace

std::string logoSetProblem(const std::string &path) {
    if (path.empty())
        return "no logo given: name its bitmap with --logo or use a job file with --job";
    const std::string naming =
        ": the name must end in 0 (the logo over black) or 2 (the interpolate mask) "
        "before a three-letter extension, as in logo0.bmp";
    if (path.size() < 5 || path.find('.') == std::string::npos)
        return path + naming;
    char digit = path[path.size() - 5];
    if (digit != '0' && digit != '2')
        return path + naming;
    int w = 0, h = 0;
    if (std::string p = bitmapProblem(path, 0, 0, &w, &h); !p.empty())
        return path + ": " + p;
    if (digit == '0')
        for (char companion : {'1', '2'}) {
            std::string other = path;
            other[other.size() - 5] = companion;
            if (!std::filesystem::exists(other))
                continue;
            if (std::string p = bitmapProblem(other, w, h); !p.empty())
                return other + ": " + p;
        }
    return path + ": the filter refused this logo set: every pixel the interpolate mask marks "
                  "needs clean pixels (the key colour of its bottom-left pixel) between it "
                  "and each edge of the bitmap";
}

FilterSession::FilterSession(const RunOptions &run) {
    try {
        defaults_ =
            std::make_unique<RunDefaults>(installedDefaults(), run.noise, run.feather, run.trace);
        module_ = std::make_unique<host::LoadedModule>(host::defaultModulePath());
        instance_ = std::make_unique<host::FilterInstance>(module_->filter(filterName));
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
    if (defaults_->traceOn()) {
        // As the dialog's Debug Output box does.
        instance_->dataAs<FilterSettings>().debugOutput = 1;
        std::ofstream probe(*run.trace, std::ios::app);
        if (!probe)
            throw CliError(*run.trace + ": cannot write: " + systemErrorText(errno));
    }
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

void FilterSession::saveJob(const std::string &path) {
    std::ostringstream text;
    try {
        host::writeJobScript(text, {host::jobEntryOf(*instance_)});
    } catch (const host::HostError &e) {
        throw CliError(e.what());
    }
    writeWholeFile(path, text.str());
}

void FilterSession::checkRectangle(int width, int height, const std::string &videoName) {
    const FilterSettings &s = instance_->dataAs<FilterSettings>();
    std::string logo = s.bitmapPath;
    std::optional<BmpSize> size = readBmpSize(logo);
    if (!size)
        throw CliError(logoSetProblem(logo));
    rectangle_ = Rectangle{s.x, s.y, size->width, size->height};
    if (s.x < 0 || s.y < 0 || size->width <= 0 || size->height <= 0 ||
        static_cast<int64_t>(s.x) + size->width > width ||
        static_cast<int64_t>(s.y) + size->height > height)
        throw CliError(videoName + ": the logo rectangle (" + std::to_string(size->width) + "x" +
                       std::to_string(size->height) + " at x " + std::to_string(s.x) + ", y " +
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
