// The command line, driven by one table: each option's name, value, the
// commands that take it, its range, its help and where it goes. Parsing, the
// range checks and the option lists of the help pages all read the table, so
// they cannot disagree.
#include "cli/options.h"

#include "cli/av_support.h"
#include "module/user_settings.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace pendra::cli {

void SettingOptions::set(const std::string &name, int value) {
    if (!userSettingNamed(name.c_str()))
        throw std::logic_error("no setting is named " + name);
    values[name] = value;
}

std::vector<std::pair<const UserSetting *, int>> SettingOptions::given(SettingUse use) const {
    std::vector<std::pair<const UserSetting *, int>> out;
    for (size_t i = 0; i < userSettingCount; ++i)
        if (std::optional<int> value = get(userSettings[i].name);
            value && userSettings[i].use == use)
            out.emplace_back(&userSettings[i], *value);
    return out;
}

namespace {

constexpr const char *sideNames[] = {"none", "north", "east", "south", "west"};

// Which commands take an option.
enum : unsigned {
    onProcess = 1,
    onPreview = 2,
    onDemo = 4,
    onAnalyze = 8,
    onConfigure = 16,
    onBatch = 32,
    onFiltering = onProcess | onPreview | onConfigure
};

// The help page sections options are listed in.
enum class Section { Analysis, Settings, Run, ThisRun, Output, Preview, Demo, Page, Batch };

enum class Kind {
    Integer, // a whole number in low..high
    Text,    // any text (a file name, an encoder name)
    Side,    // a side name or its number
    Rate,    // a bit rate with an optional k or M
    Flag,    // no value
    Rect,    // X,Y,W,H
};

using IntegerSetter = void (*)(Options &, long long);
using TextSetter = void (*)(Options &, const std::string &);

struct OptionEntry {
    const char *name;
    const char *shortName; // nullptr when none
    const char *valueName; // in the help; nullptr for a flag
    unsigned commands;
    Section section;
    Kind kind;
    long long low, high; // Integer only
    IntegerSetter setInteger;
    TextSetter setText;
    const char *help;
    const UserSetting *setting = nullptr; // the filter's setting the option gives
};

#define INTEGER(member) [](Options &o, long long v) { member = static_cast<int>(v); }
#define TEXT(member) [](Options &o, const std::string &v) { member = v; }

// The options of the command's own; the filter's settings join them from the
// module's table (optionTable()).
const OptionEntry fixedOptions[] = {
    {"--auto", nullptr, nullptr, onProcess, Section::Analysis, Kind::Flag, 0, 0,
     [](Options &o, long long) { o.autoAnalysis = true; }, nullptr,
     "find the logo in IN first (as pendra analyze does, its folder kept beside OUT as OUT's "
     "name + \"-logo\") and take it out with the job found; instead of --logo and --job"},
    {"--out", nullptr, "DIR", onAnalyze, Section::Analysis, Kind::Text, 0, 0, nullptr,
     TEXT(o.output), "the folder to write (default: IN's name + \"-logo\", beside IN)"},
    {"--rect", nullptr, "X,Y,W,H", onAnalyze | onProcess, Section::Analysis, Kind::Rect, 0, 0,
     nullptr, nullptr,
     "the logo lies in this rectangle with a clean ring of a few pixels around it: skip the "
     "search"},
    {"--start", nullptr, "N", onAnalyze, Section::Analysis, Kind::Integer, 0, INT_MAX,
     [](Options &o, long long v) { o.analysisStart = v; }, nullptr,
     "first frame to look at (frames count from 0)"},
    {"--end", nullptr, "N", onAnalyze, Section::Analysis, Kind::Integer, 0, INT_MAX,
     [](Options &o, long long v) { o.analysisEnd = v; }, nullptr,
     "last frame to look at (0 = to the last frame)"},
    {"--job", nullptr, "FILE", onFiltering, Section::Settings, Kind::Text, 0, 0, nullptr,
     TEXT(o.job),
     "settings from a saved job file; a job of several Pendra filters runs them all, "
     "in order"},
    {"--save-job", nullptr, "FILE", onProcess | onPreview, Section::Settings, Kind::Text, 0, 0,
     nullptr, TEXT(o.saveJob), "save the settings as a job file"},
    {"--logo", nullptr, "FILE", onFiltering, Section::Settings, Kind::Text, 0, 0, nullptr,
     TEXT(o.settings.logo),
     "the logo over black (name ending in 0, e.g. logo0.bmp; logo1.bmp over white and logo2.bmp, "
     "the interpolate mask, are used when present), or a mask alone (ending in 2). As the "
     "dialog's Browse: the position comes from \"_x_N_y_M\" in the name and alpha from the "
     "capture unless --x, --y or --alpha say otherwise"},
    {"--seed", nullptr, "N", onFiltering, Section::ThisRun, Kind::Integer, 0, UINT_MAX,
     [](Options &o, long long v) { o.run.seed = static_cast<unsigned>(v); }, nullptr,
     "seed of the noise (default 1): the same seed gives the same output"},
    {"--trace", nullptr, "FILE", onProcess | onPreview, Section::ThisRun, Kind::Text, 0, 0, nullptr,
     TEXT(o.run.trace), "write the filter's debug trace of each frame to FILE"},
    {"--codec", nullptr, "NAME", onProcess, Section::Output, Kind::Text, 0, 0, nullptr,
     TEXT(o.encoder.codec), "FFmpeg video encoder (e.g. libx264, ffv1, libx264rgb)"},
    {"--crf", nullptr, "N", onProcess, Section::Output, Kind::Integer, 0, 63,
     [](Options &o, long long v) { o.encoder.crf = static_cast<int>(v); }, nullptr,
     "quality on the encoder's own scale, lower is better: H.264/HEVC CRF 0..51 (default "
     "18/17), VP9/AV1 0..63 (24), MPEG-4/MPEG-2/MJPEG quantiser 1..31 (2)"},
    {"--bitrate", nullptr, "RATE", onProcess, Section::Output, Kind::Rate, 1000, INT64_MAX,
     [](Options &o, long long v) { o.encoder.bitrate = v; }, nullptr,
     "average bit rate instead of a constant quality, in bits per second with an optional k "
     "or M (e.g. 2500k)"},
    {"--preset", nullptr, "NAME", onProcess, Section::Output, Kind::Text, 0, 0, nullptr,
     TEXT(o.encoder.preset), "encoder speed preset (H.264: ultrafast .. veryslow)"},
    {"--pixel-format", nullptr, "NAME", onProcess, Section::Output, Kind::Text, 0, 0, nullptr,
     TEXT(o.encoder.pixelFormat), "pixel format of the encoded video (default: the input's)"},
    {"--overwrite", "-y", nullptr, onFiltering | onAnalyze, Section::Output, Kind::Flag, 0, 0,
     [](Options &o, long long) { o.overwrite = true; }, nullptr,
     "replace output files that exist (otherwise they are refused)"},
    {"--frame", nullptr, "N", onPreview, Section::Preview, Kind::Integer, 0, INT_MAX,
     [](Options &o, long long v) { o.frame = v; }, nullptr, "the frame to show (from 0)"},
    {"--out", nullptr, "FILE", onPreview, Section::Preview, Kind::Text, 0, 0, nullptr,
     TEXT(o.output),
     "the picture to write: .png, .jpg, .bmp, .tiff or another image format "
     "FFmpeg writes, told by the name"},
    {"--listen", nullptr, "HOST:PORT", onConfigure, Section::Page, Kind::Text, 0, 0, nullptr,
     TEXT(o.listen), "the page's address (default 127.0.0.1 and a free port)"},
    {"--no-browser", nullptr, nullptr, onConfigure, Section::Page, Kind::Flag, 0, 0,
     [](Options &o, long long) { o.noBrowser = true; }, nullptr,
     "do not open the page in the browser; only print its address"},
    {"--workers", "-j", "N", onBatch, Section::Batch, Kind::Integer, 1, 256,
     [](Options &o, long long v) { o.batch.workers = static_cast<int>(v); }, nullptr,
     "files processed at once (default: half the cores, plus one)"},
    {"--report", nullptr, "FILE", onBatch, Section::Batch, Kind::Text, 0, 0, nullptr,
     TEXT(o.batch.report), "the JSON report (default: MANIFEST's name + \"-report.json\")"},
    {"--slurm", nullptr, nullptr, onBatch, Section::Batch, Kind::Flag, 0, 0,
     [](Options &o, long long) { o.batch.slurm = true; }, nullptr,
     "submit the rows still to do as one Slurm job array instead of running them here"},
    {"--partition", nullptr, "P", onBatch, Section::Batch, Kind::Text, 0, 0, nullptr,
     TEXT(o.batch.partition), "Slurm partition"},
    {"--time", nullptr, "T", onBatch, Section::Batch, Kind::Text, 0, 0, nullptr, TEXT(o.batch.time),
     "Slurm time limit of each file, e.g. 2:00:00"},
    {"--max-running", nullptr, "K", onBatch, Section::Batch, Kind::Integer, 1, INT_MAX,
     [](Options &o, long long v) { o.batch.maxRunning = static_cast<int>(v); }, nullptr,
     "at most K files at once on the cluster"},
    // Hidden: what the workers and the cluster's tasks run.
    {"--row", nullptr, "N", onBatch, Section::Batch, Kind::Integer, 1, INT_MAX,
     [](Options &o, long long v) { o.batch.row = static_cast<int>(v); }, nullptr, nullptr},
    {"--collect", nullptr, nullptr, onBatch, Section::Batch, Kind::Flag, 0, 0,
     [](Options &o, long long) { o.batch.collect = true; }, nullptr, nullptr},
    {"--folder", nullptr, "DIR", onDemo, Section::Demo, Kind::Text, 0, 0, nullptr, TEXT(o.folder),
     "where the demo works (default pendra-demo)"},
};

#undef INTEGER
#undef TEXT

// The whole table: the command's own options, with the filter's settings
// after --logo, made from the module's table of user settings (names, ranges
// and help live there once).
std::vector<OptionEntry> makeOptionTable() {
    static std::vector<std::string> names(userSettingCount);
    std::vector<OptionEntry> table;
    for (const OptionEntry &entry : fixedOptions) {
        table.push_back(entry);
        if (std::string(entry.name) != "--logo")
            continue;
        for (SettingUse use : {SETTING_SAVED, SETTING_RUN})
            for (size_t i = 0; i < userSettingCount; ++i) {
                const UserSetting &setting = userSettings[i];
                if (setting.use != use)
                    continue;
                names[i] = std::string("--") + setting.option;
                const bool side = names[i] == "--side";
                table.push_back({names[i].c_str(), nullptr, side ? "S" : "N", onFiltering,
                                 use == SETTING_SAVED ? Section::Settings : Section::Run,
                                 side ? Kind::Side : Kind::Integer, setting.low, setting.high,
                                 nullptr, nullptr, setting.help, &setting});
            }
    }
    return table;
}

const std::vector<OptionEntry> &optionTable() {
    static const std::vector<OptionEntry> table = makeOptionTable();
    return table;
}

[[noreturn]] void usageError(const std::string &message, const std::string &command = "") {
    throw CliError(message + " (see pendra " + (command.empty() ? "" : command + " ") + "--help)",
                   2);
}

long long parseInteger(const std::string &option, const std::string &text, long long low,
                       long long high, const std::string &command) {
    char *end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        usageError(option + " wants a whole number, not \"" + text + "\"", command);
    if (value < low || value > high)
        usageError(option + " " + text + " is out of range (" + std::to_string(low) + " to " +
                       std::to_string(high) + ")",
                   command);
    return value;
}

int parseSide(const std::string &text, const std::string &command) {
    for (int i = 0; i < 5; ++i)
        if (text == sideNames[i] || text == std::to_string(i))
            return i;
    usageError("--side wants none, north, east, south or west, not \"" + text + "\"", command);
}

unsigned commandBit(Command c) {
    switch (c) {
    case Command::Process:
        return onProcess;
    case Command::Preview:
        return onPreview;
    case Command::Analyze:
        return onAnalyze;
    case Command::Configure:
        return onConfigure;
    case Command::Batch:
        return onBatch;
    default:
        return onDemo;
    }
}

// "X,Y,W,H": four whole numbers, the size at least one pixel.
RectOption parseRect(const std::string &option, const std::string &text,
                     const std::string &command) {
    long long v[4];
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t comma = i < 3 ? text.find(',', at) : text.size();
        if (comma == std::string::npos)
            usageError(option + " wants X,Y,W,H (e.g. 504,20,96,48), not \"" + text + "\"",
                       command);
        v[i] = parseInteger(option, text.substr(at, comma - at), i < 2 ? 0 : 1, INT_MAX, command);
        at = comma + 1;
    }
    return {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
            static_cast<int>(v[3])};
}

