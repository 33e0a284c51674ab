// Making a case's files. The logo is blended in RGB with its float opacity
// and piped to ffmpeg as raw frames, so the only loss is the encoder's, as in
// a broadcaster's chain; the twin goes through the same encoder settings.
#include "bench/corpus/case_media.h"

#include "bench/corpus/footage.h"
#include "bench/corpus/run_command.h"
#include "cli/bmp_file.h"
#include "cli/config_line.h"
#include "cli/pixel_convert.h"
#include "cli/video_reader.h"
#include "host/job_script.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace pendra::corpus {

namespace {

std::string rateText(AVRational rate) {
    return std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

// The case's encoder options and the output file.
std::string encoding(const Case &c, AVRational rate, const fs::path &out) {
    return c.encoding.options + " -an -threads 1 -r " + rateText(rate) + " " + out.string();
}

void placeLogo(const Case &c, CaseMedia &m) {
    const int mx = m.frameWidth / 25, my = m.frameHeight / 20;
    const bool left = c.corner == Corner::TopLeft || c.corner == Corner::BottomLeft;
    const bool top = c.corner == Corner::TopLeft || c.corner == Corner::TopRight;
    m.x = left ? mx : m.frameWidth - mx - m.art.width;
    m.y = top ? my : m.frameHeight - my - m.art.height;
}

// Reads the clean frames, lays the logo over them and pipes them to the encoder.
void writeInput(const Case &c, const fs::path &clean, CaseMedia &m, AVRational rate) {
    const fs::path part = m.input.parent_path() / ("part-" + m.input.filename().string());
    const std::string command = "ffmpeg -v error -nostdin -y -f rawvideo -pix_fmt rgb24 -s " +
                                std::to_string(m.frameWidth) + "x" + std::to_string(m.frameHeight) +
                                " -r " + rateText(rate) + " -i - " + encoding(c, rate, part);
    FILE *pipe = popen(command.c_str(), "w");
    cli::VideoReader reader(clean.string());
    cli::ToModulePixels convert;
    host::FrameBuffer frame(m.frameWidth, m.frameHeight);
    std::vector<unsigned char> line(size_t(m.frameWidth) * 3);
    for (int64_t n = 0; AVFrame *picture = reader.nextFrame(); ++n) {
        convert.convert(*picture, frame);
        const double weight = m.schedule.weight(n);
        for (int ly = 0; ly < m.art.height && weight > 0; ++ly)
            for (int lx = 0; lx < m.art.width; ++lx) {
                uint32_t &p = frame.atPicture(m.x + lx, m.y + ly);
                p = blendPixel(p, m.art.colourAt(lx, ly), weight * m.art.alphaAt(lx, ly));
            }
        for (int y = 0; y < m.frameHeight; ++y) {
            for (int x = 0; x < m.frameWidth; ++x) {
                const uint32_t p = frame.atPicture(x, y);
                line[size_t(x) * 3] = p >> 16 & 0xFF, line[size_t(x) * 3 + 1] = p >> 8 & 0xFF;
                line[size_t(x) * 3 + 2] = p & 0xFF;
            }
            fwrite(line.data(), 1, line.size(), pipe);
        }
    }
    if (pclose(pipe) != 0) {
        std::fprintf(stderr, "corpus-bench: failed: %s\n", command.c_str());
        std::exit(1);
    }
    fs::rename(part, m.input);
}

// The captures a careful user makes by hand: over black, over white, and the
// mask grown by one pixel, from the very opacity that was laid over; with a
// clean margin of two pixels, which the filter needs around its mask.
fs::path writeTrueSet(const CaseMedia &m, const fs::path &work) {
    const LogoArt &a = m.art;
    constexpr int margin = 2;
    const int w = a.width + 2 * margin, h = a.height + 2 * margin;
    auto alpha = [&](int x, int line) {
        x -= margin, line -= margin;
        return x < 0 || line < 0 || x >= a.width || line >= a.height ? 0.0 : a.alphaAt(x, line);
    };
    auto colour = [&](int x, int line) {
        return alpha(x, line) > 0 ? a.colourAt(x - margin, line - margin) : 0u;
    };
    cli::RgbImage black(w, h), white(w, h), mask(w, h);
    for (int line = 0; line < h; ++line)
        for (int x = 0; x < w; ++x) {
            black.at(x, line) = blendPixel(0, colour(x, line), alpha(x, line));
            white.at(x, line) = blendPixel(0xFFFFFF, colour(x, line), alpha(x, line));
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    near = near || alpha(x + dx, line + dy) > 0;
            mask.at(x, line) = near ? 0xFFFFFF : 0;
        }
    const std::string stem = (work / ("true_x_" + std::to_string(m.x - margin) + "_y_" +
                                      std::to_string(m.y - margin) + "_"))
                                 .string();
    cli::writeBmp(stem + "0.bmp", black);
    cli::writeBmp(stem + "1.bmp", white);
    cli::writeBmp(stem + "2.bmp", mask);
    return stem + "0.bmp";
}

// The filter the command makes of the captures (as Browse: alpha from the
// capture, pure un-blending), one per presence range, fades as the module
// counts them (a window of N + 1 frames).
void writeTrueJob(const CaseMedia &m, const fs::path &set, const std::string &pendra) {
    const fs::path base = m.trueJob.parent_path() / "true-base.job";
    runCommand(pendra + " preview " + m.input.string() + " --frame 0 --out " +
               (m.trueJob.parent_path() / "true-preview.png").string() + " --logo " + set.string() +
               " --save-job " + base.string() + " -y >/dev/null 2>&1");
    std::vector<host::JobEntry> entries = host::readJobFile(base), out;
    std::optional<cli::ConfigValues> values = cli::parseConfigLine(entries.at(0).call);
    for (const Range &r : m.schedule.ranges) {
        values->numbers.start = int(r.start);
        values->numbers.end = int(r.end);
        values->numbers.fadeIn = r.fadeIn > 0 ? r.fadeIn - 1 : 0;
        values->numbers.fadeOut = r.fadeOut > 0 ? r.fadeOut - 1 : 0;
        host::JobEntry entry = entries.at(0);
        entry.call = cli::formatConfigLine(*values);
        entry.line = 0;
        entry.lineText.clear();
        out.push_back(entry);
    }
    std::ostringstream text;
    host::writeJobScript(text, out);
    std::ifstream in(base);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("// pendra process:", 0) == 0)
            text << line << "\n";
    std::ofstream(m.trueJob) << text.str();
}

} // namespace

