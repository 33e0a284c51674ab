// The real clips the corpus is made from: Debian's opencv-doc samples
// (fetched with apt-get download into a cache when missing) and the shared
// footage folder.
#pragma once

#include "bench/corpus/corpus_case.h"

#include <filesystem>

namespace pendra::corpus {

// The clip for a footage key; fetches and unpacks opencv-doc into `cache`
// when one of its clips is asked for and missing.
std::filesystem::path footagePath(const std::string &key, const std::filesystem::path &cache);

// The case's clean frames, losslessly (FFV1, RGB): the clip looped or cut to
// the case's length at its own frame rate. Made once into `work`.
std::filesystem::path makeCleanSource(const Case &c, const std::filesystem::path &cache,
                                      const std::filesystem::path &work);

} // namespace pendra::corpus
