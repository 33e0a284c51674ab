// How far the opacity --auto estimated is from the one laid over the clip:
// the target the analysis is held to (0.03 on encoded footage).
#pragma once

#include "bench/corpus/case_media.h"

#include <filesystem>
#include <optional>

namespace pendra::corpus {

// The mean absolute opacity error over the logo's own pixels (those with any
// opacity), read from the set the analysis wrote for the rectangle at x, y in
// `folder`; pixels outside its bitmaps count as estimated clear. Nothing when
// the set cannot be read.
std::optional<double> opacityError(const CaseMedia &m, const std::filesystem::path &folder, int x,
                                   int y);

} // namespace pendra::corpus
