#include "cli/config_line.h"

#include "host/script_call.h"
#include "logo/set_names.h"
#include "module/config_text.h"

#include <cctype>
#include <filesystem>
#include <iterator>
#include <string_view>

namespace pendra::cli {

namespace {

// The modes the filter's loader will find for this set on disk.
void modesOnDisk(const std::string &path, int &blackMode, int &maskMode) {
    auto exists = [](const char *companion) {
        std::error_code error;
        return std::filesystem::exists(companion, error);
    };
    bitmapSetModes(path.c_str(), exists, &blackMode, &maskMode);
}

} // namespace

int ConfigValues::get(const UserSetting &setting) const {
    FilterSettings record{};
    takeConfigNumbers(&record, &numbers);
    return userSettingValue(&record, &setting);
}

void ConfigValues::set(const UserSetting &setting, int value) {
    FilterSettings record{};
    takeConfigNumbers(&record, &numbers);
    ConfigNumbers before, after;
    configNumbersOf(&record, &before);
    *userSettingOf(&record, &setting) = value;
    configNumbersOf(&record, &after);
    // Only the number that holds the setting changes: a packed triple that a
    // job spilled with out-of-range values stays as the job wrote it.
    for (int ConfigNumbers::*member : configCallOrder)
        if (after.*member != before.*member)
            numbers.*member = after.*member;
}

std::optional<ConfigValues> parseConfigLine(const std::string &text) {
    std::string_view call = text;
    while (!call.empty() &&
           (call.back() == ';' || std::isspace(static_cast<unsigned char>(call.back()))))
        call.remove_suffix(1);
    host::ScriptCall parsed;
    try {
        parsed = host::parseScriptCall(call);
    } catch (const host::HostError &) {
        return std::nullopt;
    }
    const std::vector<host::ScriptArgument> &a = parsed.arguments;
    if (parsed.function != "Config" || a.size() != 1 + CONFIG_NUMBER_COUNT || !a[0].isString)
        return std::nullopt;
    for (size_t i = 1; i < a.size(); ++i)
        if (a[i].isString)
            return std::nullopt;
    ConfigValues v;
    v.logo = a[0].text;
    for (int i = 0; i < CONFIG_NUMBER_COUNT; ++i)
        v.numbers.*configCallOrder[i] = a[static_cast<size_t>(i) + 1].number;
    return v;
}

std::string formatConfigLine(const ConfigValues &v) {
    const ConfigNumbers &numbers = v.numbers;
    std::string text(formatConfigCall(nullptr, 0, v.logo.c_str(), v.logo.size(), &numbers), '\0');
    formatConfigCall(text.data(), text.size() + 1, v.logo.c_str(), v.logo.size(), &numbers);
    return text;
}

void applySettingOptions(const SettingOptions &o, ConfigValues &v) {
    if (o.logo) {
        v.logo = std::filesystem::absolute(*o.logo).string();
        modesOnDisk(v.logo, v.numbers.blackMode, v.numbers.maskMode);
    }
    for (const auto &[setting, value] : o.given(SETTING_SAVED))
        v.set(*setting, value);
}

} // namespace pendra::cli
