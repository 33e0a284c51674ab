// Scoring a case's outputs shot by shot: PSNR in the logo's true rectangle
// against the clean twin, over the frames where the logo is on screen; and
// --auto against the input where it is away.
#pragma once

#include "bench/corpus/case_media.h"

#include <filesystem>
#include <vector>

namespace pendra::corpus {

enum Method { Input, Delogo, TrueCaptures, Auto, methodCount };

struct ShotScore {
    int64_t first = 0, last = 0; // the shot's frames
    int64_t framesScored = 0;    // those with the logo
    double gradient = 0;         // mean luma gradient magnitude of the clean box
    double psnr[methodCount] = {};
};

struct CaseScores {
    std::vector<ShotScore> shots;
    // --auto against the input in the box over the frames where the logo is
    // away: what a ghost of a filter left running there costs (99 when none).
    int64_t awayFrames = 0;
    double awayPsnr = 99;
};

// outputs[method]: the video each method gave (outputs[Input] the input
// itself); an empty path scores the input in its place (a refusal leaves the
// user's video as it was). Shots are cut where the clean twin's coarse
// picture jumps.
CaseScores scoreShots(const CaseMedia &m, const std::vector<std::filesystem::path> &outputs);

} // namespace pendra::corpus