CaseMedia makeCaseMedia(const Case &c, const fs::path &cache, const fs::path &work,
                        const std::string &pendra) {
    fs::create_directories(work);
    const fs::path clean = makeCleanSource(c, cache, work);
    CaseMedia m;
    m.input = work / ("input." + c.encoding.extension);
    m.twin = work / ("twin." + c.encoding.extension);
    m.trueJob = work / "true.job";
    m.art = makeLogo(c, work);
    cli::VideoReader reader(clean.string());
    const AVRational rate = reader.frameRate();
    m.frameWidth = reader.width(), m.frameHeight = reader.height();
    m.frames = reader.expectedFrames();
    m.schedule = scheduleFor(c.presence, m.frames, av_q2d(rate));
    placeLogo(c, m);
    const fs::path twinPart = work / ("part-" + m.twin.filename().string());
    if (!fs::exists(m.twin))
        runCommand("ffmpeg -v error -nostdin -y -i " + clean.string() + " " +
                   encoding(c, rate, twinPart) + " && mv " + twinPart.string() + " " +
                   m.twin.string());
    if (!fs::exists(m.input))
        writeInput(c, clean, m, rate);
    writeTrueJob(m, writeTrueSet(m, work), pendra);
    return m;
}

} // namespace pendra::corpus
