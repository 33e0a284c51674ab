#include "host/frame_buffer.h"

#include "host/host_error.h"

#include <algorithm>
#include <string>

namespace pendra::host {

FrameBuffer::FrameBuffer(int w, int h, ptrdiff_t pitchBytes) : w_(w), h_(h) {
    if (w <= 0 || h <= 0)
        throw HostError("frame size " + std::to_string(w) + "x" + std::to_string(h) +
                        " is not valid");
    pitch_ = pitchBytes == 0 ? static_cast<ptrdiff_t>(w) * 4 : pitchBytes;
    if (pitch_ < static_cast<ptrdiff_t>(w) * 4 || pitch_ % 4 != 0)
        throw HostError("frame pitch " + std::to_string(pitch_) + " does not fit width " +
                        std::to_string(w));
    storage_.assign(static_cast<size_t>(pitch_ / 4) * static_cast<size_t>(h), 0);
}

void FrameBuffer::fill(uint32_t value) {
    std::fill(storage_.begin(), storage_.end(), value);
}

void FrameBuffer::describe(VFBitmap &bitmap) {
    bitmap = VFBitmap{};
    bitmap.data = storage_.data();
    bitmap.depth = 32;
    bitmap.w = w_;
    bitmap.h = h_;
    bitmap.pitch = pitch_;
    bitmap.modulo = pitch_ - static_cast<ptrdiff_t>(w_) * 4;
    bitmap.size = pitch_ * h_;
}

bool FrameBuffer::samePixels(const FrameBuffer &other) const {
    if (w_ != other.w_ || h_ != other.h_)
        return false;
    for (int r = 0; r < h_; ++r)
        if (!std::equal(row(r), row(r) + w_, other.row(r)))
            return false;
    return true;
}

void FrameBuffer::copyPixels(const FrameBuffer &other) {
    for (int r = 0; r < h_; ++r)
        std::copy(other.row(r), other.row(r) + w_, row(r));
}

} // namespace pendra::host
