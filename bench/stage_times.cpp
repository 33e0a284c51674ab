// Per-stage times of Pendra's run callback on the benchmark's 1080p footage:
// each stage called on its own on a started instance that has processed a
// frame, so that its buffers hold what a real frame leaves in them.
#include "bench/bench_setup.h"
#include "bench/pendra_runner.h"
#include "module/test_hooks.h"
#include "process/smoothing_kernels.h"
#include "process/stages.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace pendra::bench {

namespace {

// An in-place instance that has processed one scene-change frame.
struct StageFixture {
    PendraRunner runner{frameWidth, frameHeight, true, benchLogoSet(), logoX, logoY};
    FilterSettings *s;
    const FilterActivation *fa;
    StageFixture() {
        runner.load(footage()[0]);
        runner.run(0);
        s = &runner.instance().dataAs<FilterSettings>();
        fa = &runner.instance().activation();
    }
};

void BM_StageUnblend(benchmark::State &state) {
    StageFixture f;
    for (auto _ : state)
        unblendRect(f.s, f.s->sourceRect);
}

void BM_StageSceneMeasure(benchmark::State &state) {
    StageFixture f;
    for (auto _ : state)
        benchmark::DoNotOptimize(measureSceneChange(f.s, f.fa));
}

void BM_StageRepairPasses(benchmark::State &state) {
    StageFixture f;
    size_t bytes = static_cast<size_t>(f.s->logoWidth) * f.s->logoHeight * 4;
    for (auto _ : state) {
        std::memcpy(f.s->workMap, f.s->bitmapMask, bytes);
        repairFirstPass(f.s, f.fa, 1);
        repairSecondPass(f.s, f.fa, 1);
        repairClosingPass(f.s, f.fa);
    }
}

void BM_StageRepairBlur(benchmark::State &state) {
    StageFixture f;
    size_t bytes = static_cast<size_t>(f.s->logoWidth) * f.s->logoHeight * 4;
    std::memcpy(f.s->workMap, f.s->bitmapMask, bytes);
    repairBlurCounts(f.s);
    int n = f.s->b2 > f.s->b3 ? f.s->b2 : f.s->b3;
    for (auto _ : state)
        smoothRect(f.s, f.fa, f.s->smoothScratch, f.s->smoothImage, f.s->workMap, n);
}

void BM_StageBitmapBlur(benchmark::State &state) {
    StageFixture f;
    for (auto _ : state)
        smoothRect(f.s, f.fa, f.s->smoothScratch, f.s->smoothImage, f.s->blurPasses, f.s->bb);
}

// The smoothing with the SSE2 row kernel alone, the one the Windows build runs.
void BM_StageSmoothingSse2(benchmark::State &state) {
    StageFixture f;
    size_t bytes = static_cast<size_t>(f.s->logoWidth) * f.s->logoHeight * 4;
    const int previous = chooseSmoothKernel(SMOOTH_KERNEL_SSE2);
    for (auto _ : state) {
        std::memcpy(f.s->workMap, f.s->bitmapMask, bytes);
        repairBlurCounts(f.s);
        smoothRect(f.s, f.fa, f.s->smoothScratch, f.s->smoothImage, f.s->workMap, f.s->b3);
        smoothRect(f.s, f.fa, f.s->smoothScratch, f.s->smoothImage, f.s->blurPasses, f.s->bb);
    }
    chooseSmoothKernel(previous);
}

void BM_StageNoise(benchmark::State &state) {
    StageFixture f;
    for (auto _ : state)
        addNoise(f.s, f.fa);
}

// The run callback on a frame outside the range: the module's frame copy alone.
void BM_StageFrameCopy(benchmark::State &state) {
    PendraRunner runner(frameWidth, frameHeight, false, benchLogoSet(), logoX, logoY,
                        [](FilterSettings &s) { s.start = 1 << 30; });
    int n = 0;
    for (auto _ : state) {
        runner.run(n++);
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_StageFrameCopy)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });
BENCHMARK(BM_StageUnblend)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });
BENCHMARK(BM_StageSceneMeasure)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });
BENCHMARK(BM_StageRepairPasses)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });
BENCHMARK(BM_StageRepairBlur)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });
BENCHMARK(BM_StageBitmapBlur)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });
BENCHMARK(BM_StageSmoothingSse2)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });
BENCHMARK(BM_StageNoise)->Apply([](auto *b) { timed(b, benchmark::kMicrosecond); });

} // namespace pendra::bench
