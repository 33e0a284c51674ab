#include "tests/support/scene_clip.h"

#include "cli/clip_writer.h"
#include "host/frame_buffer.h"

namespace pendra::test {

void writeSceneClip(const Scene &scene, const std::filesystem::path &path) {
    cli::ClipFormat format;
    format.width = scene.width;
    format.height = scene.height;
    format.tone = false;
    cli::ClipWriter writer(path.string(), format);
    host::FrameBuffer frame(scene.width, scene.height);
    for (int64_t n = 0; n < scene.frames; ++n) {
        for (int line = 0; line < scene.height; ++line)
            for (int x = 0; x < scene.width; ++x)
                frame.atPicture(x, line) = scenePixel(scene, n, x, line);
        writer.addFrame(frame);
    }
    writer.finish();
}

} // namespace pendra::test
