#include "cli/options.h"

#include "cli/av_support.h"

#include <climits>
#include <cstdlib>

namespace pendra::cli {

namespace {

constexpr const char *sideNames[] = {"none", "north", "east", "south", "west"};

[[noreturn]] void usageError(const std::string &message) {
    throw CliError(message + " (see pendra --help)", 2);
}

// An integer option of the filter's settings and the values it accepts.
struct IntSetting {
    const char *name;
    std::optional<int> SettingOptions::*field;
    int low;
    int high;
};

// Thresholds and blurs travel packed eight bits each in the saved call, so
// they are held to 0..255 here rather than mangled there.
const IntSetting intSettings[] = {
    {"--x", &SettingOptions::x, 0, INT_MAX},
    {"--y", &SettingOptions::y, 0, INT_MAX},
    {"--alpha", &SettingOptions::alpha, 0, 255},
    {"--start", &SettingOptions::start, 0, INT_MAX},
    {"--end", &SettingOptions::end, 0, INT_MAX},
    {"--fade-in", &SettingOptions::fadeIn, 0, INT_MAX},
    {"--fade-out", &SettingOptions::fadeOut, 0, INT_MAX},
    {"--threshold1", &SettingOptions::threshold1, 0, 255},
    {"--threshold2", &SettingOptions::threshold2, 0, 255},
    {"--threshold3", &SettingOptions::threshold3, 0, 255},
    {"--blur", &SettingOptions::blur, 0, 255},
    {"--blur3", &SettingOptions::blur3, 0, 255},
    {"--bitmap-blur", &SettingOptions::bitmapBlur, 0, 255},
    {"--white", &SettingOptions::white, 0, 255},
    {"--scene", &SettingOptions::scene, 0, INT_MAX},
};

long long parseInteger(const std::string &option, const std::string &text, long long low,
                       long long high) {
    char *end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        usageError(option + " wants a whole number, not \"" + text + "\"");
    if (value < low || value > high)
        usageError(option + " " + text + " is out of range (" + std::to_string(low) + " to " +
                   std::to_string(high) + ")");
    return value;
}

int parseSide(const std::string &text) {
    for (int i = 0; i < 5; ++i)
        if (text == sideNames[i] || text == std::to_string(i))
            return i;
    usageError("--side wants none, north, east, south or west, not \"" + text + "\"");
}

// Splits "--name=value" and fetches the value of "--name value".
class ArgumentList {
  public:
    explicit ArgumentList(const std::vector<std::string> &args) : args_(args) {}
    bool done() const { return next_ >= args_.size(); }
    std::string take() {
        std::string arg = args_[next_++];
        pendingValue_.reset();
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                pendingValue_ = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        return arg;
    }
    std::string value(const std::string &option) {
        if (pendingValue_) {
            std::string v = *pendingValue_;
            pendingValue_.reset();
            return v;
        }
        if (done())
            usageError(option + " needs a value");
        return args_[next_++];
    }
    bool hasUnusedValue() const { return pendingValue_.has_value(); }

  private:
    const std::vector<std::string> &args_;
    size_t next_ = 0;
    std::optional<std::string> pendingValue_;
};

bool takesSettings(Command c) {
    return c == Command::Process || c == Command::Preview;
}

// Handles one option of the filter's settings; false when it is not one.
bool settingOption(const std::string &arg, ArgumentList &list, Options &o) {
    for (const IntSetting &s : intSettings)
        if (arg == s.name) {
            o.settings.*s.field =
                static_cast<int>(parseInteger(arg, list.value(arg), s.low, s.high));
            return true;
        }
    if (arg == "--logo")
        o.settings.logo = list.value(arg);
    else if (arg == "--side")
        o.settings.side = parseSide(list.value(arg));
    else if (arg == "--job")
        o.job = list.value(arg);
    else if (arg == "--save-job")
        o.saveJob = list.value(arg);
    else if (arg == "--noise")
        o.run.noise = static_cast<int>(parseInteger(arg, list.value(arg), 0, 1 << 20));
    else if (arg == "--feather")
        o.run.feather = static_cast<int>(parseInteger(arg, list.value(arg), 0, 1 << 20));
    else if (arg == "--trace")
        o.run.trace = list.value(arg);
    else
        return false;
    return true;
}

// Handles one option of the process command's output; false when it is not one.
bool encoderOption(const std::string &arg, ArgumentList &list, Options &o) {
    if (arg == "--codec")
        o.encoder.codec = list.value(arg);
    else if (arg == "--crf")
        o.encoder.crf = static_cast<int>(parseInteger(arg, list.value(arg), 0, 63));
    else if (arg == "--preset")
        o.encoder.preset = list.value(arg);
    else if (arg == "--pixel-format")
        o.encoder.pixelFormat = list.value(arg);
    else
        return false;
    return true;
}

} // namespace

const char *sideName(int side) {
    return side >= 0 && side < 5 ? sideNames[side] : "none";
}

Options parseOptions(const std::vector<std::string> &args) {
    Options o;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
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
    else
        usageError("unknown command \"" + name + "\"");

    std::vector<std::string> rest(args.begin() + 1, args.end());
    ArgumentList list(rest);
    std::vector<std::string> files;
    while (!list.done()) {
        std::string arg = list.take();
        if (arg == "--help" || arg == "-h") {
            o.helpTopic = name;
            o.command = Command::Help;
            return o;
        }
        bool known = false;
        if (arg.size() > 1 && arg[0] == '-') {
            if (takesSettings(o.command))
                known = settingOption(arg, list, o);
            if (!known && o.command == Command::Process)
                known = encoderOption(arg, list, o);
            if (!known && o.command == Command::Preview && arg == "--frame") {
                o.frame = parseInteger(arg, list.value(arg), 0, INT_MAX);
                known = true;
            }
            if (!known && o.command == Command::Preview && arg == "--out") {
                o.output = list.value(arg);
                known = true;
            }
            if (!known && o.command == Command::Demo && arg == "--folder") {
                o.folder = list.value(arg);
                known = true;
            }
            if (!known)
                usageError("pendra " + name + ": unknown option " + arg);
            if (list.hasUnusedValue())
                usageError(arg + " takes no value");
            continue;
        }
        files.push_back(arg);
    }

    size_t wanted = o.command == Command::Process ? 2 : o.command == Command::Preview ? 1 : 0;
    if (files.size() != wanted)
        usageError("pendra " + name + " wants " +
                   (wanted == 2   ? std::string("an input and an output file")
                    : wanted == 1 ? std::string("one input file")
                                  : std::string("no file names")));
    if (wanted >= 1)
        o.input = files[0];
    if (wanted == 2)
        o.output = files[1];
    if (o.command == Command::Preview && (!o.frame || o.output.empty()))
        usageError("pendra preview needs --frame N and --out FILE.png");
    if (o.command == Command::Demo && o.folder.empty())
        o.folder = "pendra-demo";
    return o;
}

} // namespace pendra::cli
