// The benchmark's shared scene: 1080p footage with cuts, a 240 x 100
// text-and-emblem logo at the top right, and its bitmap set on disk.
#pragma once

#include "bench/pendra_runner.h"
#include "bench/test_scene.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace pendra::bench {

constexpr int frameWidth = 1920, frameHeight = 1080;
constexpr int logoWidth = 240, logoHeight = 100;
constexpr int logoX = 1640, logoY = 40; // top-right corner, as broadcasters place it
constexpr int footageFrames = 24;
constexpr double benchOpacity = 0.5;

// Repetitions of every timing; the machine may be shared, so the tables use
// the fastest repetition, the one least disturbed by other work.
constexpr int repetitions = 5;
// Registers the benchmark's repetitions with their minimum as the reported figure.
benchmark::internal::Benchmark *timed(benchmark::internal::Benchmark *b, benchmark::TimeUnit unit);

// Where the benchmark writes its files.
std::filesystem::path workFolder();
// The footage with the logo on it, rendered once.
const std::vector<Picture> &footage();
// The logo's black, white and interpolate bitmaps, written once.
const LogoSet &benchLogoSet();

// A full-frame mask for removelogo, white over the logo's pixels, written once.
std::string removelogoMaskPath();
// FFmpeg filter graphs over the same rectangle and mask.
std::string delogoGraph();
std::string removelogoGraph();

} // namespace pendra::bench
