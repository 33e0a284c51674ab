// The logo bitmap set checked as the module's loader checks it (the same
// header and row rules, logo/bitmap_file.cpp), with the fault in words: which
// file is wrong and how. Sizes the loader accepts but that are likely a
// mistake (a white capture or mask larger than the black one) come back as
// warnings.
#pragma once

#include <string>
#include <vector>

namespace pendra::cli {

struct LogoSetCheck {
    std::string problem;       // "FILE: what is wrong"; empty when the loader would accept the set
    int width = 0, height = 0; // the rectangle, when there is no problem
    std::vector<std::string> warnings; // "FILE: ..." each
};

LogoSetCheck checkLogoSet(const std::string &path);

// The member of the logo's set holding `digit` ('0' over black, '1' over
// white, '2' the mask), named as the loader names it: the digit five
// characters from the end.
std::string logoSetMember(const std::string &logo, char digit);

// Why a file of the set `logo` names is no regular file (a FIFO would block
// whoever opens it), or "" when each is one or missing.
std::string irregularSetFile(const std::string &logo);

// Why the filter would refuse the logo set at `path`, in words for the user;
// when no fault of the files is found, the interpolate mask's layout is what
// remains.
std::string logoSetProblem(const std::string &path);

} // namespace pendra::cli
