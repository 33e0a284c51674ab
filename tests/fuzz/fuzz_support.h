// What the fuzz targets share: a failure check that works both under
// libFuzzer and in the corpus replay test, a reader that takes a fuzz input
// apart field by field, and a private folder for the files a target writes.
#pragma once

#include "host/frame_buffer.h"
#include "module/host_interface.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The entry points libFuzzer calls; each target defines both.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace pendra::fuzz {

// The corpus file being replayed, named in failure reports (null under libFuzzer).
extern const char *currentInputName;

// Reports a broken property and aborts, which both libFuzzer and the replay
// test take as a finding.
[[noreturn]] void fail(const char *what, const char *file, int line);

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::pendra::fuzz::fail(#condition, __FILE__, __LINE__);                                  \
    } while (0)

// Takes an input apart from the front; past its end every field reads as 0.
class InputReader {
  public:
    InputReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    size_t remaining() const { return size_ - pos_; }
    uint8_t byte();
    uint16_t u16();
    uint32_t u32();
    // An integer that is mostly small, sometimes any 32-bit value: the first
    // byte picks which, so that mutations reach both the usual range and
    // the extremes.
    int32_t setting();
    // Up to count bytes (fewer at the end of the input).
    std::vector<uint8_t> bytes(size_t count);
    // A length-prefixed block: a 16-bit length, then that many bytes.
    std::vector<uint8_t> block() { return bytes(u16()); }
    std::vector<uint8_t> rest() { return bytes(remaining()); }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// An empty folder of the target's own beside the running program.
std::filesystem::path sandbox(const std::string &name);

void writeFile(const std::filesystem::path &path, const uint8_t *data, size_t size);
inline void writeFile(const std::filesystem::path &path, const std::vector<uint8_t> &bytes) {
    writeFile(path, bytes.data(), bytes.size());
}

} // namespace pendra::fuzz

namespace pendra::fuzz {

// The logo rectangle of a run in picture coordinates (x from the left edge,
// y from the top line), as the start callback fitted it.
struct Rectangle {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Fills every pixel word with a repeatable pseudo-random picture.
void fillPicture(host::FrameBuffer &frame, uint32_t seed);

// Checks that the rectangle lies inside a frame of that size.
void checkInsideFrame(const Rectangle &r, int frameWidth, int frameHeight);

// A source and a destination frame of one size and pitch (one buffer when in
// place) and the host's frame records, attached to an activation record.
struct RunFrames {
    host::FrameBuffer src, dst;
    VFBitmap srcBitmap{}, dstBitmap{};
    FilterStateInfo state{};
    bool inPlace;

    RunFrames(int w, int h, ptrdiff_t pitch, bool inPlace, FilterActivation &fa);
    RunFrames(const RunFrames &) = delete;
    RunFrames &operator=(const RunFrames &) = delete;
    // The frame the filter writes.
    host::FrameBuffer &output() { return inPlace ? src : dst; }
};

// Checks that dst equals src word for word outside the rectangle, and that
// the padding between dst's rows still holds `padding`.
void checkOnlyRectangleChanged(const host::FrameBuffer &src, const host::FrameBuffer &dst,
                               const Rectangle &r, uint32_t padding);

} // namespace pendra::fuzz
