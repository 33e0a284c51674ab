// Formatting the corpus bench's results. A refused case scores the input as
// it is for --auto: that is what the user is left with.
#include "bench/corpus/table.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace pendra::corpus {

namespace {

// Mean luma gradient below which the clean box counts as smooth ground.
constexpr double smoothBelow = 4.0;

std::string format(const char *pattern, ...) {
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

std::string caseName(const Case &c) {
    return c.heldOut ? c.name + " (held out)" : c.name;
}

std::string shotRows(const CaseReport &r) {
    const CaseMedia &m = r.media;
    std::string rows;
    int number = 1;
    for (const ShotScore &s : r.result.shots) {
        const double autoPsnr = s.psnr[Auto];
        rows += format(
            "| %s | %s | %s %dx%d, %.2f, %s, %s | %s | %d (%lld-%lld) | %s %.1f | %.2f | %.2f | "
            "%.2f | %.2f%s | %+.2f |\n",
            caseName(r.c).c_str(), r.c.footage.c_str(), kindName(r.c.kind).c_str(), m.art.width,
            m.art.height, r.c.opacity, cornerName(r.c.corner).c_str(),
            presenceName(r.c.presence).c_str(), r.c.encoding.name.c_str(), number++,
            static_cast<long long>(s.first), static_cast<long long>(s.last),
            s.gradient < smoothBelow ? "smooth" : "textured", s.gradient, s.psnr[Input],
            s.psnr[Delogo], s.psnr[TrueCaptures], autoPsnr, r.result.refused ? " (refused)" : "",
            autoPsnr - s.psnr[Delogo]);
    }
    return rows;
}

std::string caseRow(const CaseReport &r) {
    const CaseMedia &m = r.media;
    const CaseResult &x = r.result;
    const std::string found =
        x.found ? format("%d,%d %dx%d", x.foundX, x.foundY, x.foundWidth, x.foundHeight)
                : std::string("none");
    const std::string rank = x.trueRank > 0 ? std::to_string(x.trueRank) : std::string("not found");
    // A refusal stops after the analysis; an accepted run also filters, as long as the true job's.
    const double analysis = x.refused ? x.autoSeconds : x.autoSeconds - x.trueSeconds;
    const std::string result = x.refused      ? "refused: " + x.message
                               : x.repairOnly ? std::string("accepted, repair alone")
                                              : std::string("accepted");
    const std::string opacity = x.opacityError ? format("%.3f", *x.opacityError) : std::string("-");
    const std::string away = x.awayFrames > 0 ? format("%.2f", x.awayPsnr) : std::string("-");
    return format(
        "| %s | %dx%d, %lld frames | %d,%d %dx%d | %s | %s | %s | %s | %.1f s | %.1f s | %s |\n",
        caseName(r.c).c_str(), m.frameWidth, m.frameHeight, static_cast<long long>(m.frames), m.x,
        m.y, m.art.width, m.art.height, found.c_str(), rank.c_str(), opacity.c_str(), away.c_str(),
        analysis, x.autoSeconds, result.c_str());
}

bool foundTheLogo(const CaseReport &r) {
    const CaseMedia &m = r.media;
    const CaseResult &x = r.result;
    const int cx = m.x + m.art.width / 2, cy = m.y + m.art.height / 2;
    return x.found && !x.refused && cx >= x.foundX && cy >= x.foundY &&
           cx < x.foundX + x.foundWidth && cy < x.foundY + x.foundHeight;
}

struct Summary {
    double sum[2] = {}, trueSum = 0, foundSum = 0;
    int shots[2] = {}, foundShots = 0, losses = 0, refusals = 0;
    double worst = 1e9, opacitySum = 0, worstAway = 99;
    int opacityCases = 0;
    std::string worstName;
};

std::string summarise(const std::vector<CaseReport> &reports, double seconds) {
    Summary s;
    for (const CaseReport &r : reports) {
        s.refusals += r.result.refused;
        if (r.result.opacityError)
            s.opacitySum += *r.result.opacityError, ++s.opacityCases;
        if (r.result.awayFrames > 0)
            s.worstAway = std::min(s.worstAway, r.result.awayPsnr);
        int number = 1;
        for (const ShotScore &shot : r.result.shots) {
            const double gain = shot.psnr[Auto] - shot.psnr[Delogo];
            s.sum[r.c.heldOut] += gain, ++s.shots[r.c.heldOut];
            s.trueSum += shot.psnr[TrueCaptures] - shot.psnr[Delogo];
            if (foundTheLogo(r))
                s.foundSum += gain, ++s.foundShots;
            s.losses += gain < 0;
            if (gain < s.worst)
                s.worst = gain, s.worstName = r.c.name + " shot " + std::to_string(number);
            ++number;
        }
    }
    const int all = s.shots[0] + s.shots[1];
    return format("- shots: %d in %zu cases; --auto below delogo in %d of them\n"
                  "- mean auto - delogo: %+.2f dB over all shots, %+.2f dB over the tuning "
                  "cases, %+.2f dB over the held-out ones\n"
                  "- mean auto - delogo where --auto's rectangle holds the logo's centre: %+.2f dB "
                  "over %d shots\n"
                  "- mean true captures - delogo: %+.2f dB\n"
                  "- worst shot: %s, %+.2f dB\n"
                  "- refusals: %d of %zu cases\n"
                  "- mean opacity error: %.3f over the %d cases un-blended\n"
                  "- worst ghost where the logo is away: %.2f dB against the input\n"
                  "- run time: %.0f s\n",
                  all, reports.size(), s.losses, (s.sum[0] + s.sum[1]) / std::max(all, 1),
                  s.sum[0] / std::max(s.shots[0], 1), s.sum[1] / std::max(s.shots[1], 1),
                  s.foundSum / std::max(s.foundShots, 1), s.foundShots,
                  s.trueSum / std::max(all, 1), s.worstName.c_str(), s.worst, s.refusals,
                  reports.size(), s.opacitySum / std::max(s.opacityCases, 1), s.opacityCases,
                  s.worstAway, seconds);
}

} // namespace

std::string formatTables(const std::vector<CaseReport> &reports, double seconds) {
    std::string out = "| Case | Footage | Logo: kind WxH, opacity, corner, presence | Encoding | "
                      "Shot (frames) | Ground (gradient) | Input | delogo | True captures | "
                      "--auto | auto - delogo |\n|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const CaseReport &r : reports)
        out += shotRows(r);
    out += "\n| Case | Video | True rectangle | Found rectangle | True logo's candidate rank | "
           "Opacity error | Away: --auto vs input | Analysis (about) | --auto in all | Result "
           "|\n|---|---|---|---|---|---|---|---|---|---|\n";
    for (const CaseReport &r : reports)
        out += caseRow(r);
    return out + "\n" + summarise(reports, seconds);
}

} // namespace pendra::corpus
