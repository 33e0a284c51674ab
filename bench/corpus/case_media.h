// One case's files: the input a user would have (the logo laid over the
// clean frames in RGB, then encoded), its clean twin (the same frames encoded
// the same way without the logo), and the true captures with a job for them.
#pragma once

#include "bench/corpus/corpus_case.h"
#include "bench/corpus/logo_art.h"
#include "bench/corpus/presence.h"

#include <filesystem>
#include <string>

namespace pendra::corpus {

struct CaseMedia {
    std::filesystem::path input, twin, trueJob;
    LogoArt art;
    int x = 0, y = 0; // the logo's true rectangle is x, y, art.width x art.height
    int frameWidth = 0, frameHeight = 0;
    int64_t frames = 0;
    Schedule schedule;
};

// Makes what is missing of the case's files in `work`; `pendra` writes the
// true job (its preview saves the filter the captures make).
CaseMedia makeCaseMedia(const Case &c, const std::filesystem::path &cache,
                        const std::filesystem::path &work, const std::string &pendra);

} // namespace pendra::corpus