const OptionEntry *findOption(const std::string &name, Command command) {
    for (const OptionEntry &entry : optionTable())
        if ((name == entry.name || (entry.shortName && name == entry.shortName)) &&
            (entry.commands & commandBit(command)))
            return &entry;
    return nullptr;
}

// Stores one option's value (already split from "--name=value" when so written).
void applyOption(const OptionEntry &entry, const std::string &value, const std::string &command,
                 Options &o) {
    switch (entry.kind) {
    case Kind::Integer: {
        const long long v = parseInteger(entry.name, value, entry.low, entry.high, command);
        if (entry.setting)
            o.settings.values[entry.setting->name] = static_cast<int>(v);
        else
            entry.setInteger(o, v);
        break;
    }
    case Kind::Side:
        o.settings.values[entry.setting->name] = parseSide(value, command);
        break;
    case Kind::Rate: {
        std::optional<int64_t> rate = parseBitRate(value);
        if (!rate)
            usageError(std::string(entry.name) + " wants a rate such as 2500k or 4M, not \"" +
                           value + "\"",
                       command);
        if (*rate < entry.low)
            usageError(std::string(entry.name) + " " + value + " is below 1k bits per second",
                       command);
        entry.setInteger(o, *rate);
        break;
    }
    case Kind::Text:
        entry.setText(o, value);
        break;
    case Kind::Flag:
        entry.setInteger(o, 1);
        break;
    case Kind::Rect:
        o.rect = parseRect(entry.name, value, command);
        break;
    }
}

