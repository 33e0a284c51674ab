// found.png outlines the places the analysis may try and the logo it chose,
// not every fleck the location ranked: on a busy picture those buried it.
#include "cli/analysis_files.h"

#include <gtest/gtest.h>

namespace a = pendra::analysis;
namespace c = pendra::cli;

TEST(FoundPicture, OutlinesTheFirstRankedCandidatesAndTheLogo) {
    const a::Picture frame(200, 40, 0x404040);
    a::Result result;
    // Twelve places in a row, 16 pixels apart, best first; the logo is the first.
    for (int i = 0; i < 12; ++i) {
        a::Candidate candidate;
        candidate.rect = a::Rect{2 + 16 * i, 10, 10, 10};
        candidate.score = 100.0 - i;
        result.candidates.push_back(candidate);
    }
    result.rect = result.candidates[0].rect;
    const a::Picture out = c::foundPicture(result, frame);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const a::Rect &r = result.candidates[static_cast<size_t>(i)].rect;
        const bool drawn = out.at(r.x, r.y) != 0x404040;
        EXPECT_EQ(drawn, i < 6);
        EXPECT_EQ(out.at(r.x + 5, r.y + 5), 0x404040u); // inside stays as it was
    }
    EXPECT_NE(out.at(result.rect.x, result.rect.y), out.at(result.candidates[1].rect.x, 10));
}
