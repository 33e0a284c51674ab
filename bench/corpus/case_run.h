// Running the four ways of handling one case's input: leaving it, FFmpeg's
// delogo on the true rectangle, pendra with the true captures, pendra --auto.
#pragma once

#include "bench/corpus/case_media.h"
#include "bench/corpus/shot_scores.h"

#include <optional>
#include <string>
#include <vector>

namespace pendra::corpus {

struct CaseResult {
    std::vector<ShotScore> shots;
    int64_t awayFrames = 0;             // frames without the logo, and --auto's PSNR
    double awayPsnr = 99;               // against the input in the box over them
    std::optional<double> opacityError; // where --auto un-blends
    bool refused = false;
    std::string message; // the refusal's line
    bool found = false;  // a rectangle came back
    int foundX = 0, foundY = 0, foundWidth = 0, foundHeight = 0;
    bool repairOnly = false; // the job repairs the place from around, no un-blending
    int trueRank = 0;        // the true logo's place among the candidates, 1 first; 0 absent
    double autoSeconds = 0, trueSeconds = 0; // wall time of the two pendra runs
};

CaseResult runCase(const CaseMedia &m, const std::string &pendra);

} // namespace pendra::corpus
