#include "cli/config_line.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace pendra::cli {

namespace {

// Walks the text of one call, skipping white space between tokens.
struct Cursor {
    const std::string &text;
    size_t pos = 0;

    void skipBlanks() {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
            ++pos;
    }
    bool take(char c) {
        skipBlanks();
        if (pos < text.size() && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    bool takeWord(const char *word) {
        skipBlanks();
        std::string w = word;
        if (text.compare(pos, w.size(), w) != 0)
            return false;
        pos += w.size();
        return true;
    }
    bool takeString(std::string &out) {
        if (!take('"'))
            return false;
        out.clear();
        while (pos < text.size() && text[pos] != '"') {
            char c = text[pos++];
            if (c == '\\' && pos < text.size())
                c = text[pos++];
            out += c;
        }
        return take('"');
    }
    bool takeInteger(int32_t &out) {
        skipBlanks();
        const char *begin = text.c_str() + pos;
        char *end = nullptr;
        long long v = std::strtoll(begin, &end, 10);
        if (end == begin || v < INT32_MIN || v > INT32_MAX)
            return false;
        pos += static_cast<size_t>(end - begin);
        out = static_cast<int32_t>(v);
        return true;
    }
};

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
    Cursor c{text};
    ConfigValues v;
    int32_t *numbers[] = {&v.blackMode, &v.maskMode, &v.x,       &v.y,     &v.start,
                          &v.end,       &v.fadeIn,   &v.fadeOut, &v.alpha, &v.thresholds,
                          &v.blurs,     &v.white,    &v.side,    &v.scene};
    if (!c.takeWord("Config") || !c.take('(') || !c.takeString(v.logo))
        return std::nullopt;
    for (int32_t *n : numbers)
        if (!c.take(',') || !c.takeInteger(*n))
            return std::nullopt;
    if (!c.take(')'))
        return std::nullopt;
    c.take(';');
    c.skipBlanks();
    if (c.pos != text.size())
        return std::nullopt;
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
