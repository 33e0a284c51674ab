// Logo kinds built from layers (letters rendered by FFmpeg's drawtext in
// DejaVu Sans Bold, an anti-aliased ring and dot drawn here), composited with
// the "over" rule so that the whole logo is again one colour and opacity per
// pixel: what a broadcaster's graphics mixer lays over the picture.
#include "bench/corpus/logo_art.h"

#include "bench/corpus/run_command.h"
#include "cli/pixel_convert.h"
#include "cli/video_reader.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace fs = std::filesystem;

namespace pendra::corpus {

namespace {

struct Coverage {
    int width = 0, height = 0;
    std::vector<double> value;
    double at(int x, int line) const {
        return x < 0 || line < 0 || x >= width || line >= height ? 0
                                                                 : value[size_t(line) * width + x];
    }
};

struct Layer {
    Coverage coverage;
    uint32_t colour;
    int dx = 0, dy = 0;
    double strength = 1;
};

constexpr const char *font = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// White letters on black, read back as coverage; `border` widens them by
// that many pixels (the outline's extent).
Coverage renderText(const std::string &text, int fontSize, int border, const fs::path &work) {
    const int w = fontSize * int(text.size()) + 2 * border + 8, h = fontSize * 3 / 2 + 2 * border;
    const fs::path png =
        work / ("text-" + std::to_string(fontSize) + "-" + std::to_string(border) + ".png");
    std::string draw = "drawtext=fontfile=" + std::string(font) + ":text='" + text +
                       "':fontsize=" + std::to_string(fontSize) +
                       ":fontcolor=white:x=" + std::to_string(border + 2) +
                       ":y=" + std::to_string(border + 2);
    if (border > 0)
        draw += ":borderw=" + std::to_string(border) + ":bordercolor=white";
    runCommand("ffmpeg -v error -nostdin -y -f lavfi -i \"color=black:s=" + std::to_string(w) +
               "x" + std::to_string(h) + ",format=rgb24," + draw + "\" -frames:v 1 " +
               png.string());
    cli::VideoReader reader(png.string());
    cli::ToModulePixels convert;
    host::FrameBuffer frame(w, h);
    convert.convert(*reader.nextFrame(), frame);
    Coverage c{w, h, std::vector<double>(size_t(w) * h)};
    for (int line = 0; line < h; ++line)
        for (int x = 0; x < w; ++x)
            c.value[size_t(line) * w + x] = (frame.atPicture(x, line) >> 8 & 0xFF) / 255.0;
    return c;
}

// A ring with a dot in it, `size` across, anti-aliased over one pixel.
Coverage ring(int size) {
    Coverage c{size, size, std::vector<double>(size_t(size) * size)};
    const double centre = size / 2.0, radius = size * 0.4, thickness = std::max(2.0, size * 0.1);
    for (int line = 0; line < size; ++line)
        for (int x = 0; x < size; ++x) {
            const double r = std::hypot(x + 0.5 - centre, line + 0.5 - centre);
            const double band = std::clamp(thickness / 2 + 0.5 - std::abs(r - radius), 0.0, 1.0);
            const double dot = std::clamp(size * 0.14 + 0.5 - r, 0.0, 1.0);
            c.value[size_t(line) * size + x] = std::max(band, dot);
        }
    return c;
}

Coverage filledBox(int width, int height) {
    return {width, height, std::vector<double>(size_t(width) * height, 1.0)};
}

std::vector<Layer> layersFor(const Case &c, const fs::path &work) {
    const std::string text = c.logoWidth < 100 ? "TV5" : "CANAL 9";
    const int fontSize = std::max(10, int(std::lround(c.logoWidth / (0.74 * double(text.size())))));
    const int outline = std::max(1, fontSize / 12), shadow = std::max(1, fontSize / 14);
    const uint32_t white = 0xF0F0F0, black = 0x101010;
    switch (c.kind) {
    case LogoKind::Text:
        return {{renderText(text, fontSize, 0, work), white}};
    case LogoKind::Emblem:
        return {{ring(c.logoWidth), white}};
    case LogoKind::Outlined:
        return {{renderText(text, fontSize, outline, work), black},
                {renderText(text, fontSize, 0, work), white, outline, outline}};
    case LogoKind::TwoColour: {
        Coverage letters = renderText(text, fontSize, 0, work);
        return {{filledBox(c.logoWidth, fontSize * 5 / 4), 0xC02020, 0, 0, 0.8},
                {letters, white, 2, -fontSize / 8}};
    }
    case LogoKind::Shadowed:
        return {{renderText(text, fontSize, 0, work), black, shadow, shadow, 0.7},
                {renderText(text, fontSize, 0, work), white}};
    }
    return {};
}

} // namespace

uint32_t blendPixel(uint32_t under, uint32_t colour, double a) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const double s = under >> shift & 0xFF, l = colour >> shift & 0xFF;
        out |= uint32_t(std::lround((1 - a) * s + a * l)) << shift;
    }
    return out;
}

LogoArt makeLogo(const Case &c, const fs::path &work) {
    const std::vector<Layer> layers = layersFor(c, work);
    int w = 0, h = 0;
    for (const Layer &l : layers) {
        w = std::max(w, l.coverage.width + std::max(l.dx, 0));
        h = std::max(h, l.coverage.height + std::max(l.dy, 0));
    }
    // Over compositing, bottom layer first: premultiplied colour and opacity.
    std::vector<double> alpha(size_t(w) * h), premultiplied(size_t(w) * h * 3);
    for (const Layer &l : layers)
        for (int line = 0; line < h; ++line)
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(line) * w + x;
                const double a = l.strength * l.coverage.at(x - l.dx, line - l.dy);
                for (int k = 0; k < 3; ++k)
                    premultiplied[i * 3 + k] =
                        a * (l.colour >> (16 - 8 * k) & 0xFF) + (1 - a) * premultiplied[i * 3 + k];
                alpha[i] = a + (1 - a) * alpha[i];
            }
    int left = w, top = h, right = -1, bottom = -1;
    for (int line = 0; line < h; ++line)
        for (int x = 0; x < w; ++x)
            if (alpha[size_t(line) * w + x] > 0.002) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, line), bottom = std::max(bottom, line);
            }
    LogoArt art;
    art.width = right - left + 1, art.height = bottom - top + 1;
    for (int line = top; line <= bottom; ++line)
        for (int x = left; x <= right; ++x) {
            const size_t i = size_t(line) * w + x;
            const double a = alpha[i] > 0.002 ? alpha[i] : 0;
            uint32_t colour = 0;
            for (int k = 0; k < 3 && a > 0; ++k)
                colour |= uint32_t(std::clamp(std::lround(premultiplied[i * 3 + k] / a), 0L, 255L))
                          << (16 - 8 * k);
            art.alpha.push_back(a * c.opacity);
            art.colour.push_back(colour);
        }
    return art;
}

} // namespace pendra::corpus
