// The command line: which command, its files, and the settings named in the
// user's words. Parsing only; nothing here touches a file.
#pragma once

#include "cli/video_writer.h"
#include "module/user_settings.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pendra::cli {

// The filter's settings given as options, each only when given: the bitmap
// set, and the integers by the name the filter's record gives them (x, t1,
// bb, noiseL, ...; the module's table of user settings lists them).
struct SettingOptions {
    std::optional<std::string> logo;
    std::map<std::string, int> values;

    std::optional<int> get(const std::string &name) const {
        auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional<int>(found->second);
    }
    // Sets one by its record name; a name the table lacks is our own mistake
    // (std::logic_error), never silently a setting that goes nowhere.
    void set(const std::string &name, int value);
    // Those given of one use, in the table's order, with their values.
    std::vector<std::pair<const UserSetting *, int>> given(SettingUse use) const;
};

// How the run treats the filter, beyond its settings.
struct RunOptions {
    std::optional<std::string> trace;
    unsigned seed = 1;            // the noise's seed: the same output for the same input
    bool builtInDefaults = false; // ignore the installed defaults file (the demo's runs)
};

enum class Command { Help, Process, Preview, Demo, Analyze, Configure, Batch };

// A rectangle given as X,Y,W,H.
struct RectOption {
    int x = 0, y = 0, width = 0, height = 0;
};

// pendra batch: a manifest of rows, run here or submitted to Slurm.
struct BatchOptions {
    bool status = false; // pendra batch status MANIFEST
    std::optional<int> workers;
    std::optional<std::string> report;
    bool slurm = false;
    std::optional<std::string> partition, time;
    std::optional<int> maxRunning;
    std::vector<std::string> sbatchOptions; // after "--"
    std::optional<int> row;                 // hidden: run this one row (a worker)
    bool collect = false;                   // hidden: write the report after a Slurm array
};

struct Options {
    Command command = Command::Help;
    std::string helpTopic; // the command whose help was asked for; empty for the overview
    std::string input, output;
    std::optional<std::string> job, saveJob;
    SettingOptions settings;
    RunOptions run;
    EncoderChoice encoder;
    std::optional<int64_t> frame;   // preview
    std::string folder;             // demo
    std::optional<RectOption> rect; // analyze, process --auto: where the logo lies
    std::optional<int64_t> analysisStart, analysisEnd; // analyze
    BatchOptions batch;
    bool autoAnalysis = false; // process --auto: analyze first, then run its job
    bool overwrite = false;    // -y: replace existing output files
    // Take the position from the logo's name, alpha from the captures and,
    // over black and white, pure un-blending, where the user set nothing
    // (off for the demo's run of the built-in defaults).
    bool automaticSettings = true;
    bool usageMistake = false;          // Help shown because no command was given
    std::string listen = "127.0.0.1:0"; // configure: the page's address (port 0: any free one)
    bool noBrowser = false;             // configure: print the address only
};

// Parses argv[1..]; throws CliError with exit code 2 and a message naming the
// option on a usage mistake.
Options parseOptions(const std::vector<std::string> &args);

// The help text of a command ("" for the overview), built from the option table.
std::string helpText(const std::string &command);

// The option lists of a command's help page, from the option table.
std::string optionsHelp(Command command);

// A setting the configuration page shows as a form field, from the option
// table: its name without dashes, its range and its help.
struct SettingField {
    std::string name;
    bool text = false, side = false, run = false; // a path; a side name; not saved in jobs
    long long low = 0, high = 0;
    std::string help;
};
std::vector<SettingField> settingFields();

// "800k", "2.5M" or "4000000" as bits per second; nothing when not a rate.
std::optional<int64_t> parseBitRate(const std::string &text);

} // namespace pendra::cli
