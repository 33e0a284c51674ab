// Generated scenes and their FrameSource (see generated_source.h). Randomness
// comes from a hash of the scene's seed and the position, never from state,
// so any area of any frame can be rendered alone.
#include "tests/support/generated_source.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace pendra::test {

namespace {

uint64_t mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in [0, 1) from a list of numbers.
double uniform(uint64_t seed, int64_t a, int64_t b = 0, int64_t c = 0, int64_t d = 0) {
    uint64_t h = mix(seed);
    for (int64_t v : {a, b, c, d})
        h = mix(h ^ static_cast<uint64_t>(v));
    return static_cast<double>(h >> 11) / 9007199254740992.0;
}

int channelOf(uint32_t p, int c) {
    return static_cast<int>((p >> (16 - 8 * c)) & 255u);
}

uint32_t pack(const double v[3]) {
    uint32_t p = 0;
    for (int c = 0; c < 3; ++c)
        p = (p << 8) |
            static_cast<uint32_t>(std::clamp(static_cast<int>(std::lround(v[c])), 0, 255));
    return p;
}

// Smooth random texture: bilinear value noise on a lattice of `cell` pixels.
double valueNoise(uint64_t seed, double x, double y, double cell, int c) {
    double gx = std::floor(x / cell), gy = std::floor(y / cell);
    double fx = x / cell - gx, fy = y / cell - gy;
    auto corner = [&](double dx, double dy) {
        return uniform(seed, static_cast<int64_t>(gx + dx), static_cast<int64_t>(gy + dy), c, 77);
    };
    fx = fx * fx * (3 - 2 * fx), fy = fy * fy * (3 - 2 * fy);
    double top = corner(0, 0) * (1 - fx) + corner(1, 0) * fx;
    double bottom = corner(0, 1) * (1 - fx) + corner(1, 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

// Coverage of a pixel by a shape, from 4 x 4 samples: anti-aliased edges.
template <typename Inside> float coverage(int px, int py, Inside inside) {
    int hits = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            hits += inside(px + (i + 0.5) / 4, py + (j + 0.5) / 4);
    return static_cast<float>(hits / 16.0);
}

} // namespace

double GeneratedLogo::at(int fx, int fy) const {
    int lx = fx - x, ly = fy - y;
    if (lx < 0 || ly < 0 || lx >= width || ly >= height)
        return 0;
    return opacity[static_cast<size_t>(ly) * width + lx];
}

uint32_t GeneratedLogo::overBlack(int fx, int fy) const {
    double a = at(fx, fy), v[3];
    for (int c = 0; c < 3; ++c)
        v[c] = a * channelOf(colour, c);
    return pack(v);
}

GeneratedLogo textLogo(int x, int y, double opacity, uint32_t colour) {
    // Strokes of three block letters, in pixels (left, top, right, bottom),
    // at fractional positions so that every edge is anti-aliased.
    static const double strokes[][4] = {
        {0.5, 0.3, 9.6, 2.7},    {3.8, 0.3, 6.3, 13.6},                             // T
        {11.4, 0.3, 13.8, 9.5},  {18.3, 0.3, 20.7, 9.5},   {13.0, 9.0, 19.5, 13.6}, // U-like V
        {23.6, 0.3, 26.1, 13.6}, {22.2, 11.2, 27.4, 13.6}, {22.0, 0.3, 24.5, 2.6}   // 1
    };
    GeneratedLogo logo;
    logo.x = x, logo.y = y, logo.width = 28, logo.height = 14, logo.colour = colour;
    logo.opacity.resize(static_cast<size_t>(logo.width) * logo.height);
    for (int py = 0; py < logo.height; ++py)
        for (int px = 0; px < logo.width; ++px)
            logo.opacity[static_cast<size_t>(py) * logo.width + px] =
                static_cast<float>(opacity) * coverage(px, py, [](double u, double v) {
                    for (const auto &s : strokes)
                        if (u >= s[0] && u < s[2] && v >= s[1] && v < s[3])
                            return true;
                    return false;
                });
    return logo;
}

GeneratedLogo emblemLogo(int x, int y, int radius, double opacity, uint32_t colour) {
    GeneratedLogo logo;
    logo.x = x, logo.y = y, logo.width = 2 * radius + 1, logo.height = 2 * radius + 1;
    logo.colour = colour;
    logo.opacity.resize(static_cast<size_t>(logo.width) * logo.height);
    const double centre = radius + 0.5;
    for (int py = 0; py < logo.height; ++py)
        for (int px = 0; px < logo.width; ++px)
            logo.opacity[static_cast<size_t>(py) * logo.width + px] =
                static_cast<float>(opacity) * coverage(px, py, [&](double u, double v) {
                    double d = std::hypot(u - centre, v - centre);
                    return (d < radius - 0.3 && d > radius * 0.6) || d < radius * 0.3;
                });
    return logo;
}

uint32_t backgroundPixel(const Scene &scene, int64_t frame, int x, int y) {
    for (const StillPatch &p : scene.stillPatches)
        if (frame > p.from && frame <= p.to && x >= p.x && x < p.x + p.width && y >= p.y &&
            y < p.y + p.height)
            frame = p.from;
    int64_t shot = frame / scene.shotLength;
    double t = static_cast<double>(frame - shot * scene.shotLength);
    bool textured = scene.background == Background::Textured ||
                    scene.background == Background::Still ||
                    (scene.background == Background::Mixed && shot % 2 == 1);
    if (scene.background == Background::Still)
        shot = 0, t = 0;
    double v[3];
    for (int c = 0; c < 3; ++c) {
        const bool dim = scene.background == Background::Dim;
        double base = dim ? 3 + 8 * uniform(scene.seed, shot, c, 1)
                          : 80 + 95 * uniform(scene.seed, shot, c, 1);
        double drift = 6 * uniform(scene.seed, shot, c, 2) - 3;
        double sx = 0.6 * uniform(scene.seed, shot, c, 3) - 0.3;
        double sy = 0.6 * uniform(scene.seed, shot, c, 4) - 0.3;
        v[c] = base + drift * t + sx * (x - scene.width / 2.0) + sy * (y - scene.height / 2.0);
        if (textured) {
            double vx = 4 * uniform(scene.seed, shot, 5) - 2,
                   vy = 4 * uniform(scene.seed, shot, 6) - 2;
            v[c] += 70 * (valueNoise(scene.seed + static_cast<uint64_t>(shot), x - vx * t,
                                     y - vy * t, 5.0, c) -
                          0.5);
        }
    }
    return pack(v);
}

uint32_t scenePixel(const Scene &scene, int64_t frame, int x, int y) {
    if (frame < scene.blackFrames)
        return 0;
    uint32_t s = backgroundPixel(scene, frame, x, y);
    double v[3];
    for (int c = 0; c < 3; ++c)
        v[c] = channelOf(s, c);
    for (const Ball &ball : scene.balls) {
        if (frame < ball.from || frame > ball.to)
            continue;
        double t =
            ball.to > ball.from ? double(frame - ball.from) / double(ball.to - ball.from) : 0;
        double bx = ball.startX + t * (ball.endX - ball.startX);
        double by = ball.startY + t * (ball.endY - ball.startY);
        if (std::hypot(x + 0.5 - bx, y + 0.5 - by) < ball.radius)
            for (int c = 0; c < 3; ++c)
                v[c] = channelOf(ball.colour, c);
    }
    for (const GeneratedLogo &logo : scene.logos) {
        double a = logo.at(x, y);
        if (a <= 0)
            continue;
        if (logo.presence)
            a *= logo.presence(frame);
        for (int c = 0; c < 3; ++c)
            v[c] = (1 - a) * v[c] + a * channelOf(logo.colour, c);
    }
    if (scene.noise > 0)
        for (int c = 0; c < 3; ++c) {
            // Sum of four uniforms: close enough to Gaussian, variance 4/12.
            double n = 0;
            for (int i = 0; i < 4; ++i)
                n += uniform(scene.seed ^ 0x5EED, frame, x, y, c * 4 + i);
            v[c] += (n - 2) * std::sqrt(3.0) * scene.noise;
        }
    return pack(v);
}

bool GeneratedSource::advance() {
    if (frame_ + 1 >= scene_.frames)
        return false;
    ++frame_;
    return true;
}

void GeneratedSource::read(const analysis::Rect &area, analysis::Picture &out) {
    if (frame_ < 0 || area.x < 0 || area.y < 0 || area.width <= 0 || area.height <= 0 ||
        area.x + area.width > scene_.width || area.y + area.height > scene_.height)
        throw std::logic_error("read outside the picture or before the first frame");
    if (area.width == scene_.width && area.height == scene_.height) {
        ++wholeReads_;
    } else {
        ++partReads_;
        largestPart_ = std::max<int64_t>(largestPart_, int64_t{area.width} * area.height);
    }
    out = analysis::Picture(area.width, area.height);
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            out.at(x, y) = scenePixel(scene_, frame_, area.x + x, area.y + y);
}

} // namespace pendra::test
