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
void modesOnDisk(const std::string &path, int32_t &blackMode, int32_t &maskMode) {
    auto exists = [](const char *companion) {
        std::error_code error;
        return std::filesystem::exists(companion, error);
    };
    bitmapSetModes(path.c_str(), exists, &blackMode, &maskMode);
}

} // namespace

int packedField(int32_t packed, int field) {
    int fields[3];
    unpackTriple(packed, &fields[2], &fields[1], &fields[0]);
    return fields[field];
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
    if (parsed.function != "Config" || a.size() != 15 || !a[0].isString)
        return std::nullopt;
    for (size_t i = 1; i < a.size(); ++i)
        if (a[i].isString)
            return std::nullopt;
    ConfigValues v;
    v.logo = a[0].text;
    int32_t *numbers[] = {&v.blackMode, &v.maskMode, &v.x,       &v.y,     &v.start,
                          &v.end,       &v.fadeIn,   &v.fadeOut, &v.alpha, &v.thresholds,
                          &v.blurs,     &v.white,    &v.side,    &v.scene};
    for (size_t i = 0; i < std::size(numbers); ++i)
        *numbers[i] = a[i + 1].number;
    return v;
}

std::string formatConfigLine(const ConfigValues &v) {
    const ConfigNumbers numbers = {v.blackMode, v.maskMode, v.x,       v.y,     v.start,
                                   v.end,       v.fadeIn,   v.fadeOut, v.alpha, v.thresholds,
                                   v.blurs,     v.white,    v.side,    v.scene};
    std::string text(formatConfigCall(nullptr, 0, v.logo.c_str(), v.logo.size(), &numbers), '\0');
    formatConfigCall(text.data(), text.size() + 1, v.logo.c_str(), v.logo.size(), &numbers);
    return text;
}

void applySettingOptions(const SettingOptions &o, ConfigValues &v) {
    if (o.logo) {
        v.logo = std::filesystem::absolute(*o.logo).string();
        modesOnDisk(v.logo, v.blackMode, v.maskMode);
    }
    auto set = [](int32_t &field, const std::optional<int> &value) {
        if (value)
            field = *value;
    };
    set(v.x, o.x);
    set(v.y, o.y);
    set(v.alpha, o.alpha);
    set(v.start, o.start);
    set(v.end, o.end);
    set(v.fadeIn, o.fadeIn);
    set(v.fadeOut, o.fadeOut);
    set(v.white, o.white);
    set(v.side, o.side);
    set(v.scene, o.scene);
    if (o.threshold1 || o.threshold2 || o.threshold3)
        v.thresholds = packTriple(o.threshold1.value_or(packedField(v.thresholds, 2)),
                                  o.threshold2.value_or(packedField(v.thresholds, 1)),
                                  o.threshold3.value_or(packedField(v.thresholds, 0)));
    if (o.blur || o.blur3 || o.bitmapBlur)
        v.blurs = packTriple(o.blur.value_or(packedField(v.blurs, 2)),
                             o.blur3.value_or(packedField(v.blurs, 1)),
                             o.bitmapBlur.value_or(packedField(v.blurs, 0)));
}

} // namespace pendra::cli
