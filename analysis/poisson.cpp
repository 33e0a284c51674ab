// The Poisson integration of a difference field (see poisson.h), by conjugate
// gradients on the five-point Laplacian: it needs only a few vectors of the
// picture's size and converges in a few hundred steps on a logo's rectangle.
#include "analysis/poisson.h"

#include <cmath>
#include <cstddef>

namespace pendra::analysis {

namespace {

// Steps at most, and the residual (relative to the start) that is close enough.
constexpr int maxSteps = 2000;
constexpr double closeEnough = 1e-6;

// The Laplacian's action on the inner pixels: the outermost line is held at zero.
class Laplacian {
  public:
    Laplacian(int width, int height) : w_(width), h_(height) {}
    bool inner(int x, int y) const { return x > 0 && y > 0 && x < w_ - 1 && y < h_ - 1; }
    // Also returns the dot product of `v` and `out`, summed in the pixels' order.
    double apply(const std::vector<double> &v, std::vector<double> &out) const {
        double dot = 0;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) {
                const size_t k = static_cast<size_t>(y) * w_ + x;
                if (!inner(x, y)) {
                    out[k] = 0;
                    dot += v[k] * out[k];
                    continue;
                }
                // Every inner pixel has four neighbours; those on the outer line are zero.
                out[k] = 4 * v[k] - v[k - 1] - v[k + 1] - v[k - static_cast<size_t>(w_)] -
                         v[k + static_cast<size_t>(w_)];
                dot += v[k] * out[k];
            }
        return dot;
    }

  private:
    int w_, h_;
};

double dot(const std::vector<double> &a, const std::vector<double> &b) {
    double sum = 0;
    for (size_t k = 0; k < a.size(); ++k)
        sum += a[k] * b[k];
    return sum;
}

// The divergence side of the normal equations: for each inner pixel, the
// differences leaving it less those arriving.
std::vector<double> divergence(const std::vector<double> &right, const std::vector<double> &down,
                               int width, int height, const Laplacian &laplacian) {
    std::vector<double> b(static_cast<size_t>(width) * height, 0.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t k = static_cast<size_t>(y) * width + x;
            if (!laplacian.inner(x, y))
                continue;
            b[k] = right[k - 1] - right[k] + down[k - static_cast<size_t>(width)] - down[k];
        }
    return b;
}

} // namespace

std::vector<double> integrateDifferences(const std::vector<double> &right,
                                         const std::vector<double> &down, int width, int height) {
    const Laplacian laplacian(width, height);
    std::vector<double> r = divergence(right, down, width, height, laplacian);
    std::vector<double> v(r.size(), 0.0), p = r, ap(r.size());
    double rr = dot(r, r);
    const double stop = rr * closeEnough * closeEnough;
    for (int step = 0; step < maxSteps && rr > stop && rr > 0; ++step) {
        // The dot products are summed in the pixels' order, in the loops
        // that make their terms.
        const double alpha = rr / laplacian.apply(p, ap);
        double next = 0;
        for (size_t k = 0; k < v.size(); ++k) {
            v[k] += alpha * p[k];
            r[k] -= alpha * ap[k];
            next += r[k] * r[k];
        }
        for (size_t k = 0; k < p.size(); ++k)
            p[k] = r[k] + (next / rr) * p[k];
        rr = next;
    }
    return v;
}

} // namespace pendra::analysis
