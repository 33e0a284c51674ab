#include "bench/bench_setup.h"

#include <algorithm>

namespace pendra::bench {

benchmark::internal::Benchmark *timed(benchmark::internal::Benchmark *b, benchmark::TimeUnit unit) {
    return b->Unit(unit)
        ->Repetitions(repetitions)
        ->ComputeStatistics(
            "min",
            [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); })
        ->DisplayAggregatesOnly(true);
}

std::filesystem::path workFolder() {
    return std::filesystem::temp_directory_path() / "pendra-bench";
}

const std::vector<Picture> &footage() {
    static const std::vector<Picture> frames = [] {
        FootageGenerator generator(frameWidth, frameHeight, 12);
        Logo logo = Logo::make(logoWidth, logoHeight, benchOpacity);
        std::vector<Picture> out(footageFrames);
        for (int n = 0; n < footageFrames; ++n) {
            generator.frame(n, out[n]);
            overlayLogo(out[n], logo, logoX, logoY);
        }
        return out;
    }();
    return frames;
}

const LogoSet &benchLogoSet() {
    static const LogoSet set = [] {
        LogoSet s{workFolder() / "speed"};
        s.write(Logo::make(logoWidth, logoHeight, benchOpacity));
        return s;
    }();
    return set;
}

} // namespace pendra::bench
