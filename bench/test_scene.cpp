#include "bench/test_scene.h"
#include "cli/bmp_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace pendra::bench {

namespace {

uint32_t rgb(int r, int g, int b) {
    auto clamp = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return clamp(r) << 16 | clamp(g) << 8 | clamp(b);
}

int channel(uint32_t pixel, int shift) {
    return static_cast<int>((pixel >> shift) & 0xFF);
}

// A cheap deterministic hash for texture grain.
uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Is (px, py) inside the logo's shape: a ring emblem on the left and three
// block letters on the right, in a logo of w x h (py = 0 at the top)?
bool inShape(int px, int py, int w, int h, int border) {
    int inner = h - 2 * border;
    double cx = border + inner / 2.0, cy = h / 2.0;
    double d = std::hypot(px + 0.5 - cx, py + 0.5 - cy);
    if (d < inner / 2.0 && d > inner / 2.0 - inner / 6.0)
        return true;
    if (std::fabs(px + 0.5 - cx) < inner / 10.0 && std::fabs(py + 0.5 - cy) < inner / 3.0)
        return true;
    // Letters "P", "N", "D" as strokes in cells right of the emblem.
    int x0 = border + inner + border, cellW = (w - border - x0) / 3,
        stroke = std::max(3, inner / 7);
    for (int k = 0; k < 3; ++k) {
        int left = x0 + k * cellW, right = left + cellW - border;
        int top = border, bottom = h - border;
        if (px < left || px >= right || py < top || py >= bottom)
            continue;
        bool vertLeft = px < left + stroke;
        bool vertRight = px >= right - stroke;
        bool horzTop = py < top + stroke;
        bool horzMid = std::abs(py - (top + bottom) / 2) < stroke / 2 + 1;
        bool horzBottom = py >= bottom - stroke;
        if (k == 0 && (vertLeft || horzTop || (horzMid && px < right) ||
                       (vertRight && py < (top + bottom) / 2)))
            return true;
        if (k == 1) {
            double t = static_cast<double>(py - top) / (bottom - top);
            int diag = left + static_cast<int>(t * (right - left - stroke));
            if (vertLeft || vertRight || (px >= diag && px < diag + stroke))
                return true;
        }
        if (k == 2 && (vertLeft || horzTop || horzBottom ||
                       (vertRight && py > top + stroke / 2 && py < bottom - stroke / 2)))
            return true;
    }
    return false;
}

} // namespace

Logo Logo::make(int width, int height, double maxOpacity, int border) {
    Logo logo;
    logo.width = width;
    logo.height = height;
    logo.opacity.assign(static_cast<size_t>(width) * height, 0.0);
    logo.colour.assign(static_cast<size_t>(width) * height, 0);
    for (int row = 0; row < height; ++row) {
        int py = height - 1 - row;
        for (int col = 0; col < width; ++col) {
            // Anti-aliased edges: coverage of a 4x4 supersample.
            int covered = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    covered +=
                        inShape(col * 4 + sx, py * 4 + sy, width * 4, height * 4, border * 4);
            size_t k = static_cast<size_t>(row) * width + col;
            logo.opacity[k] = maxOpacity * covered / 16.0;
            // A slightly warm white, brighter at the top.
            logo.colour[k] = rgb(250, 245 - py / 8, 230 - py / 5);
        }
    }
    return logo;
}

Picture Logo::capture(int background) const {
    Picture out{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    for (size_t k = 0; k < out.pixels.size(); ++k) {
        double a = opacity[k];
        int c[3];
        for (int i = 0; i < 3; ++i) {
            int l = channel(colour[k], 16 - 8 * i);
            c[i] = static_cast<int>(std::lround((1 - a) * background + a * l));
        }
        out.pixels[k] = rgb(c[0], c[1], c[2]);
    }
    return out;
}

Picture Logo::mask() const {
    Picture out{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            // Grow the shape by one pixel so faint anti-aliased edges are rebuilt too.
            bool logoPixel = false;
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    int r = row + dr, c = col + dc;
                    if (r >= 0 && r < height && c >= 0 && c < width &&
                        opacity[static_cast<size_t>(r) * width + c] > 0)
                        logoPixel = true;
                }
            out.at(row, col) = logoPixel ? 0xFFFFFFu : 0u;
        }
    return out;
}

