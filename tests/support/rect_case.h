// A logo rectangle inside a small frame, with its working buffers and tables
// built by the real start-time preparation, for driving the frame stages
// directly. The mask is text, one string per rectangle row, bottom row
// (row 0) first: '.' clean, 'L' logo. The black-bitmap table is built for a
// black key of 16 and white level 230; blackMode is then left 0. padWords
// pads every frame row beyond the frame's width.
#pragma once

#include "host/frame_buffer.h"
#include "logo/prepare_buffers.h"
#include "module/callbacks.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pendra::test {

constexpr uint32_t rgb(int r, int g, int b) {
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

class RectCase {
  public:
    explicit RectCase(const std::vector<std::string> &mask, int margin = 1, int padWords = 0) {
        s.logoWidth = static_cast<int>(mask.at(0).size());
        s.logoHeight = static_cast<int>(mask.size());
        s.logoStride = (s.logoWidth * 3 + 3) / 4 * 4;
        s.x = s.y = margin;
        s.t1 = 10, s.t2 = 25, s.t3 = 40, s.scene = 10, s.white = 230, s.blackMode = 1;
        s.blackKey[0] = s.blackKey[1] = s.blackKey[2] = 16;
        maskBytes_.assign(static_cast<size_t>(s.logoStride * s.logoHeight), 0);
        for (int r = 0; r < s.logoHeight; ++r)
            for (int c = 0; c < s.logoWidth; ++c)
                if (mask[r].at(c) == 'L')
                    maskBytes_[static_cast<size_t>(r * s.logoStride + 3 * c)] = 255;
        s.maskPixels = maskBytes_.data();
        black_ = white_ = maskBytes_;
        s.blackPixels = black_.data();
        s.whitePixels = white_.data();
        const int frameWidth = s.logoWidth + 2 * margin;
        source_ = host::FrameBuffer(frameWidth, s.logoHeight + 2 * margin,
                                    static_cast<ptrdiff_t>(frameWidth + padWords) * 4);
        source_.fill(0xAB000000u);
        dest_ = source_;
        source_.describe(srcBitmap_);
        dest_.describe(dstBitmap_);
        fa_.filter_data = &s;
        fa_.src = &srcBitmap_;
        fa_.dst = &dstBitmap_;
        fa_.pfsi = &state_;
        if (prepareBuffers(&s, &fa_) != 0)
            throw std::invalid_argument("mask refused by the preparation");
        s.blackMode = 0;
    }
    ~RectCase() { releaseBuffers(&s); }
    RectCase(const RectCase &) = delete;
    RectCase &operator=(const RectCase &) = delete;

    const FilterActivation *fa() const { return &fa_; }
    // Frame pixels at rectangle row r, column c.
    uint32_t &src(int r, int c) { return source_.at(s.y + r, s.x + c); }
    uint32_t &dst(int r, int c) { return dest_.at(s.y + r, s.x + c); }
    host::FrameBuffer &source() { return source_; }
    host::FrameBuffer &destination() { return dest_; }
    void fillRect(uint32_t value) {
        for (int r = 0; r < s.logoHeight; ++r)
            for (int c = 0; c < s.logoWidth; ++c)
                src(r, c) = value;
    }
    // Black and white capture pixels (blue, green, red bytes) at rectangle (r, c).
    void setBlack(int r, int c, uint32_t colour) { put(black_, r, c, colour); }
    void setWhite(int r, int c, uint32_t colour) { put(white_, r, c, colour); }
    int run(int32_t frame) {
        state_.lCurrentFrame = frame;
        return filterRun(&fa_, nullptr);
    }
    // The destination rectangle's words, row 0 first.
    std::vector<uint32_t> rect() {
        std::vector<uint32_t> out;
        for (int r = 0; r < s.logoHeight; ++r)
            for (int c = 0; c < s.logoWidth; ++c)
                out.push_back(dst(r, c));
        return out;
    }

    FilterSettings s{};

  private:
    void put(std::vector<unsigned char> &bytes, int r, int c, uint32_t colour) {
        for (int i = 0; i < 3; ++i)
            bytes[static_cast<size_t>(r * s.logoStride + 3 * c + i)] =
                static_cast<unsigned char>(colour >> (8 * i));
    }

    std::vector<unsigned char> maskBytes_, black_, white_;
    host::FrameBuffer source_, dest_;
    VFBitmap srcBitmap_{}, dstBitmap_{};
    FilterStateInfo state_{};
    FilterActivation fa_{};
};

} // namespace pendra::test
