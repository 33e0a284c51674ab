// The filter's saved call Config("path",n, n, ...) as its path and numbers, so that
// settings named on the command line can be laid over a job's or a new
// instance's call before it is replayed.
#pragma once

#include "cli/options.h"
#include "module/config_text.h"
#include "module/user_settings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace pendra::cli {

struct ConfigValues {
    std::string logo; // the path as the filter holds it (backslashes single)
    ConfigNumbers numbers{};

    // A saved setting's value, and a new one, by the module's table row;
    // thresholds and blurs are packed and unpacked as the filter does.
    int get(const UserSetting &setting) const;
    void set(const UserSetting &setting, int value);
};

// Reads the text the filter writes, e.g.
//   Config("D:\\logos\\news0.bmp",1, 2, 600, 20, 0, 0, 0, 0, 255, 661800, 332810, 230, 0, 10)
// White space between tokens is free. Nothing when the text is not such a call.
std::optional<ConfigValues> parseConfigLine(const std::string &text);

// The call as the filter itself writes it (backslashes doubled).
std::string formatConfigLine(const ConfigValues &values);

// Lays the settings given as options over `values`. The set's modes follow
// the files present beside a new logo, as the filter's loader finds them.
void applySettingOptions(const SettingOptions &options, ConfigValues &values);

} // namespace pendra::cli
