// Per-run values of the settings a new instance takes from the defaults file
// (the run settings of the module's table: noise, feather) and of the debug trace's file, without
// touching the installed defaults file: the run gets a defaults file of its own, the installed
// one's text with the run's values appended (the last occurrence of a key wins), and the module is
// pointed at it and at the trace file through its environment variables. With nothing set, nothing
// is pointed anywhere. The trace is an output like any other: openTrace() creates it under a
// temporary name beside the one the user gave, and the module writes it through the descriptor
// that created it (its name is /proc/self/fd/N), never through whatever the name has become; until
// then the module's trace goes nowhere. The noise's seed is always named (PENDRA_NOISE_SEED), so
// that the same input and settings give the same output. One RunDefaults serves every filter of a
// run: the variables are process-wide.
#pragma once

#include "cli/options.h"
#include "cli/output_file.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace pendra::cli {

// The variables the module reads; unset means its usual lookup.
inline constexpr const char *defaultsFileVariable = "PENDRA_DEFAULTS_FILE";
inline constexpr const char *traceFileVariable = "PENDRA_TRACE_FILE";
inline constexpr const char *noiseSeedVariable = "PENDRA_NOISE_SEED";

class RunDefaults {
  public:
    // `installed` is the defaults file the module would read by itself; an
    // empty path gives the run the module's built-in values.
    // Of `settings`, those that travel through the defaults file are the run's.
    RunDefaults(const std::filesystem::path &installed, const SettingOptions &settings,
                std::optional<std::string> traceFile, std::optional<unsigned> seed = std::nullopt);
    // Removes the run's file and restores the variables as they were.
    ~RunDefaults();
    RunDefaults(const RunDefaults &) = delete;
    RunDefaults &operator=(const RunDefaults &) = delete;

    // The run's own defaults file, or empty when the installed one serves.
    const std::filesystem::path &file() const { return file_; }
    // The defaults file a new instance reads: the run's own, else `installed`.
    const std::filesystem::path &effectiveFile() const {
        return file_.empty() ? installed_ : file_;
    }
    bool traceOn() const { return traceOn_; }
    // Creates the trace file asked for (once the outputs are checked) and
    // points the module at it; throws CliError naming it.
    void openTrace();
    // Gives the trace its name, once the run is complete; a run that fails
    // leaves none. Throws CliError naming it.
    void commitTrace();

    // The text of the run's defaults file: the installed text (may be empty)
    // followed by the run's pairs.
    static std::string text(const std::string &installedText, const SettingOptions &settings);

  private:
    std::filesystem::path installed_;
    std::filesystem::path file_;
    std::optional<std::string> oldDefaults_;
    std::optional<std::string> oldTrace_;
    std::optional<std::string> oldSeed_;
    std::optional<std::string> traceFile_;
    std::unique_ptr<OutputFile> trace_;
    bool setSeed_ = false;
    bool setDefaults_ = false;
    bool traceOn_ = false;
};

} // namespace pendra::cli
