#include "cli/run_defaults.h"

#include "cli/av_support.h"
#include "defaults/process_defaults.h"
#include "module/user_settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace pendra::cli {

namespace {

std::optional<std::string> currentValue(const char *name) {
    const char *v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

void restore(const char *name, const std::optional<std::string> &value) {
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

} // namespace

std::string RunDefaults::text(const std::string &installedText, const SettingOptions &settings) {
    std::string pairs;
    for (const auto &[setting, value] : settings.given(SETTING_RUN))
        pairs += std::string(defaultKeyName(static_cast<DefaultKey>(setting->defaultKey))) + "\t" +
                 std::to_string(value) + "\n";
    std::string out = installedText;
    // A line end first, in case the installed file's last line has none.
    if (!pairs.empty() && !out.empty() && out.back() != '\n')
        out += '\n';
    return out + pairs;
}

RunDefaults::RunDefaults(const std::filesystem::path &installed, const SettingOptions &settings,
                         std::optional<std::string> traceFile, std::optional<unsigned> seed)
    : installed_(installed), oldDefaults_(currentValue(defaultsFileVariable)),
      oldTrace_(currentValue(traceFileVariable)), oldSeed_(currentValue(noiseSeedVariable)),
      traceFile_(std::move(traceFile)) {
    if (!settings.given(SETTING_RUN).empty() || installed.empty()) {
        std::string installedText;
        std::ifstream in(installed, std::ios::binary);
        if (!installed.empty() && in) {
            std::ostringstream all;
            all << in.rdbuf();
            installedText = all.str();
        }
        std::string folder = std::filesystem::temp_directory_path().string();
        std::string pattern = folder + "/pendra-defaults-XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd < 0)
            throw CliError(folder +
                           ": cannot write the run's defaults file: " + systemErrorText(errno));
        file_ = pattern;
        std::string content = text(installedText, settings);
        bool ok =
            ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        ok = ::close(fd) == 0 && ok;
        if (!ok) {
            std::filesystem::remove(file_);
            throw CliError(file_.string() + ": cannot write the run's defaults file");
        }
        setenv(defaultsFileVariable, file_.c_str(), 1);
        setDefaults_ = true;
    }
    if (seed) {
        setenv(noiseSeedVariable, std::to_string(*seed).c_str(), 1);
        setSeed_ = true;
    }
    if (traceFile_) {
        // Never the module's usual file in the shared temporary folder.
        setenv(traceFileVariable, "/dev/null", 1);
        traceOn_ = true;
    }
}

void RunDefaults::openTrace() {
    if (!traceFile_ || trace_)
        return;
    trace_ = std::make_unique<OutputFile>(*traceFile_);
    // The module opens the trace afresh for each frame; through /proc it
    // reaches the file created here, whatever becomes of its name.
    const std::string own = "/proc/self/fd/" + std::to_string(trace_->fd());
    const std::string name = ::access(own.c_str(), W_OK) == 0
                                 ? own
                                 : std::filesystem::absolute(trace_->temporaryPath()).string();
    setenv(traceFileVariable, name.c_str(), 1);
}

void RunDefaults::commitTrace() {
    if (!trace_)
        return;
    // The module's file goes nowhere again before this one takes its name.
    setenv(traceFileVariable, "/dev/null", 1);
    trace_->commit();
}

RunDefaults::~RunDefaults() {
    if (setDefaults_) {
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
        restore(defaultsFileVariable, oldDefaults_);
    }
    if (traceOn_)
        restore(traceFileVariable, oldTrace_);
    if (setSeed_)
        restore(noiseSeedVariable, oldSeed_);
    setDefaults_ = traceOn_ = setSeed_ = false;
}

} // namespace pendra::cli