const char *sectionTitle(Section s) {
    switch (s) {
    case Section::Analysis:
        return "analysis:";
    case Section::Settings:
        return "filter settings (any not given come from the job file, else from the\n"
               "defaults file plugins/pendra/Pendra.ini):";
    case Section::Run:
        return "settings each new filter takes from the defaults file (a saved job keeps\n"
               "them in a comment line the video host skips; with a job of several filters\n"
               "they apply to each):";
    case Section::ThisRun:
        return "this run only (neither saved with a job nor read from the defaults file):";
    case Section::Output:
        return "output:";
    case Section::Preview:
        return "picture:";
    case Section::Demo:
        return "demo:";
    case Section::Page:
        return "page:";
    case Section::Batch:
        return "batch:";
    }
    return "";
}

// Appends `text` word-wrapped to 79 columns, every line indented to `column`,
// the first going on from `used` columns.
void appendWrapped(std::string &out, const std::string &text, size_t column, size_t used) {
    const size_t width = 79;
    size_t at = 0;
    while (at < text.size()) {
        size_t room = width - column;
        size_t end = text.size() - at <= room ? text.size() : text.rfind(' ', at + room);
        if (end == std::string::npos || end <= at)
            end = text.find(' ', at) == std::string::npos ? text.size() : text.find(' ', at);
        out += std::string(column - used, ' ') + text.substr(at, end - at) + "\n";
        used = 0;
        at = end < text.size() ? end + 1 : end;
    }
}

