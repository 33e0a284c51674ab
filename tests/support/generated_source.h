// Generated scenes for the logo analysis's tests and benchmarks: moving
// backgrounds (smooth gradients, textures, or a still picture), anti-aliased
// text and emblem logos of known opacity laid over them in RGB, optional
// noise, and a FrameSource that renders only the areas asked for. Every
// pixel is a pure function of the scene, the frame and its position, so the
// same scene always gives the same frames.
#pragma once

#include "analysis/logo_analysis.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace pendra::test {

struct GeneratedLogo {
    int x = 0; // top-left corner in the frame
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<float> opacity; // per pixel, top line first
    uint32_t colour = 0xFFFFFF; // the logo's own colour, 0x00RRGGBB
    // How much of the logo shows in a frame, 0 to 1 (fades, breaks); always 1 when empty.
    std::function<double(int64_t frame)> presence;

    double at(int fx, int fy) const; // opacity at frame position, 0 outside
    // What a capture over black holds at frame position: a·L, rounded.
    uint32_t overBlack(int fx, int fy) const;
};

// Anti-aliased block letters ("TV1" like strokes) of peak opacity `opacity`.
GeneratedLogo textLogo(int x, int y, double opacity, uint32_t colour);
// An anti-aliased ring around a dot, radius `radius`.
GeneratedLogo emblemLogo(int x, int y, int radius, double opacity, uint32_t colour);

enum class Background {
    Planar,   // gradients that drift and change colour at each shot
    Textured, // a moving texture over a gradient
    Mixed,    // shots alternately planar and textured
    Still,    // one textured picture that never changes (a static camera)
    Dim       // a night scene: gradients near black that change by a few levels
};

// A ball that crosses the picture in a straight line between two frames: an
// object passing over the logo, which no background guess foresees.
struct Ball {
    int64_t from = 0, to = 0; // frames it is seen in
    double startX = 0, startY = 0, endX = 0, endY = 0;
    double radius = 4;
    uint32_t colour = 0x202020;
};

// A part of the picture that stands still for a while (a static shot's
// background, a slow pan's far side): its background stays as it was at `from`.
struct StillPatch {
    int x = 0, y = 0, width = 0, height = 0;
    int64_t from = 0, to = 0;
};

struct Scene {
    int width = 192;
    int height = 108;
    int64_t frames = 240;
    bool countKnown = true; // whether the source tells its frame count
    Background background = Background::Planar;
    double noise = 0; // standard deviation of added noise, in levels
    uint64_t seed = 1;
    int shotLength = 10; // frames per shot
    std::vector<GeneratedLogo> logos;
    std::vector<Ball> balls; // under the logos
    std::vector<StillPatch> stillPatches;
    int64_t blackFrames = 0; // frames at the start that are wholly black (a fade from black)
};

// The picture without logos or noise.
uint32_t backgroundPixel(const Scene &scene, int64_t frame, int x, int y);
// The frame as the video holds it.
uint32_t scenePixel(const Scene &scene, int64_t frame, int x, int y);

class GeneratedSource : public analysis::FrameSource {
  public:
    explicit GeneratedSource(Scene scene) : scene_(std::move(scene)) {}

    int width() const override { return scene_.width; }
    int height() const override { return scene_.height; }
    int64_t frameCount() const override { return scene_.countKnown ? scene_.frames : 0; }
    void rewind() override { frame_ = -1; }
    bool advance() override;
    void read(const analysis::Rect &area, analysis::Picture &out) override;

    const Scene &scene() const { return scene_; }
    // What was asked for: reads of the whole picture, and the largest other area.
    int64_t wholeReads() const { return wholeReads_; }
    int64_t partReads() const { return partReads_; }
    int64_t largestPart() const { return largestPart_; }

  private:
    Scene scene_;
    int64_t frame_ = -1;
    int64_t wholeReads_ = 0;
    int64_t partReads_ = 0;
    int64_t largestPart_ = 0;
};

} // namespace pendra::test
