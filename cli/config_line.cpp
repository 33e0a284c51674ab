#include "cli/config_line.h"

#include "host/script_call.h"

#include <cctype>
#include <filesystem>
#include <iterator>
#include <string_view>

namespace pendra::cli {

namespace {

int32_t pack(int first, int second, int third) {
    return static_cast<int32_t>(static_cast<uint32_t>(first) << 16 |
                                static_cast<uint32_t>(second) << 8 | static_cast<uint32_t>(third));
}

// The modes the loader would find for this set on disk.
void modesOnDisk(const std::string &path, int32_t &blackMode, int32_t &maskMode) {
    blackMode = maskMode = 0;
    if (path.size() < 5)
        return;
    size_t digit = path.size() - 5;
    auto companion = [&](char c) {
        std::string p = path;
        p[digit] = c;
        return std::filesystem::exists(p);
    };
    if (path[digit] == '0') {
        blackMode = companion('1') ? 2 : 1;
        maskMode = companion('2') ? 1 : 2;
    } else if (path[digit] == '2') {
        maskMode = 1;
    }
}

} // namespace

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
    std::string path;
    for (char ch : v.logo) {
        path += ch;
        if (ch == '\\')
            path += '\\';
    }
    std::string out = "Config(\"" + path + "\",";
    const int32_t numbers[] = {v.blackMode, v.maskMode, v.x,       v.y,     v.start,
                               v.end,       v.fadeIn,   v.fadeOut, v.alpha, v.thresholds,
                               v.blurs,     v.white,    v.side,    v.scene};
    for (size_t i = 0; i < std::size(numbers); ++i)
        out += (i ? ", " : "") + std::to_string(numbers[i]);
    return out + ")";
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
        v.thresholds = pack(o.threshold1.value_or(packedField(v.thresholds, 2)),
                            o.threshold2.value_or(packedField(v.thresholds, 1)),
                            o.threshold3.value_or(packedField(v.thresholds, 0)));
    if (o.blur || o.blur3 || o.bitmapBlur)
        v.blurs = pack(o.blur.value_or(packedField(v.blurs, 2)),
                       o.blur3.value_or(packedField(v.blurs, 1)),
                       o.bitmapBlur.value_or(packedField(v.blurs, 0)));
}

} // namespace pendra::cli
