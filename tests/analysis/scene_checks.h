// What the analysis tests compare: the found opacity and captures against a
// generated logo's truth, and how closely a rectangle holds a logo.
#pragma once

#include "analysis/locate.h"
#include "analysis/logo_analysis.h"
#include "tests/support/generated_source.h"

namespace pendra::test {

struct Accuracy {
    double meanOpacityError = 0; // over the true logo's pixels
    int worstBlack = 0;          // largest capture difference, levels, over un-blended pixels
    int worstWhite = 0;
};

// Compares the result with the logo's truth over the result's rectangle.
Accuracy accuracy(const analysis::LogoEstimate &result, const GeneratedLogo &logo);
// Whether `rect` holds every pixel of the logo; `slack` gets the largest spare margin.
bool holds(const analysis::Rect &rect, const GeneratedLogo &logo, int &slack);

// The edges of every `stride`-th frame of a source, as the location samples them.
analysis::EdgePersistence sampleEdges(analysis::FrameSource &source, int stride);
// The candidates' rectangles, scores and notes, a line each, for a failure's trace.
std::string describe(const std::vector<analysis::Candidate> &found);

} // namespace pendra::test
