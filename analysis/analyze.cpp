// The analysis's order of work: the location (only without a given
// rectangle) ranks the places where something stays put; the estimation then
// tries them in rank order. When no place's opacity can be measured, the
// first-ranked one, whose edges persist across shots, is still a logo: it is
// repaired from around. Further marks elsewhere (a programme tag beside the channel's
// logo) are estimated too. Only when no place holds a logo is the analysis
// refused, with what was tried.
#include "analysis/estimate.h"
#include "analysis/location_pass.h"
#include "analysis/logo_analysis.h"
#include "analysis/repair_shape.h"
#include "analysis/shared_reading.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace pendra::analysis {

namespace {

// Marks estimated at most, and places tried at most to find them.
constexpr size_t maxLogos = 3;
constexpr int maxTries = 6;
// A place that stays still in fewer of the shots seen is a still part of
// the picture (a static shot, a slow pan's far side), not a logo.
constexpr double minShotShare = 0.34;
// A place repaired without its opacity must persist in this share of shots.
constexpr double repairShotShare = 0.5;
// A further mark must score at least this share of the first logo's.
constexpr double otherScoreShare = 0.2;
// A place scoring less is no logo: a faint still spot of the picture (a hand
// held still a moment, a speck of texture), where every logo the corpus
// holds scores twice this and more. Below it the analysis refuses.
constexpr double minScore = 8.0;

bool overlaps(const Rect &a, const Rect &b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

std::string repairWhy(const std::string &failure) {
    return "its opacity could not be measured (" + failure +
           "), so the job repairs the whole mark from around it";
}

// Where a mark repaired without its opacity is there: where its edges
// showed, as the failed reading watched them, or else every frame read.
std::vector<PresenceRange> repairPresence(const EstimateFailure &failure, const Range &range) {
    std::vector<PresenceRange> ranges = failure.presence.value_or(std::vector<PresenceRange>{});
    if (ranges.empty() && failure.frames > 0)
        ranges.push_back({range.first, range.first + failure.frames - 1, 0, 0});
    return ranges;
}

// The rectangle the user gave; its shape comes from the edges that persist
// inside it when its opacity cannot be measured, and its presence from where
// they show, read once more.
LogoEstimate estimateGiven(FrameSource &source, const Range &range, const Options &options,
                           Result &tried) {
    const Rect &r = *options.rect;
    if (r.width < 3 || r.height < 3 || r.x < 0 || r.y < 0 || r.x + r.width > source.width() ||
        r.y + r.height > source.height())
        throw Refusal("the rectangle " + rectText(r) + " does not lie inside the " +
                      std::to_string(source.width()) + "x" + std::to_string(source.height()) +
                      " picture with room for a ring of clean pixels; give one inside it");
    tried.rect = r;
    try {
        return estimateAt(source, range, options, r, false, tried.framesRead);
    } catch (EstimateFailure &failure) {
        if (failure.kind != Shortfall::Rough)
            throw Refusal(failure.what(), tried);
        const EdgePersistence edges = sampleEdges(source, range, options, r);
        tried.framesSampled = edges.samples();
        const Rect inside{0, 0, r.width, r.height};
        const EdgePattern pattern = edges.pattern(inside);
        if (!pattern.empty()) {
            std::vector<float> strengths;
            Picture area;
            eachFrame(source, range, options, "watching the edges", [&](int64_t) {
                source.read(r, area);
                strengths.push_back(patternStrength(area, pattern));
            });
            failure.presence = patternPresence(std::move(strengths), range.first);
        }
        LogoEstimate e = repairEstimate(edges.edges(inside), r, repairPresence(failure, range),
                                        repairWhy(failure.what()));
        if (e.presence.empty())
            throw Refusal(std::string(failure.what()) +
                              "; and no edge stays put inside the rectangle to repair",
                          tried);
        return e;
    }
}

// The place first in rank whose estimate failed, kept to be repaired when no
// place gets a full estimate.
struct Fallback {
    const Candidate *candidate = nullptr;
    std::vector<PresenceRange> presence;
    std::string why;
};

// Only the first-ranked place may be repaired: a lower one that can only be
// repaired is likelier a still part of the picture, and repairing it would
// leave the logo above it untouched. A background too still to measure its
// opacity under is no sign that it is not a logo.
bool repairable(const Candidate &c, const EstimateFailure &failure) {
    return (failure.kind == Shortfall::Rough || failure.kind == Shortfall::Still) &&
           c.shotShare >= repairShotShare;
}

// The candidates in rank order, each estimated or passed over; the first one
// tried is repaired when none gets a full estimate.
std::vector<LogoEstimate> estimateCandidates(FrameSource &source, const Range &range,
                                             const Options &options, const Location &location,
                                             Result &tried, std::string &firstFailure) {
    std::vector<LogoEstimate> found;
    Fallback fallback;
    double firstScore = 0;
    int tries = 0;
    // What the loop below would pass over without estimating it, as far as
    // is known now: the readings ahead skip those.
    auto passedOver = [&](const Candidate &c) {
        return (!found.empty() && c.score < otherScoreShare * firstScore) ||
               c.shotShare < minShotShare || c.score < minScore ||
               std::any_of(found.begin(), found.end(),
                           [&](const LogoEstimate &e) { return overlaps(e.rect, c.rect); });
    };
    SharedReadings readings(source, range, options, location.candidates, &location.edges);
    for (size_t i = 0; i < location.candidates.size(); ++i) {
        const Candidate &c = location.candidates[i];
        if (found.size() >= maxLogos || tries >= maxTries)
            break;
        if (!found.empty() && c.score < otherScoreShare * firstScore)
            break;
        if (passedOver(c))
            continue;
        try {
            // Only the first place tried may rest on the whole video, as
            // only it may be repaired (see repairable()).
            found.push_back(readings.estimate(
                i, [&](const Candidate &next) { return !passedOver(next); }, maxTries - tries - 1,
                tries == 0, tried.framesRead));
        } catch (const EstimateFailure &failure) {
            if (tries == 0 && repairable(c, failure))
                fallback = {&c, repairPresence(failure, range), failure.what()};
            if (firstFailure.empty())
                firstFailure = failure.what();
        }
        ++tries;
        if (found.size() == 1 && firstScore == 0)
            firstScore = c.score;
    }
    if (found.empty() && fallback.candidate) {
        const Rect &r = fallback.candidate->rect;
        found.push_back(repairEstimate(location.edges.edges(r), r, std::move(fallback.presence),
                                       repairWhy(fallback.why)));
        if (found.back().presence.empty())
            found.pop_back();
    }
    return found;
}

std::string noLogo(const Candidate &best) {
    char score[64];
    std::snprintf(score, sizeof score, "%.1f, below the %.1f a logo scores", best.score, minScore);
    return "no logo: the likeliest place, " + rectText(best.rect) + ", scores " + score + " (" +
           best.notes + "); give the logo's rectangle with --rect if there is one";
}

} // namespace

Result analyze(FrameSource &source, const Options &options) {
    Result result;
    const Range range = frameRange(source, options);
    if (options.rect) {
        static_cast<LogoEstimate &>(result) = estimateGiven(source, range, options, result);
        return result;
    }
    const Location location = locate(source, range, options, result.framesSampled);
    result.candidates = location.candidates;
    std::string firstFailure;
    std::vector<LogoEstimate> found =
        estimateCandidates(source, range, options, location, result, firstFailure);
    if (found.empty() && firstFailure.empty() && !result.candidates.empty() &&
        result.candidates.front().score < minScore)
        throw Refusal(noLogo(result.candidates.front()), result);
    if (found.empty())
        throw Refusal(firstFailure.empty()
                          ? "nothing stays put across the shots: the places that stay still do so "
                            "within a shot or two only (still parts of the picture); give the "
                            "logo's rectangle with --rect, or use captures made by hand"
                          : "no logo found: " + firstFailure +
                                "; give the logo's rectangle with --rect, or use captures made "
                                "by hand",
                      result);
    static_cast<LogoEstimate &>(result) = std::move(found.front());
    result.others.assign(std::make_move_iterator(found.begin() + 1),
                         std::make_move_iterator(found.end()));
    return result;
}

} // namespace pendra::analysis
