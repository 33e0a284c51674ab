// Running sums and their solution for the per-pixel blend fit (see
// opacity_fit.h). With y = o - s the model is linear, y = m_c - a·s_c, so for
// a given a each m_c is a mean and the best a has a closed form over the
// centred sums of all three channels.
#include "analysis/opacity_fit.h"

#include <algorithm>
#include <cmath>

namespace pendra::analysis {

void OpacityFit::add(size_t k, const double background[3], const int observed[3]) {
    Sums &t = sums_[k];
    t.n += 1;
    for (int c = 0; c < 3; ++c) {
        double s = background[c];
        double y = observed[c] - s;
        t.s[c] += s;
        t.ss[c] += s * s;
        t.y[c] += y;
        t.sy[c] += s * y;
        t.yy[c] += y * y;
    }
}

void OpacityFit::merge(const OpacityFit &other) {
    for (size_t k = 0; k < sums_.size(); ++k) {
        Sums &t = sums_[k];
        const Sums &o = other.sums_[k];
        t.n += o.n;
        for (int c = 0; c < 3; ++c) {
            t.s[c] += o.s[c], t.ss[c] += o.ss[c], t.y[c] += o.y[c];
            t.sy[c] += o.sy[c], t.yy[c] += o.yy[c];
        }
    }
}

PixelEstimate OpacityFit::solve(size_t k) const {
    const Sums &t = sums_[k];
    PixelEstimate e;
    e.frames = t.n;
    if (t.n < 2)
        return e;
    double sss[3], ssy[3], syy[3], spread = 0, cross = 0;
    for (int c = 0; c < 3; ++c) {
        sss[c] = std::fmax(t.ss[c] - t.s[c] * t.s[c] / t.n, 0.0);
        ssy[c] = t.sy[c] - t.s[c] * t.y[c] / t.n;
        syy[c] = std::fmax(t.yy[c] - t.y[c] * t.y[c] / t.n, 0.0);
        spread += sss[c];
        cross += ssy[c];
    }
    // A background that never changed leaves a undetermined; call it clean.
    double a = spread > 1e-6 * t.n ? std::clamp(-cross / spread, 0.0, 1.0) : 0.0;
    double squares = 0;
    for (int c = 0; c < 3; ++c) {
        e.premultiplied[c] = std::clamp((t.y[c] + a * t.s[c]) / t.n, 0.0, 255.0 * a);
        // Residual of the fit, with the clamped m: the centred part plus the
        // offset the clamp introduced.
        double offset = (t.y[c] + a * t.s[c]) / t.n - e.premultiplied[c];
        squares += syy[c] + 2 * a * ssy[c] + a * a * sss[c] + t.n * offset * offset;
    }
    e.opacity = a;
    e.residualSquares = std::fmax(squares, 0.0);
    e.rms = std::sqrt(e.residualSquares / (3 * t.n));
    return e;
}

double OpacityFit::backgroundSpread(size_t k) const {
    const Sums &t = sums_[k];
    if (t.n < 2)
        return 0;
    double sum = 0;
    for (int c = 0; c < 3; ++c)
        sum += std::sqrt(std::fmax(t.ss[c] - t.s[c] * t.s[c] / t.n, 0.0) / t.n);
    return sum / 3;
}

} // namespace pendra::analysis
