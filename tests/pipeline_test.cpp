// Whole runs of the real module through the host, with bitmap sets written as
// files: frames outside the range pass through, in-place buffers match
// separate ones, and a fixed multi-frame job exercising every stage gives the
// same output words natively and in the 32-bit Windows build.
#include "host/filter_instance.h"
#include "module/filter_settings.h"
#include "tests/support/bmp_file.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace t = pendra::test;
using pendra::host::FilterInstance;
using pendra::host::FrameBuffer;

namespace {

constexpr int frameW = 40, frameH = 30;
constexpr int logoW = 14, logoH = 9;
constexpr int logoX = 17, logoY = 6;
constexpr uint32_t blackKey = 0x101010, whiteKey = 0xEBEBEB, maskKey = 0x000000;

constexpr uint32_t rgb(int r, int g, int b) {
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

// Whether rectangle pixel (r, c) belongs to the logo: an irregular blob with a clean border.
bool inLogo(int r, int c) {
    if (r < 2 || r > 6 || c < 2 || c > 11)
        return false;
    return !(r == 6 && c > 8) && !(r == 2 && c < 4);
}

// Writes the sets: logo0/1/2 (black, white, mask), single0/2 (no white) and maskonly2.
void writeSets(const std::filesystem::path &dir) {
    t::BmpImage black = t::BmpImage::filled(logoW, logoH, blackKey);
    t::BmpImage white = t::BmpImage::filled(logoW, logoH, whiteKey);
    t::BmpImage mask = t::BmpImage::filled(logoW, logoH, maskKey);
    for (int r = 0; r < logoH; ++r)
        for (int c = 0; c < logoW; ++c)
            if (inLogo(r, c)) {
                black.at(r, c) = rgb(60 + 5 * c, 70 + 4 * r, 90);
                white.at(r, c) = rgb(200, 190 + r, 180 + 2 * c);
                mask.at(r, c) = 0xFF00FF;
            }
    std::filesystem::create_directories(dir);
    for (const char *name : {"logo0.bmp", "single0.bmp"})
        t::writeBmp(dir / name, black);
    t::writeBmp(dir / "logo1.bmp", white);
    for (const char *name : {"logo2.bmp", "single2.bmp", "maskonly2.bmp"})
        t::writeBmp(dir / name, mask);
}

// Source frame number i of the fixed job: a drifting gradient, still between frames 3 and
// 5, with marks in the top byte that only untouched pixels keep.
void paintFrame(FrameBuffer &f, int i) {
    int phase = i >= 3 && i <= 5 ? 3 : i;
    for (int r = 0; r < f.height(); ++r)
        for (int c = 0; c < f.width(); ++c) {
            int red = 60 + c * 2 + phase * 4;
            int green = 90 + r + (c * c) % 9;
            int blue =
                120 + (c * c + phase) % 23 + (c % 4 == 0 ? r * 3 : 0) + (r == 19 ? c * 3 : 0);
            f.at(r, c) = (static_cast<uint32_t>(0x40 + r) << 24) | rgb(red, green, blue);
        }
}

// FNV-1a over the pixel words (padding left out), low byte first.
uint64_t hashFrame(const FrameBuffer &f, uint64_t h) {
    for (int r = 0; r < f.height(); ++r)
        for (int c = 0; c < f.width(); ++c)
            for (int b = 0; b < 4; ++b) {
                h ^= (f.at(r, c) >> (8 * b)) & 255;
                h *= 0x100000001B3ull;
            }
    return h;
}

} // namespace

TEST(Pipeline, FixedJobGivesTheSameWordsEverywhereAndInPlace) {
    struct Job {
        const char *set;
        int alpha;
        uint64_t expected;
    };
    const Job jobs[] = {
        {"logo0.bmp", 160, 0xcff28b0aadcd0b03ull},   // black and white bitmaps
        {"single0.bmp", 200, 0x1ffde38aed336866ull}, // black bitmap with the white level
        {"maskonly2.bmp", 90, 0x6723c8abdc16fe06ull} // mask alone: the source is mixed back in
    };
    t::removeDefaultsFile();
    auto module = t::loadModule();
    const std::filesystem::path dir = pendra::host::executableFolder() / "sets";
    writeSets(dir);
    for (const Job &job : jobs) {
        // Separate padded buffers, one padded buffer in place, separate
        // unpadded buffers (copied as one block): the same words each time.
        uint64_t hashes[3] = {};
        for (int layout : {0, 1, 2}) {
            bool inPlace = layout == 1;
            SCOPED_TRACE(testing::Message() << job.set << " layout " << layout);
            FilterInstance instance(t::pendraFilter(*module), 0xCD);
            FilterSettings &s = instance.dataAs<FilterSettings>();
            std::strncpy(s.bitmapPath, (dir / job.set).string().c_str(), sizeof s.bitmapPath - 1);
            s.x = logoX, s.y = logoY, s.alpha = job.alpha, s.side = 3, s.noiseL = 0;
            s.b2 = 3, s.b3 = 6, s.bb = 4, s.feather = 2;
            s.start = 1, s.end = 8, s.fadeIn = 1, s.fadeOut = 1;
            instance.setFrames(frameW, frameH, frameW * 4 + (layout == 2 ? 0 : 12), inPlace);
            ASSERT_EQ(instance.start(), 0);
            uint64_t h = 0xCBF29CE484222325ull;
            for (int i = 0; i < 10; ++i) {
                paintFrame(instance.source(), i);
                FrameBuffer input = instance.source();
                ASSERT_EQ(instance.run(i), 0);
                if (i == 0 || i == 9) {
                    EXPECT_TRUE(instance.destination().samePixels(input)) << "frame " << i;
                }
                h = hashFrame(instance.destination(), h);
            }
            EXPECT_EQ(instance.end(), 0);
            hashes[layout] = h;
        }
        EXPECT_EQ(hashes[0], hashes[1]) << job.set;
        EXPECT_EQ(hashes[0], hashes[2]) << job.set;
        EXPECT_EQ(hashes[0], job.expected) << job.set << std::hex << " 0x" << hashes[0];
    }
}
