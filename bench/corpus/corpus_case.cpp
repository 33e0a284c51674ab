// The corpus's table of cases: every clip, logo kind, corner and encoding
// turns up several times, mixed so that no two factors always go together.
#include "bench/corpus/corpus_case.h"

#include <algorithm>

namespace pendra::corpus {

namespace {

const Encoding x264Crf18{"H.264 CRF 18, MKV", "mkv",
                         "-c:v libx264 -preset fast -crf 18 -pix_fmt yuv420p -g 50"};
const Encoding x264Crf23{"H.264 CRF 23, MP4", "mp4",
                         "-c:v libx264 -preset fast -crf 23 -pix_fmt yuv420p -g 50"};
const Encoding x264Crf28{"H.264 CRF 28, MP4", "mp4",
                         "-c:v libx264 -preset fast -crf 28 -pix_fmt yuv420p"};
// A DVB broadcast as a recorder stores it: MPEG-2 at 6 Mb/s, short GOPs.
const Encoding mpeg2{"MPEG-2 6 Mb/s, TS", "ts",
                     "-c:v mpeg2video -b:v 6M -maxrate 6M -bufsize 1835k -g 12 -bf 2 "
                     "-pix_fmt yuv420p"};
const Encoding mpeg2Interlaced{"MPEG-2 6 Mb/s interlaced, TS", "ts",
                               "-c:v mpeg2video -b:v 6M -maxrate 6M -bufsize 1835k -g 12 -bf 2 "
                               "-pix_fmt yuv420p -flags +ilme+ildct -top 1"};
const Encoding vp9{"VP9 CRF 33, WebM", "webm",
                   "-c:v libvpx-vp9 -crf 33 -b:v 0 -deadline good -cpu-used 4 -g 120 "
                   "-pix_fmt yuv420p"};

using K = LogoKind;
using C = Corner;
using P = Presence;

Case make(const char *name, const char *footage, double seconds, K kind, int width, double opacity,
          C corner, P presence, const Encoding &encoding, bool heldOut = false) {
    return {name, footage, seconds, kind, width, opacity, corner, presence, encoding, heldOut};
}

} // namespace

std::vector<Case> corpusCases(bool quick) {
    std::vector<Case> cases = {
        make("c01", "megamind", 11, K::Text, 96, 0.6, C::TopRight, P::Always, x264Crf18),
        make("c02", "bikes", 10, K::Text, 76, 0.5, C::TopRight, P::Always, x264Crf23),
        make("c03", "box", 15, K::Emblem, 60, 0.75, C::TopLeft, P::Break, x264Crf18),
        make("c04", "bigbuckbunny", 10, K::Outlined, 200, 0.5, C::BottomRight, P::Always,
             x264Crf23),
        make("c05", "cup", 8, K::TwoColour, 120, 0.4, C::BottomLeft, P::Fades, vp9),
        make("c06", "tree", 20, K::Shadowed, 80, 0.35, C::TopRight, P::Always, mpeg2),
        make("c07", "vtest", 60, K::Text, 150, 0.45, C::TopLeft, P::Always, x264Crf23),
        make("c08", "megamind_bugy", 9, K::Emblem, 40, 0.9, C::TopRight, P::Always, x264Crf28),
        make("c09", "megamind", 20, K::Outlined, 140, 0.3, C::BottomLeft, P::Break,
             mpeg2Interlaced),
        make("c10", "bikes", 20, K::TwoColour, 250, 0.6, C::TopRight, P::Break, x264Crf18),
        make("c11", "box", 15, K::Shadowed, 110, 0.8, C::BottomRight, P::Always, vp9),
        make("c12", "cup", 16, K::Text, 50, 0.25, C::TopRight, P::Always, x264Crf23),
        make("c13", "bigbuckbunny", 10, K::Emblem, 90, 0.5, C::TopLeft, P::Fades, mpeg2),
        make("c14", "tree", 30, K::Outlined, 70, 0.65, C::BottomLeft, P::Always, x264Crf28),
        make("c15", "megamind", 11, K::TwoColour, 100, 0.85, C::BottomRight, P::Fades, x264Crf23),
        make("c16", "bikes", 10, K::Shadowed, 130, 0.55, C::BottomLeft, P::Always, mpeg2),
        make("c17", "box", 15, K::Text, 220, 0.35, C::TopLeft, P::Fades, x264Crf28),
        make("c18", "megamind_bugy", 18, K::Outlined, 120, 0.7, C::TopRight, P::Break, vp9),
        make("c19", "cup", 8, K::Emblem, 160, 0.3, C::BottomRight, P::Always, x264Crf18),
        make("c20", "bigbuckbunny", 10, K::Text, 120, 0.75, C::TopRight, P::Break, x264Crf28),
        make("c21", "megamind", 11, K::Shadowed, 180, 0.5, C::TopLeft, P::Always, x264Crf23, true),
        make("c22", "bikes", 10, K::Emblem, 70, 0.4, C::BottomRight, P::Break, vp9, true),
        make("c23", "box", 30, K::TwoColour, 80, 0.55, C::TopRight, P::Always, mpeg2, true),
        make("c24", "tree", 15, K::Text, 100, 0.8, C::BottomLeft, P::Fades, x264Crf18, true),
    };
    if (quick) {
        cases.resize(6);
        for (Case &c : cases)
            c.seconds = std::min(c.seconds, 6.0);
    }
    return cases;
}

std::string kindName(LogoKind kind) {
    switch (kind) {
    case K::Text:
        return "text";
    case K::Emblem:
        return "ring emblem";
    case K::Outlined:
        return "outlined text";
    case K::TwoColour:
        return "two-colour";
    case K::Shadowed:
        return "text, drop shadow";
    }
    return "?";
}

std::string cornerName(Corner corner) {
    switch (corner) {
    case C::TopLeft:
        return "top left";
    case C::TopRight:
        return "top right";
    case C::BottomLeft:
        return "bottom left";
    case C::BottomRight:
        return "bottom right";
    }
    return "?";
}

std::string presenceName(Presence presence) {
    switch (presence) {
    case P::Always:
        return "always";
    case P::Break:
        return "break";
    case P::Fades:
        return "fades";
    }
    return "?";
}

} // namespace pendra::corpus
