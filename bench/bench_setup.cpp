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

// A full-frame mask for removelogo: white over the logo's pixels.
std::string removelogoMaskPath() {
    static const std::string path = [] {
        Picture mask{frameWidth, frameHeight,
                     std::vector<uint32_t>(static_cast<size_t>(frameWidth) * frameHeight, 0)};
        Picture logoMask = Logo::make(logoWidth, logoHeight, benchOpacity).mask();
        int baseRow = frameHeight - logoY - logoHeight;
        for (int r = 0; r < logoHeight; ++r)
            for (int c = 0; c < logoWidth; ++c)
                mask.at(baseRow + r, logoX + c) = logoMask.at(r, c);
        std::filesystem::create_directories(workFolder());
        std::string file = (workFolder() / "removelogo-mask.bmp").string();
        writeBmp(file, mask);
        return file;
    }();
    return path;
}

std::string delogoGraph() {
    return "delogo=x=" + std::to_string(logoX) + ":y=" + std::to_string(logoY) +
           ":w=" + std::to_string(logoWidth) + ":h=" + std::to_string(logoHeight);
}

std::string removelogoGraph() {
    return "removelogo=filename=" + removelogoMaskPath();
}

} // namespace pendra::bench
