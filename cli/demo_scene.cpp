#include "cli/demo_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pendra::cli {

namespace {

// A repeatable pseudo-random value in [0, 1) for a lattice point.
double latticeValue(int ix, int iy, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(ix) * 0x8da6b343u ^ static_cast<uint32_t>(iy) * 0xd8163841u ^
                 seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return static_cast<double>(h & 0xFFFFFF) / 16777216.0;
}

// Smoothly interpolated lattice noise in [0, 1).
double valueNoise(double u, double v, uint32_t seed) {
    double fu = std::floor(u), fv = std::floor(v);
    int iu = static_cast<int>(fu), iv = static_cast<int>(fv);
    double su = u - fu, sv = v - fv;
    su = su * su * (3 - 2 * su);
    sv = sv * sv * (3 - 2 * sv);
    double a = latticeValue(iu, iv, seed), b = latticeValue(iu + 1, iv, seed);
    double c = latticeValue(iu, iv + 1, seed), d = latticeValue(iu + 1, iv + 1, seed);
    return (a + (b - a) * su) * (1 - sv) + (c + (d - c) * su) * sv;
}

// Four octaves of noise: coarse shapes with fine grain on top.
double texture(double u, double v, uint32_t seed) {
    double sum = 0, amplitude = 0.5, scale = 1.0 / 48;
    for (int octave = 0; octave < 4; ++octave) {
        sum += amplitude * valueNoise(u * scale, v * scale, seed + static_cast<uint32_t>(octave));
        amplitude *= 0.5;
        scale *= 2.3;
    }
    return sum / 0.9375;
}

uint32_t rgb(double r, double g, double b) {
    auto channel = [](double v) {
        return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    return channel(r) << 16 | channel(g) << 8 | channel(b);
}

// Colour of a landscape texture value: water, grass, rock, snow for the
// first shot; a warm evening palette for the second.
uint32_t palette(double t, double detail, bool evening) {
    if (!evening) {
        if (t < 0.42)
            return rgb(30 + 60 * t, 70 + 120 * t, 140 + 160 * detail);
        if (t < 0.6)
            return rgb(60 + 90 * detail, 110 + 130 * t, 40 + 50 * detail);
        if (t < 0.75)
            return rgb(110 + 100 * detail, 100 + 90 * detail, 90 + 80 * detail);
        return rgb(215 + 40 * detail, 215 + 40 * detail, 225 + 30 * detail);
    }
    return rgb(120 + 135 * t, 50 + 150 * t * detail, 40 + 110 * (1 - t) * detail);
}

double coverage(double px, double py, int width, int height) {
    // The emblem in unit coordinates of the rectangle without its border.
    double u = px / width, v = py / height;
    double cx = 0.22, cy = 0.5, dx = (u - cx) * width / height, dy = v - cy;
    double ring = std::abs(std::sqrt(dx * dx + dy * dy) - 0.3);
    bool inRing = ring < 0.07;
    // A play triangle inside the ring.
    bool inTriangle = dx > -0.1 && dx < 0.14 && std::abs(dy) < (0.14 - dx) * 0.75;
    // Two bars to the right, like a station's letters.
    bool inBars = (u > 0.48 && u < 0.93 && std::abs(v - 0.35) < 0.09) ||
                  (u > 0.48 && u < 0.78 && std::abs(v - 0.66) < 0.09);
    return inRing || inTriangle || inBars ? 1.0 : 0.0;
}

} // namespace

void drawSampleFrame(int index, int frameCount, host::FrameBuffer &frame) {
    bool evening = index >= frameCount / 2;
    uint32_t seed = evening ? 77u : 11u;
    // Each shot pans steadily; the second runs the other way.
    double panX = evening ? -2.5 * index : 3.0 * index;
    double panY = evening ? 0.7 * index : 1.2 * index;
    int w = frame.width(), h = frame.height();
    // A ball crossing the picture near the top, where station logos sit.
    double ballX = w * (0.15 + 0.8 * (index % (frameCount / 2)) / (frameCount / 2.0));
    double ballY = h * 0.16 + 10 * std::sin(index * 0.3);
    double ballR = h * 0.08;
    for (int line = 0; line < h; ++line) {
        uint32_t *row = frame.row(h - 1 - line);
        for (int x = 0; x < w; ++x) {
            double u = x + panX, v = line + panY;
            double t = texture(u, v, seed);
            double detail = valueNoise(u / 6.0, v / 6.0, seed + 9);
            uint32_t p = palette(t, detail, evening);
            double bx = x - ballX, by = line - ballY;
            double d = std::sqrt(bx * bx + by * by);
            if (d < ballR) {
                double shade = 1.0 - 0.5 * d / ballR;
                p = rgb(230 * shade, 60 * shade + 40 * detail, 50 * shade);
            }
            row[x] = p;
        }
    }
}

SampleLogo::SampleLogo(int width, int height, double opacity, uint32_t colour)
    : width_(width), height_(height), colour_(colour),
      alpha_(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0) {
    // A clean border of six pixels keeps every logo pixel's neighbours in reach.
    const int border = 6;
    int innerW = width - 2 * border, innerH = height - 2 * border;
    const int samples = 4;
    for (int line = border; line < height - border; ++line)
        for (int x = border; x < width - border; ++x) {
            double covered = 0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx)
                    covered += coverage(x - border + (sx + 0.5) / samples,
                                        line - border + (sy + 0.5) / samples, innerW, innerH);
            alpha_[line * width_ + x] = opacity * covered / (samples * samples);
        }
}

uint32_t SampleLogo::blend(uint32_t picture, double a) const {
    auto channel = [&](int shift) {
        double s = (picture >> shift) & 0xFF, l = (colour_ >> shift) & 0xFF;
        return (1 - a) * s + a * l;
    };
    return rgb(channel(16), channel(8), channel(0));
}

void SampleLogo::composite(host::FrameBuffer &frame, int x, int y) const {
    for (int line = 0; line < height_; ++line)
        for (int c = 0; c < width_; ++c) {
            uint32_t &p = frame.atPicture(x + c, y + line);
            p = blend(p, alphaAt(c, line));
        }
}

RgbImage SampleLogo::over(uint32_t background) const {
    RgbImage image(width_, height_);
    for (int line = 0; line < height_; ++line)
        for (int c = 0; c < width_; ++c)
            image.at(c, line) = blend(background, alphaAt(c, line));
    return image;
}

RgbImage SampleLogo::interpolateMask() const {
    RgbImage mask(width_, height_, 0x000000);
    for (int line = 1; line + 1 < height_; ++line)
        for (int c = 1; c + 1 < width_; ++c) {
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    near = near || alphaAt(c + dx, line + dy) > 0;
            if (near)
                mask.at(c, line) = 0xFFFFFF;
        }
    return mask;
}

} // namespace pendra::cli
