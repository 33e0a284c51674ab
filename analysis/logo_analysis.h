// Finds a semi-transparent logo in a video and estimates what a user would
// otherwise capture by hand: the logo over black and over white, the
// interpolate mask, and the frame ranges where the logo is present.
//
// The analysis knows nothing of files or codecs: it reads frames through a
// FrameSource, which the command implements over FFmpeg and the tests over
// generated scenes. It never touches the module either; the command writes
// what it finds as an ordinary bitmap set and job file.
#pragma once

#include "analysis/picture.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pendra::analysis {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect &) const = default;
};

// The video, read front to back once per pass.
class FrameSource {
  public:
    virtual ~FrameSource() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Frames in the video, or 0 when only the end will tell.
    virtual int64_t frameCount() const = 0;
    // Goes back before the first frame.
    virtual void rewind() = 0;
    // Makes a frame at or a little before `frame` the current one without
    // decoding those in between (a keyframe, say), and returns its number;
    // -1 when the source cannot. Only a sampling pass uses it, and rewind()
    // comes after it whatever it returned.
    virtual int64_t seekNear(int64_t /*frame*/) { return -1; }
    // The keyframes a seek can land on, where the file's index lists every
    // frame; -1 when not known. Too few, and seeking is not worth trying.
    virtual int64_t keyframes() const { return -1; }
    // Moves to the next frame (numbered from 0); false after the last.
    virtual bool advance() = 0;
    // The current frame's pixels inside `area` (which lies in the picture).
    // Only frames asked for are converted, so a pass that needs a small area,
    // or only some frames, costs little more than decoding.
    virtual void read(const Rect &area, Picture &out) = 0;
};

struct Options {
    std::optional<Rect> rect; // the logo's rectangle when the user knows it
    int64_t start = 0;        // first frame to look at
    int64_t end = 0;          // last frame to look at; 0 = the last frame
    // Memory for the frames' rectangles held until a fit can measure the
    // logo's strength in them; beyond it they are read a second time.
    size_t holdBytes = size_t{64} << 20;
    // Called now and then with the pass's name and how far the analysis is (0 to 1).
    std::function<void(const std::string &pass, double done)> progress;
};

// A place where something stays still while the picture moves.
struct Candidate {
    Rect rect;            // the mark and its clean ring
    double score = 0;     // higher is stronger
    double shots = 0;     // shots (seen over time) in which its edges stay still, on average
    double shotShare = 1; // that as a share of those shots: a logo's near 1
    std::string notes;    // why it scored so, in words
};

struct FrameVerdict {
    int64_t frame = 0;
    bool accepted = false;
    std::string reason; // why a frame was rejected ("ring not planar", "logo absent", ...)
};

// Where the logo is present; fades count inside the range.
struct PresenceRange {
    int64_t start = 0;
    int64_t end = 0;
    int fadeIn = 0;  // frames at the start where the logo is only partly there, 0 when it cuts in
    int fadeOut = 0; // frames at the end where it is only partly there
};

struct OpacityStats {
    int logoPixels = 0; // pixels whose opacity is above the mask's threshold
    double mean = 0;    // over the logo pixels
    double max = 0;
    int repairPixels = 0; // pixels un-blending would not restore well (opaque or poorly fitted)
};

// One logo found: its rectangle and bitmap set, and where it is present.
struct LogoEstimate {
    Rect rect;     // the logo and its clean ring
    Picture black; // the logo over black, rect-sized
    Picture white; // the logo over white
    Picture mask;  // the interpolate mask: white marks the logo's pixels, black is clean
    std::vector<float> opacity; // per pixel of rect, 0 to 1, top line first
    OpacityStats stats;
    double predictedError = 0;          // RMS of the fit over accepted frames, in 8-bit levels
    std::vector<FrameVerdict> verdicts; // every frame of the range: used by the fit or why not
    std::vector<PresenceRange> presence;
    // Its opacity could not be measured, only its place and shape: the set
    // asks the module to repair the whole mark from around it. `why` says so.
    bool repairOnly = false;
    std::string why;
};

// The logo chosen (the first that could be estimated) in the base, further
// marks elsewhere in the picture (a programme tag beside the channel's logo) in `others`.
struct Result : LogoEstimate {
    std::vector<Candidate> candidates; // best first; empty when the rectangle was given
    int64_t framesRead = 0;
    int64_t framesSampled = 0;
    std::vector<LogoEstimate> others;
};

// The analysis declines to guess: too few usable frames, a background that
// never changes, no logo found. what() says why and what would help; `tried`
// holds what was looked at (candidates, frames), when anything was.
class Refusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    Refusal(const std::string &why, Result what)
        : std::runtime_error(why), tried(std::move(what)), looked(true) {}
    Result tried;
    bool looked = false; // the video was looked at: `tried` is worth showing
};

// Runs every pass over `source`; throws Refusal.
Result analyze(FrameSource &source, const Options &options);

} // namespace pendra::analysis
