// Opacity from a set as the filter reads it: over black a·L, over white
// a·L + (1 − a)·255, so a = 1 − (white − black)/255 per channel; the three
// channels' mean is the pixel's.
#include "bench/corpus/opacity_error.h"

#include "bench/decoded_video.h"

#include <cmath>
#include <exception>
#include <memory>

namespace fs = std::filesystem;

namespace pendra::corpus {

namespace {

std::unique_ptr<bench::DecodedVideo> readPicture(const fs::path &file) {
    if (!fs::exists(file))
        return nullptr;
    try {
        cli::VideoReader probe(file.string());
        auto picture = std::make_unique<bench::DecodedVideo>(file, probe.width(), probe.height());
        return picture->next() ? std::move(picture) : nullptr;
    } catch (const std::exception &) {
        return nullptr;
    }
}

double opacityOf(uint32_t black, uint32_t white) {
    double sum = 0;
    for (int shift : {0, 8, 16})
        sum += 1 - (double(white >> shift & 0xFF) - double(black >> shift & 0xFF)) / 255;
    return sum / 3;
}

} // namespace

std::optional<double> opacityError(const CaseMedia &m, const fs::path &folder, int x, int y) {
    const std::string stem = "logo_x_" + std::to_string(x) + "_y_" + std::to_string(y) + "_";
    const auto black = readPicture(folder / (stem + "0.bmp"));
    const auto white = readPicture(folder / (stem + "1.bmp"));
    if (!black || !white)
        return std::nullopt;
    const int width = black->frame.width(), height = black->frame.height();
    double sum = 0;
    int64_t pixels = 0;
    for (int line = 0; line < m.art.height; ++line)
        for (int column = 0; column < m.art.width; ++column) {
            const double truth = m.art.alphaAt(column, line);
            if (truth <= 0)
                continue;
            const int bx = m.x + column - x, by = m.y + line - y;
            const bool inside = bx >= 0 && by >= 0 && bx < width && by < height;
            const double estimate = inside ? opacityOf(black->at(bx, by), white->at(bx, by)) : 0;
            sum += std::abs(estimate - truth);
            ++pixels;
        }
    return pixels > 0 ? std::optional<double>(sum / double(pixels)) : std::nullopt;
}

} // namespace pendra::corpus
