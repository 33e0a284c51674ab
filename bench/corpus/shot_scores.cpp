// Per-shot scores. A shot starts where the mean absolute change of a 16x9
// grid of luma means exceeds 18 levels and three times the recent changes
// (a cut, not a pan); no cut is taken within 12 frames (or a fortieth of the
// clip) of the last, so a flash does not make a shot of its own.
#include "bench/corpus/shot_scores.h"

#include "bench/decoded_video.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace fs = std::filesystem;

namespace pendra::corpus {

namespace {

using Video = bench::DecodedVideo;

double luma(uint32_t p) {
    return 0.299 * (p >> 16 & 0xFF) + 0.587 * (p >> 8 & 0xFF) + 0.114 * (p & 0xFF);
}

std::array<double, 144> thumbnail(const host::FrameBuffer &f) {
    std::array<double, 144> cells{};
    for (int y = 0; y < f.height(); y += 2)
        for (int x = 0; x < f.width(); x += 2)
            cells[size_t(y * 9 / f.height()) * 16 + size_t(x * 16 / f.width())] +=
                luma(f.at(f.height() - 1 - y, x));
    const double perCell = double(f.width()) * f.height() / 4 / 144;
    for (double &c : cells)
        c /= perCell;
    return cells;
}

double boxGradient(const host::FrameBuffer &f, const CaseMedia &m) {
    double sum = 0;
    for (int y = m.y; y < m.y + m.art.height - 1; ++y)
        for (int x = m.x; x < m.x + m.art.width - 1; ++x) {
            const double here = luma(f.at(f.height() - 1 - y, x));
            sum += std::hypot(luma(f.at(f.height() - 1 - y, x + 1)) - here,
                              luma(f.at(f.height() - 2 - y, x)) - here);
        }
    return sum / (double(m.art.width - 1) * (m.art.height - 1));
}

double boxError(const host::FrameBuffer &a, const host::FrameBuffer &b, const CaseMedia &m) {
    double sum = 0;
    for (int y = m.y; y < m.y + m.art.height; ++y)
        for (int x = m.x; x < m.x + m.art.width; ++x) {
            const uint32_t p = a.at(a.height() - 1 - y, x), q = b.at(b.height() - 1 - y, x);
            for (int shift : {0, 8, 16}) {
                const double d = double(p >> shift & 0xFF) - double(q >> shift & 0xFF);
                sum += d * d;
            }
        }
    return sum;
}

struct Accumulator {
    ShotScore shot;
    double error[methodCount] = {};
    double gradientSum = 0;
    int64_t frames = 0;
};

ShotScore finish(Accumulator &a, const CaseMedia &m) {
    const double samples = 3.0 * m.art.width * m.art.height * double(a.shot.framesScored);
    for (int k = 0; k < methodCount; ++k)
        a.shot.psnr[k] =
            a.error[k] > 0 ? 10 * std::log10(255.0 * 255.0 * samples / a.error[k]) : 99;
    a.shot.gradient = a.gradientSum / double(std::max<int64_t>(a.frames, 1));
    return a.shot;
}

} // namespace

CaseScores scoreShots(const CaseMedia &m, const std::vector<fs::path> &outputs) {
    Video twin(m.twin, m.frameWidth, m.frameHeight);
    std::vector<std::unique_ptr<Video>> videos;
    for (int k = 0; k < methodCount; ++k)
        videos.push_back(std::make_unique<Video>(outputs[k].empty() ? m.input : outputs[k],
                                                 m.frameWidth, m.frameHeight));
    const int64_t minimumShot = std::max<int64_t>(12, m.frames / 40);
    CaseScores scores;
    std::vector<ShotScore> &shots = scores.shots;
    double awayError = 0;
    Accumulator current;
    std::array<double, 144> before{};
    double recent = 0;
    for (int64_t n = 0; twin.next(); ++n) {
        for (auto &v : videos)
            v->next();
        const std::array<double, 144> cells = thumbnail(twin.frame);
        double change = 0;
        for (size_t i = 0; i < cells.size(); ++i)
            change += std::abs(cells[i] - before[i]) / double(cells.size());
        before = cells;
        if (n > 0 && change > std::max(18.0, 3 * recent) && n - current.shot.first >= minimumShot) {
            current.shot.last = n - 1;
            if (current.shot.framesScored > 0)
                shots.push_back(finish(current, m));
            current = Accumulator{};
            current.shot.first = n;
        }
        recent = n == 0 ? change : 0.8 * recent + 0.2 * change;
        current.shot.last = n;
        current.gradientSum += boxGradient(twin.frame, m);
        ++current.frames;
        if (m.schedule.weight(n) <= 0) {
            awayError += boxError(videos[Auto]->frame, videos[Input]->frame, m);
            ++scores.awayFrames;
            continue;
        }
        ++current.shot.framesScored;
        for (int k = 0; k < methodCount; ++k)
            current.error[k] += boxError(videos[size_t(k)]->frame, twin.frame, m);
    }
    if (current.shot.framesScored > 0)
        shots.push_back(finish(current, m));
    const double awaySamples = 3.0 * m.art.width * m.art.height * double(scores.awayFrames);
    if (awayError > 0)
        scores.awayPsnr = 10 * std::log10(255.0 * 255.0 * awaySamples / awayError);
    return scores;
}

} // namespace pendra::corpus
