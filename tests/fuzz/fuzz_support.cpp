#include "tests/fuzz/fuzz_support.h"

#include "host/module_library.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace pendra::fuzz {

const char *currentInputName = nullptr;

void fail(const char *what, const char *file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s", file, line, what);
    if (currentInputName)
        std::fprintf(stderr, " (input %s)", currentInputName);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    std::abort();
}

uint8_t InputReader::byte() {
    return pos_ < size_ ? data_[pos_++] : 0;
}

uint16_t InputReader::u16() {
    uint16_t low = byte();
    return static_cast<uint16_t>(low | byte() << 8);
}

uint32_t InputReader::u32() {
    uint32_t low = u16();
    return low | static_cast<uint32_t>(u16()) << 16;
}

int32_t InputReader::setting() {
    uint8_t kind = byte();
    if (kind < 128)
        return byte(); // 0 to 255, where most settings live
    if (kind < 192)
        return static_cast<int8_t>(byte()); // -128 to 127
    if (kind < 240)
        return static_cast<int16_t>(u16());
    return static_cast<int32_t>(u32());
}

std::vector<uint8_t> InputReader::bytes(size_t count) {
    count = std::min(count, remaining());
    std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + count);
    pos_ += count;
    return out;
}

std::filesystem::path sandbox(const std::string &name) {
    std::filesystem::path dir = host::executableFolder() / "fuzz-sandbox" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void writeFile(const std::filesystem::path &path, const uint8_t *data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
        std::abort();
    }
}

} // namespace pendra::fuzz

#include "host/frame_buffer.h"

namespace pendra::fuzz {

void fillPicture(host::FrameBuffer &frame, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1;
    for (int r = 0; r < frame.height(); ++r)
        for (int c = 0; c < frame.width(); ++c) {
            state = state * 1664525u + 1013904223u;
            frame.at(r, c) = state;
        }
}

void checkInsideFrame(const Rectangle &r, int frameWidth, int frameHeight) {
    FUZZ_CHECK(r.x >= 0 && r.y >= 0);
    FUZZ_CHECK(r.width > 0 && r.height > 0);
    FUZZ_CHECK(static_cast<int64_t>(r.x) + r.width <= frameWidth);
    FUZZ_CHECK(static_cast<int64_t>(r.y) + r.height <= frameHeight);
}

void checkOnlyRectangleChanged(const host::FrameBuffer &src, const host::FrameBuffer &dst,
                               const Rectangle &r, uint32_t padding) {
    const int h = src.height();
    const int w = src.width();
    const int bottom = h - r.y - r.height; // stored row of the rectangle's bottom line
    const int wordsPerRow = static_cast<int>(dst.pitch() / 4);
    for (int row = 0; row < h; ++row) {
        const bool rowInRect = row >= bottom && row < bottom + r.height;
        for (int c = 0; c < w; ++c)
            if (!rowInRect || c < r.x || c >= r.x + r.width)
                FUZZ_CHECK(dst.at(row, c) == src.at(row, c));
        for (int c = w; c < wordsPerRow; ++c)
            FUZZ_CHECK(dst.row(row)[c] == padding);
    }
}

} // namespace pendra::fuzz

namespace pendra::fuzz {

RunFrames::RunFrames(int w, int h, ptrdiff_t pitch, bool inPlace_, FilterActivation &fa)
    : src(w, h, pitch), dst(w, h, pitch), inPlace(inPlace_) {
    src.describe(srcBitmap);
    output().describe(dstBitmap);
    fa.src = &srcBitmap;
    fa.dst = &dstBitmap;
    fa.pfsi = &state;
}

} // namespace pendra::fuzz
