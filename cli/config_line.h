// The filter's saved call Config("path",n, n, ...) as fifteen values, so that
// settings named on the command line can be laid over a job's or a new
// instance's call before it is replayed.
#pragma once

#include "cli/options.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace pendra::cli {

struct ConfigValues {
    std::string logo; // the path as the filter holds it (backslashes single)
    int32_t blackMode = 0, maskMode = 0, x = 0, y = 0, start = 0, end = 0, fadeIn = 0, fadeOut = 0,
            alpha = 0;
    int32_t thresholds = 0; // t1, t2, t3 packed eight bits each
    int32_t blurs = 0;      // b2, b3, bb packed
    int32_t white = 0, side = 0, scene = 0;
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

// Unpacks one eight-bit field (0 = the lowest) of a packed triple, as the filter does.
int packedField(int32_t packed, int field);

} // namespace pendra::cli
