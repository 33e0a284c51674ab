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

PixelEstimate OpacityFit::solve(size_t k, const ColourPrior &prior) const {
    const Sums &t = sums_[k];
    PixelEstimate e;
    e.frames = t.n;
    if (t.n < 2)
        return e;
    // The prior adds lambda pseudo-frames saying m = a·L. For a given a the
    // best m_c is then (Y_c + a·(S_c + lambda·L_c)) / (n + lambda), and what is
    // left is a quadratic in a: A·a² + 2B·a + C. Without a prior A and B are
    // the centred sums of s·s and s·y.
    const double lambda = prior.weight * t.n;
    const double total = t.n + lambda;
    double quadratic = 0, linear = 0, spread = 0;
    double centredSS[3];
    for (int c = 0; c < 3; ++c) {
        const double w = (t.s[c] + lambda * prior.colour[c]) / total; // d m / d a
        const double u = t.y[c] / total;                              // m at a = 0
        const double centred = centredSS[c] = std::fmax(t.ss[c] - t.s[c] * t.s[c] / t.n, 0.0);
        spread += centred;
        // Σ(s - w)² written around the centred sum, which keeps its precision.
        const double offset = t.s[c] / t.n - w;
        quadratic += centred + t.n * offset * offset +
                     lambda * (w - prior.colour[c]) * (w - prior.colour[c]);
        linear +=
            t.sy[c] - w * t.y[c] - u * t.s[c] + t.n * u * w + lambda * u * (w - prior.colour[c]);
    }
    // A background that never changed, and no prior, leaves a undetermined; call it clean.
    const bool determined = lambda > 0 ? quadratic > 1e-12 : spread > 1e-6 * t.n;
    const double a = determined ? std::clamp(-linear / quadratic, 0.0, 1.0) : 0.0;
    double squares = 0;
    for (int c = 0; c < 3; ++c) {
        e.premultiplied[c] =
            std::clamp((t.y[c] + a * (t.s[c] + lambda * prior.colour[c])) / total, 0.0, 255.0 * a);
        // The frames' own residual, Σ(y + a·s - m)², around the unclamped
        // best m for this a (centred sums) plus the offset of the m used.
        const double centredSY = t.sy[c] - t.s[c] * t.y[c] / t.n;
        const double centredYY = std::fmax(t.yy[c] - t.y[c] * t.y[c] / t.n, 0.0);
        const double offset = (t.y[c] + a * t.s[c]) / t.n - e.premultiplied[c];
        squares += centredYY + 2 * a * centredSY + a * a * centredSS[c] + t.n * offset * offset;
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
