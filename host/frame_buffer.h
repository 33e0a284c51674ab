// A frame as the host hands it to a filter: 32-bit pixels 0x00RRGGBB, rows
// stored bottom line first, `pitch` bytes apart (at least w * 4).
#pragma once

#include "module/host_interface.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pendra::host {

class FrameBuffer {
  public:
    FrameBuffer() = default;
    // pitchBytes 0 means tightly packed; otherwise a multiple of 4, at least w * 4.
    FrameBuffer(int w, int h, ptrdiff_t pitchBytes = 0);

    int width() const { return w_; }
    int height() const { return h_; }
    ptrdiff_t pitch() const { return pitch_; }
    // Stored row r (0 = the picture's bottom line).
    uint32_t *row(int r) { return storage_.data() + static_cast<ptrdiff_t>(r) * (pitch_ / 4); }
    const uint32_t *row(int r) const {
        return storage_.data() + static_cast<ptrdiff_t>(r) * (pitch_ / 4);
    }
    uint32_t &at(int r, int c) { return row(r)[c]; }
    uint32_t at(int r, int c) const { return row(r)[c]; }
    // Picture coordinates: line 0 is the top line, as x and y count.
    uint32_t &atPicture(int x, int line) { return at(h_ - 1 - line, x); }
    // Fills the padding between rows too, so that tests can see it untouched.
    void fill(uint32_t value);
    // The VFBitmap that describes this buffer.
    void describe(VFBitmap &bitmap);
    // Copies every pixel of a frame of the same size (padding left alone).
    void copyPixels(const FrameBuffer &other);
    // Same size and every pixel word equal (padding ignored).
    bool samePixels(const FrameBuffer &other) const;

  private:
    int w_ = 0;
    int h_ = 0;
    ptrdiff_t pitch_ = 0;
    std::vector<uint32_t> storage_;
};

} // namespace pendra::host
