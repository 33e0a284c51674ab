// The estimation at one rectangle: every frame's rectangle read once; frames
// whose ring a plane fits closely feed a per-pixel blend fit, the fit tells
// how strongly the logo shows in each frame, and a second fit over the frames
// that show it fully, without outlying pixels, gives the bitmap set.
#pragma once

#include "analysis/edge_presence.h"
#include "analysis/frame_pass.h"

#include <memory>
#include <optional>
#include <vector>

namespace pendra::analysis {

// Why a rectangle's opacity could not be estimated.
enum class Shortfall {
    Short,  // too few frames in the range
    Rough,  // the ring around it is rarely smooth enough to see through
    Still,  // the background under it hardly changes
    NoLogo, // nothing there blends with the background
};

class EstimateFailure : public Refusal {
  public:
    EstimateFailure(const std::string &why, Shortfall shortfall, int64_t read)
        : Refusal(why), kind(shortfall), frames(read) {}
    Shortfall kind;
    int64_t frames; // frames of the range read
    // Where the mark's persistent edges showed, when the reading watched them.
    std::optional<std::vector<PresenceRange>> presence;
};

// The first pass at one rectangle, fed a frame's rectangle at a time, so that
// the places the location found share one reading of the video instead of
// each decoding it again.
class Reading {
  public:
    // `edges`, when not empty, is watched in every frame: where a mark that
    // cannot be estimated shows (see edge_presence.h).
    Reading(const Rect &rect, size_t holdBytes, EdgePattern edges = {});
    ~Reading();
    Reading(Reading &&) noexcept;
    Reading &operator=(Reading &&) noexcept;

    const Rect &rect() const;
    // The rectangle of frame `frame`, the frames coming in order.
    void add(int64_t frame, const Picture &area);
    // The most memory a reading of `rect` over `range` holds, in bytes.
    static size_t need(const Rect &rect, const Range &range, size_t holdBytes);
    // The most a reading of a rectangle of the usual size holds, over any range.
    static size_t most(size_t holdBytes);

  private:
    friend LogoEstimate estimateFrom(Reading &, FrameSource &, const Range &, const Options &, bool,
                                     int64_t &, bool);
    struct State;
    std::unique_ptr<State> state_;
};

// Reads every frame of the range once, and each reading's rectangle in it.
void readTogether(FrameSource &source, const Range &range, const Options &options,
                  const std::vector<Reading *> &readings);

// The estimate from a reading fed the whole range, as estimateAt() gives;
// `source` is read again only for frames a long video could not hold.
LogoEstimate estimateFrom(Reading &reading, FrameSource &source, const Range &range,
                          const Options &options, bool located, int64_t &framesRead,
                          bool wholeVideo);

// Estimates the logo in `rect`; `located` when the rectangle is the
// location's guess rather than the user's. When too few frames have smooth
// surroundings, `wholeVideo` lets the estimate rest on the whole video's
// gradients instead (where the place is surely a logo: the user's, or the
// first-ranked). Throws EstimateFailure.
LogoEstimate estimateAt(FrameSource &source, const Range &range, const Options &options,
                        const Rect &rect, bool located, int64_t &framesRead,
                        bool wholeVideo = true);

} // namespace pendra::analysis
