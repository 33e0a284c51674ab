// Scoring a case's outputs shot by shot: PSNR in the logo's true rectangle
// against the clean twin, over the frames where the logo is on screen.
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

// outputs[method]: the video each method gave (outputs[Input] the input
// itself); an empty path scores the input in its place (a refusal leaves the
// user's video as it was). Shots are cut where the clean twin's coarse
// picture jumps.
std::vector<ShotScore> scoreShots(const CaseMedia &m,
                                  const std::vector<std::filesystem::path> &outputs);

} // namespace pendra::corpus
