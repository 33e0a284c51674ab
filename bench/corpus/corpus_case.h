// The corpus's cases: which real clip, which logo (kind, size, opacity,
// corner), how it comes and goes, and how the result is encoded, as users'
// recordings are. One table, so that a row of the results names its case.
#pragma once

#include <string>
#include <vector>

namespace pendra::corpus {

enum class LogoKind { Text, Emblem, Outlined, TwoColour, Shadowed };
enum class Corner { TopLeft, TopRight, BottomLeft, BottomRight };
enum class Presence { Always, Break, Fades };

struct Encoding {
    std::string name;      // as the table shows it
    std::string extension; // the container
    std::string options;   // ffmpeg's output options
};

struct Case {
    std::string name;
    std::string footage; // a key of footagePath()
    double seconds = 10; // looped when the clip is shorter, cut when longer
    LogoKind kind = LogoKind::Text;
    int logoWidth = 120; // about; text is as wide as its letters come out
    double opacity = 0.5;
    Corner corner = Corner::TopRight;
    Presence presence = Presence::Always;
    Encoding encoding;
    bool heldOut = false; // never looked at while tuning the analysis
};

// Every case, or a few short ones to develop with.
std::vector<Case> corpusCases(bool quick);

std::string kindName(LogoKind kind);
std::string cornerName(Corner corner);
std::string presenceName(Presence presence);

} // namespace pendra::corpus