std::string rangeText(const OptionEntry &entry) {
    if (entry.kind != Kind::Integer || entry.high >= INT_MAX)
        return "";
    return " (" + std::to_string(entry.low) + ".." + std::to_string(entry.high) + ")";
}

} // namespace

std::optional<int64_t> parseBitRate(const std::string &text) {
    char *end = nullptr;
    errno = 0;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || errno == ERANGE || !(value >= 0))
        return std::nullopt;
    std::string unit = end;
    double scale = unit.empty() ? 1 : unit == "k" || unit == "K" ? 1e3 : unit == "M" ? 1e6 : 0;
    if (scale == 0 || value * scale > 1e12)
        return std::nullopt;
    return static_cast<int64_t>(std::llround(value * scale));
}

std::string optionsHelp(Command command) {
    std::string out;
    for (Section section :
         {Section::Analysis, Section::Preview, Section::Settings, Section::Run, Section::ThisRun,
          Section::Output, Section::Demo, Section::Page, Section::Batch}) {
        bool any = false;
        for (const OptionEntry &entry : optionTable()) {
            if (entry.section != section || !(entry.commands & commandBit(command)) || !entry.help)
                continue;
            if (!any)
                out += std::string("\n") + sectionTitle(section) + "\n";
            any = true;
            std::string head = "  ";
            if (entry.shortName)
                head += std::string(entry.shortName) + ", ";
            head += entry.name;
            if (entry.valueName)
                head += std::string(" ") + entry.valueName;
            const size_t column = 23;
            std::string help = entry.help + rangeText(entry);
            if (head.size() + 1 > column) {
                out += head + "\n";
                appendWrapped(out, help, column, 0);
            } else {
                out += head;
                appendWrapped(out, help, column, head.size());
            }
        }
    }
    return out;
}

