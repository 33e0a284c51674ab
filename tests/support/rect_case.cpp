#include "tests/support/rect_case.h"

#include "module/callbacks.h"

#include <stdexcept>

namespace pendra::test {

RectCase::RectCase(const std::vector<std::string> &mask, int margin, bool inPlace)
    : settings_(std::make_unique<FilterSettings>()), inPlace_(inPlace) {
    const int w = static_cast<int>(mask.at(0).size());
    const int h = static_cast<int>(mask.size());
    const size_t n = static_cast<size_t>(w * h);
    FilterSettings &s = *settings_;
    s.logoWidth = w;
    s.logoHeight = h;
    s.logoStride = (w * 3 + 3) / 4 * 4;
    s.x = margin;
    s.y = margin;
    s.t1 = 10;
    s.t2 = 25;
    s.t3 = 40;
    s.scene = 10;
    s.white = 230;

    source_ = host::FrameBuffer(w + 2 * margin, h + 2 * margin);
    source_.fill(0xAB000000u);
    if (!inPlace)
        destination_ = host::FrameBuffer(w + 2 * margin, h + 2 * margin);
    source_.describe(srcBitmap_);
    destination().describe(dstBitmap_);
    activation_.filter_data = settings_.get();
    activation_.src = &srcBitmap_;
    activation_.dst = &dstBitmap_;
    activation_.pfsi = &state_;

    mask_.assign(n, 1);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            mask_[r * w + c] = mask[r].at(c) == 'L' ? 0 : 1;
    horzEdge_.assign(n, 0);
    vertEdge_.assign(n, 0);
    for (int r = 0; r < h; ++r)
        for (int c = 1; c < w; ++c)
            if (mask_[r * w + c] != mask_[r * w + c - 1]) {
                if (mask_[r * w + c] == 0)
                    horzEdge_[r * w + c] = -1;
                else
                    horzEdge_[r * w + c - 1] = 1;
            }
    for (int c = 0; c < w; ++c)
        for (int r = 1; r < h; ++r)
            if (mask_[r * w + c] != mask_[(r - 1) * w + c]) {
                if (mask_[r * w + c] == 0)
                    vertEdge_[r * w + c] = -1;
                else
                    vertEdge_[(r - 1) * w + c] = 1;
            }
    s.edgeCount = 0;
    for (size_t k = 0; k < n; ++k)
        s.edgeCount += horzEdge_[k] != 0 || vertEdge_[k] != 0;

    side_.assign(n, SideRecord{});
    auto reach = [&](int r, int c, int dr, int dc) {
        for (int d = 1;; ++d) {
            int rr = r + d * dr, cc = c + d * dc;
            if (rr < 0 || rr >= h || cc < 0 || cc >= w)
                throw std::invalid_argument("logo pixel without a clean pixel on one side");
            if (mask_[rr * w + cc] == 1)
                return d;
        }
    };
    for (int r = 1; r + 1 < h; ++r)
        for (int c = 1; c + 1 < w; ++c)
            if (mask_[r * w + c] == 0) {
                SideRecord &rec = side_[r * w + c];
                rec.southDistance = reach(r, c, -1, 0);
                rec.eastDistance = reach(r, c, 0, 1);
                rec.northDistance = reach(r, c, 1, 0);
                rec.westDistance = reach(r, c, 0, -1);
            }

    workMap.assign(n, 0);
    blurPasses.assign(n, 0);
    rectPixels.assign(n, 0);
    unblended.assign(n, ChannelTriple{});
    smoothImage_.assign(n, ChannelTriple{});
    smoothScratch_.assign(n, ChannelTriple{});
    sourceRect_.assign(n, 0);
    black_.assign(static_cast<size_t>(s.logoStride * h), 0);
    white_.assign(static_cast<size_t>(s.logoStride * h), 0);

    s.bitmapMask = mask_.data();
    s.vertEdge = vertEdge_.data();
    s.horzEdge = horzEdge_.data();
    s.sideTable = side_.data();
    s.workMap = workMap.data();
    s.blurPasses = blurPasses.data();
    s.rectPixels = rectPixels.data();
    s.unblended = unblended.data();
    s.smoothImage = smoothImage_.data();
    s.smoothScratch = smoothScratch_.data();
    s.sourceRect = sourceRect_.data();
    s.blackPixels = black_.data();
    s.whitePixels = white_.data();
}

uint32_t &RectCase::src(int r, int c) {
    return source_.at(settings_->y + r, settings_->x + c);
}

uint32_t &RectCase::dst(int r, int c) {
    return destination().at(settings_->y + r, settings_->x + c);
}

void RectCase::fillRect(uint32_t value) {
    for (int r = 0; r < h(); ++r)
        for (int c = 0; c < w(); ++c)
            src(r, c) = value;
}

void RectCase::copyRectToDestination() {
    for (int r = 0; r < h(); ++r)
        for (int c = 0; c < w(); ++c)
            dst(r, c) = src(r, c);
}

void RectCase::setBlack(int r, int c, int red, int green, int blue) {
    unsigned char *p = &black_[static_cast<size_t>(r * settings_->logoStride + 3 * c)];
    p[0] = static_cast<unsigned char>(blue);
    p[1] = static_cast<unsigned char>(green);
    p[2] = static_cast<unsigned char>(red);
}

void RectCase::setWhite(int r, int c, int red, int green, int blue) {
    unsigned char *p = &white_[static_cast<size_t>(r * settings_->logoStride + 3 * c)];
    p[0] = static_cast<unsigned char>(blue);
    p[1] = static_cast<unsigned char>(green);
    p[2] = static_cast<unsigned char>(red);
}

int RectCase::run(int32_t frame) {
    state_.lCurrentFrame = frame;
    return filterRun(&activation_, nullptr);
}

} // namespace pendra::test
