// Pendra's speed against a plain frame copy and FFmpeg's delogo and
// removelogo on 1080p frames with a 240 x 100 logo, then the quality of each
// on logos of known opacity. Run: build-native/bin/pendra-bench
#include "bench/bench_setup.h"
#include "bench/ffmpeg_logo_filter.h"
#include "bench/pendra_runner.h"
#include "bench/quality.h"
#include "bench/test_scene.h"
#include "module/filter_settings.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

using namespace pendra::bench;

namespace {

// The floor: a plain memcpy of the frame between two host frame buffers,
// with the source loaded outside the timing exactly as for Pendra's
// separate-buffer run.
void BM_FrameCopy(benchmark::State &state) {
    const std::vector<Picture> &frames = footage();
    pendra::host::FrameBuffer src(frameWidth, frameHeight), dst(frameWidth, frameHeight);
    size_t bytes = static_cast<size_t>(frameWidth) * frameHeight * 4;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(src.row(0), frames[n++ % footageFrames].pixels.data(), bytes);
        state.ResumeTiming();
        std::memcpy(dst.row(0), src.row(0), bytes);
        benchmark::DoNotOptimize(dst.row(0));
        benchmark::ClobberMemory();
    }
}

void runPendra(benchmark::State &state, bool inPlace) {
    const std::vector<Picture> &frames = footage();
    PendraRunner runner(frameWidth, frameHeight, inPlace, benchLogoSet(), logoX, logoY);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        runner.load(frames[n % footageFrames]);
        state.ResumeTiming();
        runner.run(n++);
        benchmark::ClobberMemory();
    }
}

void BM_PendraSeparate(benchmark::State &state) {
    runPendra(state, false);
}
void BM_PendraInPlace(benchmark::State &state) {
    runPendra(state, true);
}

// The footage converted once to the format FFmpeg's filters work in.
const std::vector<AVFrame *> &yuvFootage() {
    static const std::vector<AVFrame *> frames = [] {
        std::vector<AVFrame *> out;
        for (const Picture &p : footage()) {
            AVFrame *f = allocYuvFrame(frameWidth, frameHeight);
            rgbToYuv(p.pixels.data(), frameWidth, frameHeight, frameWidth, *f);
            out.push_back(f);
        }
        return out;
    }();
    return frames;
}

void runFfmpeg(benchmark::State &state, const std::string &graph) {
    const std::vector<AVFrame *> &frames = yuvFootage();
    FfmpegLogoFilter filter(frameWidth, frameHeight, graph);
    int n = 0;
    for (auto _ : state) {
        const AVFrame &out = filter.process(*frames[n++ % footageFrames]);
        benchmark::DoNotOptimize(out.data[0]);
    }
}

void BM_Delogo(benchmark::State &state) {
    runFfmpeg(state, delogoGraph());
}

// delogo on a frame it owns alone, so it works in place like Pendra's
// in-place run; the frame is copied outside the timing.
void BM_DelogoInPlace(benchmark::State &state) {
    const std::vector<AVFrame *> &frames = yuvFootage();
    FfmpegLogoFilter filter(frameWidth, frameHeight, delogoGraph());
    AVFrame *own = av_frame_alloc();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const AVFrame &from = *frames[n++ % footageFrames];
        own->format = from.format;
        own->width = from.width;
        own->height = from.height;
        if (av_frame_get_buffer(own, 0) < 0 || av_frame_copy(own, &from) < 0) {
            state.SkipWithError("cannot copy a frame");
            break;
        }
        state.ResumeTiming();
        const AVFrame &out = filter.processOwned(own);
        benchmark::DoNotOptimize(out.data[0]);
    }
    av_frame_free(&own);
}
void BM_Removelogo(benchmark::State &state) {
    runFfmpeg(state, removelogoGraph());
}

BENCHMARK(BM_FrameCopy)->Apply([](auto *b) { timed(b, benchmark::kMillisecond); });
BENCHMARK(BM_PendraSeparate)->Apply([](auto *b) { timed(b, benchmark::kMillisecond); });
BENCHMARK(BM_PendraInPlace)->Apply([](auto *b) { timed(b, benchmark::kMillisecond); });
BENCHMARK(BM_Delogo)->Apply([](auto *b) { timed(b, benchmark::kMillisecond); });
BENCHMARK(BM_DelogoInPlace)->Apply([](auto *b) { timed(b, benchmark::kMillisecond); });
BENCHMARK(BM_Removelogo)->Apply([](auto *b) { timed(b, benchmark::kMillisecond); });

// Keeps each benchmark's time per iteration for the ratio table.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min" &&
                !run.error_occurred)
                seconds[run.run_name.function_name] = run.GetAdjustedCPUTime() / 1000.0;
        ConsoleReporter::ReportRuns(runs);
    }
};

void printRatios(const std::map<std::string, double> &ms) {
    auto get = [&](const char *name) {
        auto it = ms.find(name);
        return it == ms.end() ? 0.0 : it->second;
    };
    double copy = get("BM_FrameCopy"), separate = get("BM_PendraSeparate"),
           inPlace = get("BM_PendraInPlace"), delogo = get("BM_Delogo"),
           removelogo = get("BM_Removelogo"), delogoInPlace = get("BM_DelogoInPlace");
    std::printf("\nRatios per frame (1080p, %dx%d logo; fastest of %d repetitions, CPU time)\n",
                logoWidth, logoHeight, repetitions);
    std::printf("  %-40s %8s %8s\n", "", "ratio", "target");
    if (copy > 0)
        std::printf("  %-40s %8.2f %8s\n", "Pendra separate buffers / frame copy", separate / copy,
                    "<= 1.3");
    if (delogo > 0)
        std::printf("  %-40s %8.2f %8s\n", "Pendra in place / delogo", inPlace / delogo, "<= 1");
    if (delogoInPlace > 0)
        std::printf("  %-40s %8.2f %8s\n", "Pendra in place / delogo in place",
                    inPlace / delogoInPlace, "(info)");
    if (removelogo > 0)
        std::printf("  %-40s %8.3f %8s\n", "Pendra in place / removelogo", inPlace / removelogo,
                    "<= 0.1");
}

// How many of the footage's frames the filter takes for scene changes (the
// repair passes run on those only): a frame whose run refreshed the snapshot
// of the repaired rectangle.
void printSceneChangeRate() {
    const std::vector<Picture> &frames = footage();
    PendraRunner runner(frameWidth, frameHeight, true, benchLogoSet(), logoX, logoY);
    const FilterSettings &s = runner.instance().dataAs<FilterSettings>();
    size_t words = static_cast<size_t>(logoWidth) * logoHeight;
    std::vector<uint32_t> before(words);
    int changes = 0, total = 2 * footageFrames;
    for (int n = 0; n < total; ++n) {
        std::memcpy(before.data(), s.rectPixels, words * 4);
        runner.load(frames[n % footageFrames]);
        runner.run(n);
        changes += std::memcmp(before.data(), s.rectPixels, words * 4) != 0;
    }
    std::printf("\nScene changes taken by the filter: %d of %d frames\n", changes, total);
}

} // namespace

int main(int argc, char **argv) {
    // --skip-quality leaves out the quality table (the slowest part).
    bool quality = true;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--skip-quality") == 0)
            quality = false;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter.seconds);
    printSceneChangeRate();
    if (quality)
        printQualityTable();
    benchmark::Shutdown();
    return 0;
}
