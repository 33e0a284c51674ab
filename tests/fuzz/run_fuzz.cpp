// Fuzz target: whole runs of the filter. The input describes a logo set
// (its size, which members exist, the interpolate mask bit by bit and the
// colours of the three bitmaps), every setting of the record in and beyond
// its range, the frame's size and padding, whether the host processes in
// place, and the frame numbers of a few frames.
//
// Properties besides the sanitizers' own: a start that succeeds has put the
// rectangle inside the frame; every frame leaves the picture outside the
// rectangle, the padding between rows and (when separate) the source frame
// untouched; a frame out of range comes back unchanged; and the end callback
// gives back every block.
#include "host/frame_buffer.h"
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "module/test_hooks.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/bmp_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace fs = std::filesystem;
namespace t = pendra::test;
using namespace pendra::fuzz;

namespace {

enum Flags : uint8_t {
    HAS_WHITE = 1,    // a white bitmap beside the black one
    HAS_MASK = 2,     // an interpolate bitmap beside the black one
    MASK_ONLY = 4,    // the set is an interpolate bitmap alone
    CLEAN_BORDER = 8, // the mask's outermost ring is clean, as a usable mask has it
    IN_PLACE = 16,    // source and destination are one buffer
    DEBUG_TRACE = 32, // debug output on (with NOISE_OFF clear)
    NOISE_OFF = 64,   // noiseL 0, so that the rectangle's result repeats
};

fs::path folder;

uint32_t colour(InputReader &in) {
    uint32_t c = in.byte();
    c = c << 8 | in.byte();
    return c << 8 | in.byte();
}

// A bitmap of the logo's size: key colour on clean pixels, logo colour (with
// a little repeatable variation) on logo pixels.
t::BmpImage logoBitmap(const std::vector<bool> &clean, int w, int h, uint32_t key, uint32_t logo,
                       uint32_t jitter) {
    t::BmpImage image = t::BmpImage::filled(w, h, key);
    uint32_t state = logo ^ jitter;
    for (int k = 0; k < w * h; ++k) {
        state = state * 1103515245u + 12345u;
        if (!clean[static_cast<size_t>(k)])
            image.rgb[static_cast<size_t>(k)] = logo ^ (state >> 8 & jitter);
    }
    image.rgb[0] = key; // the first pixel is the key colour by definition
    return image;
}

// Writes the set the input describes and returns the path that names it.
fs::path writeSet(InputReader &in, uint8_t flags) {
    const int w = 1 + in.byte() % 24;
    const int h = 1 + in.byte() % 24;
    std::vector<bool> clean(static_cast<size_t>(w * h));
    for (int k = 0; k < w * h; k += 8) {
        const uint8_t bits = in.byte();
        for (int b = 0; b < 8 && k + b < w * h; ++b)
            clean[static_cast<size_t>(k + b)] = bits >> b & 1;
    }
    if (flags & CLEAN_BORDER)
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                if (r == 0 || c == 0 || r == h - 1 || c == w - 1)
                    clean[static_cast<size_t>(r * w + c)] = true;
    const uint32_t jitter = in.byte() * 0x010101u;
    const uint32_t blackKey = colour(in), blackLogo = colour(in);
    const uint32_t whiteKey = colour(in), whiteLogo = colour(in);
    const uint32_t maskKey = colour(in), maskLogo = colour(in);

    for (char digit : {'0', '1', '2'})
        fs::remove(folder / (std::string("logo") + digit + ".bmp"));
    const t::BmpImage mask = logoBitmap(clean, w, h, maskKey, maskLogo, 0);
    if (flags & MASK_ONLY) {
        t::writeBmp(folder / "logo2.bmp", mask);
        return folder / "logo2.bmp";
    }
    t::writeBmp(folder / "logo0.bmp", logoBitmap(clean, w, h, blackKey, blackLogo, jitter));
    if (flags & HAS_WHITE)
        t::writeBmp(folder / "logo1.bmp", logoBitmap(clean, w, h, whiteKey, whiteLogo, jitter));
    if (flags & HAS_MASK)
        t::writeBmp(folder / "logo2.bmp", mask);
    return folder / "logo0.bmp";
}

void readSettings(InputReader &in, FilterSettings &s, uint8_t flags) {
    s.x = in.setting();
    s.y = in.setting();
    s.alpha = in.setting();
    s.side = in.setting();
    s.start = in.setting();
    s.end = in.setting();
    s.fadeIn = in.setting();
    s.fadeOut = in.setting();
    s.t1 = in.setting();
    s.t2 = in.setting();
    s.t3 = in.setting();
    s.b2 = in.setting();
    s.b3 = in.setting();
    s.bb = in.setting();
    s.scene = in.setting();
    s.white = in.setting();
    s.feather = in.setting();
    s.noiseL = (flags & NOISE_OFF) ? 0 : in.setting();
    s.debugOutput = (flags & DEBUG_TRACE) && !(flags & NOISE_OFF);
}

// A frame width or height: 1 to 24, moved by -128 to 127, at least 1.
int frameSide(InputReader &in) {
    const int side = 1 + in.byte() % 24;
    return std::max(1, side + static_cast<int8_t>(in.byte()));
}

bool inRange(const FilterSettings &s, int32_t frame) {
    const uint32_t n = static_cast<uint32_t>(frame);
    return n >= static_cast<uint32_t>(s.start) && (s.end == 0 || n <= static_cast<uint32_t>(s.end));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    folder = sandbox("run");
    // The debug trace goes to a file of our own.
    setenv("PENDRA_TRACE_FILE", (folder / "trace.txt").string().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    InputReader in(data, size);
    const uint8_t flags = in.byte();
    const fs::path path = writeSet(in, flags);

    auto s = std::make_unique<FilterSettings>();
    std::memset(s.get(), 0xCD, sizeof *s); // the host promises no zeroed record
    FilterActivation fa{};
    fa.filter_data = s.get();
    FUZZ_CHECK(filterInit(&fa, nullptr) == 0);
    std::memset(s->bitmapPath, 0, sizeof s->bitmapPath);
    std::strncpy(s->bitmapPath, path.string().c_str(), sizeof s->bitmapPath - 1);
    readSettings(in, *s, flags);

    const int w = frameSide(in);
    const int h = frameSide(in);
    const ptrdiff_t pitch = (static_cast<ptrdiff_t>(w) + (in.byte() & 7)) * 4;
    RunFrames frames(w, h, pitch, flags & IN_PLACE, fa);
    const uint32_t padding = 0x5A5A5A5A;

    if (filterStart(&fa, nullptr) == 0) {
        const Rectangle rect{s->x, s->y, s->logoWidth, s->logoHeight};
        checkInsideFrame(rect, w, h);
        const int runs = 1 + in.byte() % 4;
        for (int k = 0; k < runs; ++k) {
            const int32_t number = in.setting();
            frames.src.fill(padding);
            frames.dst.fill(padding);
            fillPicture(frames.src, in.byte());
            const pendra::host::FrameBuffer before = frames.src;
            frames.state.lCurrentFrame = number;
            frames.state.lCurrentSourceFrame = number;
            FUZZ_CHECK(filterRun(&fa, nullptr) == 0);
            checkOnlyRectangleChanged(before, frames.output(), rect, padding);
            if (!inRange(*s, number))
                FUZZ_CHECK(frames.output().samePixels(before));
            if (!frames.inPlace)
                FUZZ_CHECK(frames.src.samePixels(before));
        }
    }
    FUZZ_CHECK(filterEnd(&fa, nullptr) == 0);
    FUZZ_CHECK(moduleLiveBlocks() == 0);
    return 0;
}
