// How Pendra's in-place cost scales: with the frame's size (it should not),
// with the logo's area and with the smoothing iteration counts (it should).
// Each case processes one still frame again and again, so after the first
// frame there is no scene change: the steady state between cuts.
#include "bench/bench_setup.h"
#include "module/filter_settings.h"

#include <benchmark/benchmark.h>

#include <string>

namespace pendra::bench {

namespace {

// Args: frame height (16:9), logo width (5:12 logo), iteration factor.
void BM_PendraScaling(benchmark::State &state) {
    int height = static_cast<int>(state.range(0)), width = height * 16 / 9;
    int w = static_cast<int>(state.range(1)), h = w * 100 / 240;
    int factor = static_cast<int>(state.range(2));
    int x = width - w - 40, y = 40;
    Logo logo = Logo::make(w, h, benchOpacity);
    LogoSet set{workFolder() / ("scale-" + std::to_string(w))};
    set.write(logo);
    Picture frame;
    FootageGenerator(width, height).frame(0, frame);
    overlayLogo(frame, logo, x, y);
    PendraRunner runner(width, height, true, set, x, y, [&](FilterSettings &s) {
        s.b2 *= factor;
        s.b3 *= factor;
        s.bb *= factor;
    });
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        runner.load(frame);
        state.ResumeTiming();
        runner.run(n++);
    }
    state.SetLabel(std::to_string(width) + "x" + std::to_string(height) + ", logo " +
                   std::to_string(w) + "x" + std::to_string(h) + ", iterations x" +
                   std::to_string(factor));
}

} // namespace

BENCHMARK(BM_PendraScaling)
    ->Args({720, 240, 1})
    ->Args({1080, 240, 1})
    ->Args({2160, 240, 1})
    ->Args({1080, 120, 1})
    ->Args({1080, 480, 1})
    ->Args({1080, 240, 2})
    ->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });

} // namespace pendra::bench