FootageGenerator::FootageGenerator(int width, int height, int sceneLength)
    : width_(width), height_(height), sceneLength_(sceneLength) {}

void FootageGenerator::frame(int n, Picture &out) const {
    out.width = width_;
    out.height = height_;
    out.pixels.resize(static_cast<size_t>(width_) * height_);
    int scene = n / sceneLength_;
    int t = n % sceneLength_;
    uint32_t seed = hash(static_cast<uint32_t>(scene) * 977u + 13u);
    double fx = 0.004 + (seed & 0xFF) / 25600.0, fy = 0.006 + ((seed >> 8) & 0xFF) / 25600.0;
    int baseR = 40 + (seed >> 16) % 150, baseG = 40 + (seed >> 20) % 150,
        baseB = 40 + (seed >> 24) % 150;
    double panX = t * 2.5, panY = t * 0.8;
    for (int row = 0; row < height_; ++row) {
        double y = height_ - 1 - row + panY;
        double sy = std::sin(y * fy), cy2 = std::cos(y * fy * 2.3);
        for (int col = 0; col < width_; ++col) {
            double x = col + panX;
            double v = std::sin(x * fx) * sy + 0.5 * std::cos(x * fx * 3.1 + cy2);
            int grain = static_cast<int>(hash(static_cast<uint32_t>(x) * 7919u +
                                              static_cast<uint32_t>(y) * 104729u) &
                                         7) -
                        4;
            int r = baseR + static_cast<int>(60 * v) + grain;
            int g = baseG + static_cast<int>(50 * std::sin(v * 2.0 + x * 0.001)) + grain;
            int b = baseB + static_cast<int>(40 * std::cos(v + y * 0.002)) + grain;
            out.at(row, col) = rgb(r, g, b);
        }
    }
}

void overlayLogo(Picture &picture, const Logo &logo, int x, int y) {
    int baseRow = picture.height - y - logo.height;
    for (int row = 0; row < logo.height; ++row)
        for (int col = 0; col < logo.width; ++col) {
            size_t k = static_cast<size_t>(row) * logo.width + col;
            double a = logo.opacity[k];
            if (a <= 0)
                continue;
            uint32_t &p = picture.at(baseRow + row, x + col);
            int c[3];
            for (int i = 0; i < 3; ++i)
                c[i] = static_cast<int>(std::lround((1 - a) * channel(p, 16 - 8 * i) +
                                                    a * channel(logo.colour[k], 16 - 8 * i)));
            p = rgb(c[0], c[1], c[2]);
        }
}

double rectanglePsnr(const Picture &a, const Picture &b, int x, int y, int w, int h) {
    int baseRow = a.height - y - h;
    double sum = 0;
    for (int row = baseRow; row < baseRow + h; ++row)
        for (int col = x; col < x + w; ++col)
            for (int shift = 0; shift <= 16; shift += 8) {
                double d = channel(a.at(row, col), shift) - channel(b.at(row, col), shift);
                sum += d * d;
            }
    double mse = sum / (3.0 * w * h);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

void writeBmp(const std::string &path, const Picture &picture) {
    // The command's writer, which stores top line first pictures bottom line first.
    cli::RgbImage image(picture.width, picture.height);
    for (int r = 0; r < picture.height; ++r)
        for (int c = 0; c < picture.width; ++c)
            image.at(c, picture.height - 1 - r) = picture.at(r, c);
    cli::writeBmp(path, image);
}

} // namespace pendra::bench