std::vector<SettingField> settingFields() {
    std::vector<SettingField> fields;
    for (const OptionEntry &entry : optionTable()) {
        if (!(entry.commands & onConfigure) || std::string(entry.name) == "--job" ||
            (entry.section != Section::Settings && entry.section != Section::Run &&
             entry.section != Section::ThisRun))
            continue;
        SettingField f;
        f.name = entry.name + 2;
        f.text = entry.kind == Kind::Text;
        f.side = entry.kind == Kind::Side;
        f.run = entry.section == Section::Run || entry.section == Section::ThisRun;
        f.low = entry.low;
        f.high = entry.high;
        f.help = entry.help;
        fields.push_back(f);
    }
    return fields;
}

Options parseOptions(const std::vector<std::string> &args) {
    Options o;
    if (args.empty()) {
        o.usageMistake = true;
        return o;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (args.size() > 1)
            o.helpTopic = args[1];
        return o;
    }
    const std::string &name = args[0];
    if (name == "process")
        o.command = Command::Process;
    else if (name == "preview")
        o.command = Command::Preview;
    else if (name == "demo")
        o.command = Command::Demo;
    else if (name == "analyze")
        o.command = Command::Analyze;
    else if (name == "configure")
        o.command = Command::Configure;
    else if (name == "batch")
        o.command = Command::Batch;
    else
        usageError("unknown command \"" + name + "\"");

    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.helpTopic = name;
            o.command = Command::Help;
            return o;
        }
        if (arg == "--" && o.command == Command::Batch) {
            o.batch.sbatchOptions.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                         args.end());
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
            continue;
        }
        std::optional<std::string> value;
        if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        }
        const OptionEntry *entry = findOption(arg, o.command);
        if (!entry)
            usageError(name + ": unknown option " + arg, name);
        if (entry->kind == Kind::Flag) {
            if (value)
                usageError(arg + " takes no value", name);
        } else if (!value) {
            if (i + 1 >= args.size())
                usageError(arg + " needs a value", name);
            value = args[++i];
        }
        applyOption(*entry, value.value_or(""), name, o);
    }

    if (o.command == Command::Batch && !files.empty() && files[0] == "status") {
        o.batch.status = true;
        files.erase(files.begin());
    }
    size_t wanted = o.command == Command::Process ? 2
                    : o.command == Command::Preview || o.command == Command::Analyze ||
                            o.command == Command::Batch
                        ? 1
                        : 0;
    if (o.command == Command::Configure)
        wanted = 1;
    if (files.size() != wanted)
        usageError(name + " wants " +
                       (wanted == 2                   ? std::string("an input and an output file")
                        : o.command == Command::Batch ? std::string("one manifest file")
                        : wanted == 1                 ? std::string("one input file")
                                                      : std::string("no file names")),
                   name);
    if (wanted >= 1)
        o.input = files[0];
    if (wanted == 2)
        o.output = files[1];
    if (o.command == Command::Preview && (!o.frame || o.output.empty()))
        usageError("preview needs --frame N and --out FILE", name);
    if (o.autoAnalysis && (o.job || o.settings.logo))
        usageError("--auto finds the logo itself: give it without --logo and --job", name);
    if (o.command == Command::Process && o.rect && !o.autoAnalysis)
        usageError("--rect tells the analysis where to look: give it with --auto", name);
    if ((o.command == Command::Process || o.command == Command::Preview) && !o.job &&
        !o.settings.logo && !o.autoAnalysis)
        usageError(name +
                       " needs the logo: --logo FILE (its capture over black, or the mask), "
                       "or --job FILE" +
                       std::string(o.command == Command::Process ? ", or --auto to find it" : ""),
                   name);
    if (!o.batch.slurm &&
        (o.batch.partition || o.batch.time || o.batch.maxRunning || !o.batch.sbatchOptions.empty()))
        usageError("--partition, --time, --max-running and sbatch options go with --slurm", name);
    if (o.batch.slurm && o.batch.workers)
        usageError("--workers counts workers here; on the cluster --max-running does", name);
    if (o.encoder.crf && o.encoder.bitrate)
        usageError("--crf and --bitrate each set the quality: give one", name);
    if (o.command == Command::Demo && o.folder.empty())
        o.folder = "pendra-demo";
    return o;
}

} // namespace pendra::cli
