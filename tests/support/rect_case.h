// A logo rectangle inside a small frame with a settings record wired to
// buffers of its own, for driving the frame stages directly. The mask is
// given as text, one string per rectangle row, bottom row (row 0) first:
// '.' a clean pixel, 'L' a logo pixel. The tables that the start-time
// preparation would build from it (edge marks, their count, side distances)
// are filled here the same way.
#pragma once

#include "host/frame_buffer.h"
#include "module/filter_settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pendra::test {

// Pixel word from channels.
constexpr uint32_t rgb(int r, int g, int b) {
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

class RectCase {
  public:
    // The rectangle lies `margin` pixels inside a frame on every side.
    explicit RectCase(const std::vector<std::string> &mask, int margin = 1, bool inPlace = false);
    RectCase(const RectCase &) = delete;
    RectCase &operator=(const RectCase &) = delete;

    FilterSettings &s() { return *settings_; }
    const FilterActivation *fa() const { return &activation_; }
    int w() const { return settings_->logoWidth; }
    int h() const { return settings_->logoHeight; }

    // Source frame pixel at rectangle row r, column c (may lie outside the rectangle).
    uint32_t &src(int r, int c);
    // Destination frame pixel at rectangle row r, column c.
    uint32_t &dst(int r, int c);
    host::FrameBuffer &source() { return source_; }
    host::FrameBuffer &destination() { return inPlace_ ? source_ : destination_; }
    // Fills the whole rectangle of the source with one value.
    void fillRect(uint32_t value);
    // Copies the source's rectangle into the destination, as the frame copy would.
    void copyRectToDestination();

    // Black and white capture pixels (red, green, blue) at rectangle (r, c).
    void setBlack(int r, int c, int red, int green, int blue);
    void setWhite(int r, int c, int red, int green, int blue);

    // Calls the run callback for frame number frame.
    int run(int32_t frame);

    std::vector<int32_t> workMap, blurPasses;
    std::vector<uint32_t> rectPixels;
    std::vector<ChannelTriple> unblended;

  private:
    std::unique_ptr<FilterSettings> settings_;
    host::FrameBuffer source_, destination_;
    bool inPlace_;
    VFBitmap srcBitmap_{}, dstBitmap_{};
    FilterStateInfo state_{};
    FilterActivation activation_{};
    std::vector<int32_t> mask_, vertEdge_, horzEdge_;
    std::vector<SideRecord> side_;
    std::vector<ChannelTriple> smoothImage_, smoothScratch_;
    std::vector<uint32_t> sourceRect_;
    std::vector<unsigned char> black_, white_;
};

} // namespace pendra::test
