// A generated scene written as a lossless clip, so that what the command
// reads is the scene's own pixels.
#pragma once

#include "tests/support/generated_source.h"

#include <filesystem>

namespace pendra::test {

void writeSceneClip(const Scene &scene, const std::filesystem::path &path);

} // namespace pendra::test
