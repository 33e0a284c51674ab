// Turns the fitted opacities and colours into the bitmap set the module
// loads: the logo over black, over white, and the interpolate mask.
//
// The module touches only the pixels the mask marks: with its alpha at full
// it un-blends them, lower it mixes in their repair from the clean pixels
// around them, and it leaves every clean pixel as it is. So the mask marks
// every logo pixel (opacity above a small threshold, grown by one pixel for
// the faint tail of anti-aliased edges). Which pixels un-blending would not
// restore well (nearly opaque, where it lifts noise, or poorly fitted) is
// counted, not masked: the module has one alpha for all pixels, and the
// command chooses it from that count. A logo pixel keeps its black capture at
// least 1 in each channel, since a channel at the black key exempts it from
// un-blending. The rectangle's outermost line stays clean: it holds the key
// colours (the loader reads them from the bottom-left pixel) and gives the
// repair a clean pixel on every side of every marked pixel.
#pragma once

#include "analysis/logo_analysis.h"
#include "analysis/opacity_fit.h"

#include <vector>

namespace pendra::analysis {

// Opacity above which a pixel belongs to the logo.
inline constexpr double logoOpacity = 0.03;
// Opacity from which un-blending would amplify noise more than about sevenfold.
inline constexpr double repairOpacity = 0.85;

struct Captures {
    Picture black;
    Picture white;
    Picture mask;
    OpacityStats stats;
};

Captures buildCaptures(const std::vector<PixelEstimate> &estimates, int width, int height);

// The mask grown by `by` pixels (to the eight neighbours a step), never into
// the rectangle's two outermost lines. A repair from around starts from the
// pixels just outside the mask; where the encoder smeared the logo's colour
// over them (chroma halves the resolution, strong compression rings), a
// repair from a wider mask starts from clean ones instead.
Picture grownMask(const Picture &mask, int by);

// The mask of the logo's rims: the pixels of the logo's `mask` within one of
// a step in opacity of at least `rimStep` between neighbours. Un-blending is
// least sure there (an edge's exact profile, the encoder's halved colour
// resolution across it) and leaves an outline; a repair of that thin band
// from the un-blended pixels on both sides does not. The mask's pixels of
// opacity `rimOpacity` or more join it: un-blending lifts their coding noise
// four times or more, into coloured specks in the middle of a stroke. Kept
// within the mask, so that the clean ring it is judged against is every
// setting's own.
inline constexpr double rimStep = 0.05;
inline constexpr float rimOpacity = 0.75f;
Picture rimMask(const std::vector<float> &opacity, const Picture &mask);

} // namespace pendra::analysis
