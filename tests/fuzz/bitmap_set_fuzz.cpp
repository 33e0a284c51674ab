// Fuzz target: the logo bitmap set loader, and a run started on whatever it
// accepts. The input carries the bytes of up to three member files, which of
// them exist, an earlier set to replace, the frame and the settings that the
// start-time preparation reads, and which allocation is to fail.
//
// Input: a flags byte, the failing allocation, the files as length-prefixed
// blocks (the named member, white, interpolate), then for a run the frame's
// width and height beyond the logo's, its row padding, x, y, bb, feather and
// white.
//
// Properties besides the sanitizers' own: a load that succeeds reports the
// modes and shape of the files it found; a start whose allocation failed
// returns 1; a started run changes nothing outside the rectangle; the end
// callback gives back every block, whatever happened before it.
#include "host/frame_buffer.h"
#include "logo/bitmap_file.h"
#include "logo/logo_bitmaps.h"
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "module/test_hooks.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/bmp_file.h"

#include <cstring>
#include <memory>

namespace fs = std::filesystem;
using namespace pendra::fuzz;

namespace {

enum Flags : uint8_t {
    HAS_WHITE = 1,     // logo1.bmp exists
    HAS_MASK = 2,      // logo2.bmp exists
    NAMES_MASK = 4,    // the path names logo2.bmp alone
    REPLACES_SET = 8,  // an earlier set is loaded first, as by the dialog or Config
    STARTS_RUN = 16,   // a run is started on the set and one frame processed
    FAILS_ALLOC = 32,  // one allocation of the load (or the start) fails
    EARLIER_FULL = 64, // the earlier set has all three members (else black alone)
    IN_PLACE = 128,    // source and destination are one buffer
};

fs::path folder;

void setPath(FilterSettings &s, const fs::path &path) {
    std::memset(s.bitmapPath, 0, sizeof s.bitmapPath);
    std::strncpy(s.bitmapPath, path.string().c_str(), sizeof s.bitmapPath - 1);
}

// The modes and shape a successful load must report for the files written.
void checkLoaded(const FilterSettings &s, uint8_t flags) {
    FUZZ_CHECK(s.logoWidth > 0 && s.logoHeight > 0);
    FUZZ_CHECK(s.logoStride == bitmapStride(s.logoWidth));
    FUZZ_CHECK(s.maskPixels != nullptr);
    if (flags & NAMES_MASK) {
        FUZZ_CHECK(s.blackMode == 0 && s.maskMode == 1);
        return;
    }
    FUZZ_CHECK(s.blackMode == ((flags & HAS_WHITE) ? 2 : 1));
    FUZZ_CHECK(s.maskMode == ((flags & HAS_MASK) ? 1 : 2));
    FUZZ_CHECK((s.maskFile == s.blackFile) == !(flags & HAS_MASK));
    FUZZ_CHECK(s.maxDeviation >= 0 && s.maxDeviation <= 255);
    if (flags & HAS_WHITE)
        FUZZ_CHECK(s.whitePixels != nullptr);
}

// Starts a run on the set (with the chosen allocation failing) and, when it
// starts, processes one frame.
void startRun(FilterSettings &s, FilterActivation &fa, InputReader &in, uint8_t flags, int failAt) {
    const int w = s.logoWidth + in.byte() % 32;
    const int h = s.logoHeight + in.byte() % 32;
    const ptrdiff_t pitch = (static_cast<ptrdiff_t>(w) + (in.byte() & 7)) * 4;
    s.x = in.setting();
    s.y = in.setting();
    s.bb = in.byte();
    s.feather = in.byte();
    s.white = in.setting();
    if (static_cast<int64_t>(w) * h > (1 << 18))
        return; // a picture this large tells nothing new and only slows the fuzzer

    RunFrames frames(w, h, pitch, flags & IN_PLACE, fa);
    const uint32_t padding = 0xA5A5A5A5;
    frames.src.fill(padding);
    frames.dst.fill(padding);
    fillPicture(frames.src, static_cast<uint32_t>(w * 31 + h));

    failAllocationAfter(failAt);
    const int started = filterStart(&fa, nullptr);
    const bool failed = failAt >= 0 && !allocationFailurePending();
    failAllocationAfter(-1);
    if (failed)
        FUZZ_CHECK(started == 1);
    if (started != 0)
        return;

    const Rectangle rect{s.x, s.y, s.logoWidth, s.logoHeight};
    checkInsideFrame(rect, w, h);
    const pendra::host::FrameBuffer before = frames.src;
    FUZZ_CHECK(filterRun(&fa, nullptr) == 0);
    checkOnlyRectangleChanged(before, frames.output(), rect, padding);
    if (!frames.inPlace)
        FUZZ_CHECK(before.samePixels(frames.src) && before.pitch() == frames.src.pitch());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    namespace t = pendra::test;
    folder = sandbox("bitmap_set");
    t::BmpImage black = t::BmpImage::filled(6, 5, 0x101010);
    black.at(2, 2) = black.at(2, 3) = 0x807060;
    t::writeBmp(folder / "alone0.bmp", black);
    t::writeBmp(folder / "full0.bmp", black);
    t::writeBmp(folder / "full1.bmp", t::BmpImage::filled(6, 5, 0xF0F0F0));
    t::writeBmp(folder / "full2.bmp", black);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    InputReader in(data, size);
    const uint8_t flags = in.byte();
    const uint8_t failByte = in.byte();
    const int failAt = (flags & FAILS_ALLOC) ? failByte % 16 : -1;

    const char named = (flags & NAMES_MASK) ? '2' : '0';
    const std::vector<uint8_t> namedBytes = in.block();
    const std::vector<uint8_t> whiteBytes = in.block();
    const std::vector<uint8_t> maskBytes = in.block();
    for (char digit : {'0', '1', '2'})
        fs::remove(folder / (std::string("logo") + digit + ".bmp"));
    writeFile(folder / (std::string("logo") + named + ".bmp"), namedBytes);
    if (named == '0' && (flags & HAS_WHITE))
        writeFile(folder / "logo1.bmp", whiteBytes);
    if (named == '0' && (flags & HAS_MASK))
        writeFile(folder / "logo2.bmp", maskBytes);

    auto s = std::make_unique<FilterSettings>();
    FilterActivation fa{};
    fa.filter_data = s.get();
    if (flags & REPLACES_SET) {
        setPath(*s, folder / ((flags & EARLIER_FULL) ? "full0.bmp" : "alone0.bmp"));
        FUZZ_CHECK(loadLogoBitmaps(s.get()) == 0);
    }

    setPath(*s, folder / (std::string("logo") + named + ".bmp"));
    const bool run = flags & STARTS_RUN;
    failAllocationAfter(run ? -1 : failAt);
    const int loaded = loadLogoBitmaps(s.get());
    const bool failed = !run && failAt >= 0 && !allocationFailurePending();
    failAllocationAfter(-1);
    if (failed)
        FUZZ_CHECK(loaded == 1);
    if (loaded == 0)
        checkLoaded(*s, flags);
    if (loaded == 0 && run)
        startRun(*s, fa, in, flags, failAt);

    FUZZ_CHECK(filterEnd(&fa, nullptr) == 0);
    FUZZ_CHECK(filterEnd(&fa, nullptr) == 0);
    FUZZ_CHECK(s->blackFile == nullptr && s->whiteFile == nullptr && s->maskFile == nullptr);
    FUZZ_CHECK(s->sideTable == nullptr && s->blurPasses == nullptr);
    FUZZ_CHECK(moduleLiveBlocks() == 0);
    return 0;
}
