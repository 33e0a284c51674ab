// Marks: groups of persistent edge pixels close together (the letters of a
// word, an emblem beside its text), each a place where a logo may sit. The
// edges are cut at a level of their own per mark, a share of its strongest
// edges, so that weaker still texture touching a logo does not widen its
// rectangle, and scenery running into a logo does not swallow it.
#pragma once

#include <cstdint>
#include <vector>

namespace pendra::analysis {

struct Mark {
    int left = 0, top = 0, right = -1, bottom = -1; // bounding box of the edge pixels, inclusive
    int pixels = 0;
    double strength = 0;   // summed over the edge pixels
    double stillShots = 0; // summed over the edge pixels
    std::vector<int> at;   // the edge pixels, as line * width + column
};

// A logo leaves and comes back a few times in a stretch: its edges change
// all at once at so many samples at most.
inline constexpr int maxPresenceChanges = 4;

// What the marks are found in: per pixel the strength of its persistent
// edge, the shots it stayed still in and the samples it changed at, and the
// level below which no edge counts there.
struct EdgeMap {
    int width = 0;
    int height = 0;
    const std::vector<float> &strength;
    const std::vector<uint16_t> &stillShots;
    const std::vector<uint8_t> &changes;
    const std::vector<float> &floor;
    int evidenceShots = 0; // shots seen over time (two samples or more)
};

// Whether a mark's edges reach the picture's outermost lines (central
// differences leave the very outermost without edges): it runs on beyond
// the picture, where a channel keeps its logo clear of the edges.
bool framed(const Mark &m, int width, int height);

// Adds to each mark the edges joined to it that stay still in nearly every
// shot of many, however faint (the outline of a tinted box behind white
// lettering), unless they run on to the picture's edge or past a few times
// the mark's size, as a static shot's lasting scenery does.
void addLasting(const EdgeMap &map, std::vector<Mark> &marks);

// Joins to a mark another that frames it on three sides or more, both
// lasting through nearly every shot of many: a tinted box's outline found
// as a mark of its own, too faint beside the lettering to join it as a part.
// Then the box's other lasting pieces along its lines or columns, as faint
// as its outline, join too (a side the outline broke off at a corner).
void joinLastingFrames(const EdgeMap &map, std::vector<Mark> &marks);

// The marks a logo could be, none spanning half the picture. Still scenery
// split off that runs on beyond the picture is dropped, but a mark takes
// back the edges of it that lie in its own lines: a letter over its edge.
std::vector<Mark> findMarks(const EdgeMap &map);

// Per pixel, the samples its edge changed at (bit s for sample s), of the
// first `samples`.
struct ChangeBits {
    const std::vector<uint64_t> &bits;
    int samples = 0;
};

// The samples at which most of the mark's edges changed at once (a logo
// leaving, fading, coming back), bit s for sample s; none when its edges
// change at most samples anyway.
uint64_t changedTogether(const Mark &m, const ChangeBits &changes);

// Cuts off the lines and columns at a mark's sides whose edges add up to
// less than a share of its typical line or column: a sparse tail of weaker
// still texture (twigs running out of an emblem), not the logo. After the
// joining, so that the gaps between a logo's parts count for nothing.
void trimTails(const EdgeMap &map, Mark &m);

// How marks near one another join into one.
struct Joining {
    int reach = 0;         // clean ring, in pixels, that may not run into another mark's
    double apartShots = 0; // marks still in more shots apart than this stay apart
    int width = 0, height = 0;
};

// Joins marks whose clean rings (`reach` pixels) would run into one another
// and that look alike: parts of one logo. Marks still in different shares
// of the shots stay apart, as do marks of unlike strength, merges that would
// span half the picture, and a smaller mark off the larger's band of lines
// or columns (scenery diagonally beside a logo). Marks that leave and come
// back at the same samples, or that span the very same lines, are parts of
// one logo and join across a wider gap along their line: the space between
// two words.
void mergeNear(std::vector<Mark> &marks, const Joining &joining, const ChangeBits &changes);

} // namespace pendra::analysis
