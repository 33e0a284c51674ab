// The logo's opacity and colour from the whole video, for a logo whose
// surroundings are never smooth enough to see through it frame by frame.
// Its shape and contrast come from the differences between neighbouring
// pixels that persist over the sampled frames (logo_contrast.h). Its opacity
// level comes from how much it dims the moving background: behind a logo of
// opacity a the variation over time that neighbouring pixels share is
// (1 - a)² times the clean pixels', so the ratio of those variations over
// many frames measures a without any frame's background being known, and
// without the coding noise that each pixel has on its own.
#pragma once

#include "analysis/frame_store.h"
#include "analysis/opacity_fit.h"
#include "analysis/ring_background.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pendra::analysis {

struct GradientEstimate {
    std::vector<PixelEstimate> pixels; // the blend per pixel of the rectangle, as a fit gives it
    std::vector<int64_t> used;         // the sampled frames it rests on, in order
    double level = 0;                  // the opacity of the logo's solid pixels
};

// The estimate from rectangles sampled across the video; empty, with `why`
// saying so, when it cannot be trusted: too few frames, a background that
// hardly moves, no difference that persists, or an opacity level that the
// two halves of the frames do not agree on.
std::optional<GradientEstimate> estimateFromGradients(const std::vector<const KeptFrame *> &samples,
                                                      const RingBackground &ring, std::string &why);
std::optional<GradientEstimate> estimateFromGradients(const std::vector<KeptFrame> &samples,
                                                      const RingBackground &ring, std::string &why);

} // namespace pendra::analysis
