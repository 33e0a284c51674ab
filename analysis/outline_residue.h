// How much of a logo a filtered picture still shows, with no clean picture to
// compare with. A logo left behind, or the noise that un-blending lifts along
// its edges, puts gradients where the logo's opacity has its edges; a repair
// that smooths over a textured ground takes away the gradients the ground has
// around the logo (a measure of the outline alone would prefer that every time). Both are measured
// against the gradients of the clean ring around the mark (the same for every setting tried), so a
// smooth ground and a textured one compare: 0 is a picture whose logo area looks like its ring.
#pragma once

#include "analysis/picture.h"

#include <vector>

namespace pendra::analysis {

// Ring energy (half resolution, levels squared) below which the ground is
// smooth: the measure cannot tell the coding noise a smoothed repair takes
// away from texture, and there the smoothed repair came out 2 dB nearer the
// clean picture on real footage (a dark animation, a plain wall).
constexpr double smoothGround = 24;

struct OutlineResidue {
    // Gradient energy along the logo's edges above the ring's, relative to it.
    double outline = 0;
    // Gradient energy under the logo above the ring's: noise lifted by un-blending.
    double lifted = 0;
    // Gradient energy under the logo below the ring's, 0 to 1, measured at half
    // resolution so that noise smoothed away counts little and texture much.
    double flattened = 0;
    // Over a textured ground, texture lost counts by how far the repair
    // reaches from clean pixels: 1 for thin strokes, up to 4 for a box's
    // middle. Over a smooth one what is lost is coding noise, wherever.
    double reach = 1;
    // The clean ring's gradient energy at half resolution, in levels squared:
    // how textured the ground is, whatever the filter did.
    double ground = 0;
    double total() const {
        return outline + lifted + flattened * (ground >= smoothGround ? reach : 1.0);
    }
};

// `filtered` is the logo's rectangle after filtering, `opacity` the logo's
// opacity per pixel of it (0 to 1, top line first) and `mask` its repair
// shape (white under the logo). All three share the rectangle's size.
OutlineResidue outlineResidue(const Picture &filtered, const std::vector<float> &opacity,
                              const Picture &mask);

} // namespace pendra::analysis
