// Loading a logo bitmap set from real files: companions, modes, key colours,
// refused names and files, and the black bitmap's rise above its key.
#include "host/module_library.h"
#include "logo/bitmap_file.h"
#include "logo/logo_bitmaps.h"
#include "module/test_hooks.h"
#include "tests/support/bmp_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace fs = std::filesystem;
namespace t = pendra::test;
namespace bmp = pendra::test::bmp;
using Bytes = std::vector<uint8_t>;

namespace {

// Odd width, so rows carry padding; two pixels differ from the key.
t::BmpImage sample(uint32_t key) {
    t::BmpImage image = t::BmpImage::filled(5, 3, key);
    image.at(1, 2) = 0x405060;
    image.at(2, 4) = 0x0A0B0C;
    return image;
}

uint32_t pixelAt(const unsigned char *pixels, int row, int column) {
    const unsigned char *p = pixels + row * 16 + column * 3;
    return static_cast<uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
}

uint32_t keyOf(const int *key) {
    return static_cast<uint32_t>(key[0] << 16 | key[1] << 8 | key[2]);
}

class BitmapSet : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = pendra::host::executableFolder() / "sets" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        releaseLogoBitmaps(s.get());
        EXPECT_EQ(s->maskFile, nullptr);
        EXPECT_EQ(moduleLiveBlocks(), 0) << "an image leaked or was released twice";
    }
    fs::path member(char digit) const { return dir_ / (std::string("logo") + digit + ".bmp"); }
    int load(const std::string &path) {
        std::strncpy(s->bitmapPath, path.c_str(), sizeof s->bitmapPath - 1);
        return loadLogoBitmaps(s.get());
    }
    int load(char digit) { return load(member(digit).string()); }

    std::unique_ptr<FilterSettings> s = std::make_unique<FilterSettings>();
    fs::path dir_;
};

} // namespace

TEST_F(BitmapSet, CompanionsDecideTheModes) {
    for (int set = 0; set < 4; ++set) {
        const bool white = set & 1, mask = set & 2;
        SCOPED_TRACE(testing::Message() << "white " << white << ", mask " << mask);
        fs::remove(member('1'));
        fs::remove(member('2'));
        t::writeBmp(member('0'), sample(0x102030));
        if (white)
            t::writeBmp(member('1'), sample(0xE0D0C0));
        if (mask)
            t::writeBmp(member('2'), sample(0x00FF00));

        ASSERT_EQ(load('0'), 0);
        EXPECT_EQ(s->blackMode, white ? 2 : 1);
        EXPECT_EQ(s->maskMode, mask ? 1 : 2);
        EXPECT_EQ(s->logoWidth * 100 + s->logoHeight, 503);
        EXPECT_EQ(s->logoStride, 16);
        EXPECT_EQ(keyOf(s->blackKey), 0x102030u);
        EXPECT_EQ(pixelAt(s->blackPixels, 1, 2), 0x405060u);
        EXPECT_EQ(pixelAt(s->blackPixels, 2, 4), 0x0A0B0Cu);
        EXPECT_EQ(s->whiteFile != nullptr, white);
        if (white) {
            EXPECT_EQ(keyOf(s->whiteKey), 0xE0D0C0u);
        }
        EXPECT_EQ(s->maskFile == s->blackFile, !mask);
        EXPECT_EQ(s->maskPixels == s->blackPixels, !mask);
        EXPECT_EQ(keyOf(s->maskKey), mask ? 0x00FF00u : 0x102030u);
        releaseLogoBitmaps(s.get());
    }
}

TEST_F(BitmapSet, InterpolateBitmapAloneKeepsTheEarlierSet) {
    t::writeBmp(member('0'), sample(0x102030));
    ASSERT_EQ(load('0'), 0);
    unsigned char *earlierBlack = s->blackFile;
    s->maxDeviation = 77;
    t::writeBmp(member('2'), t::BmpImage::filled(4, 7, 0x00FF00));
    ASSERT_EQ(load('2'), 0);
    EXPECT_EQ(s->blackMode, 0);
    EXPECT_EQ(s->maskMode, 1);
    EXPECT_EQ(s->logoWidth * 100 + s->logoHeight, 407);
    EXPECT_EQ(s->logoStride, 12);
    EXPECT_EQ(s->maxDeviation, 77);
    EXPECT_EQ(s->blackFile, earlierBlack);
    EXPECT_EQ(keyOf(s->maskKey), 0x00FF00u);
}

TEST_F(BitmapSet, BadNamesAreRefused) {
    t::writeBmp(member('0'), sample(0x102030));
    for (std::string path :
         {member('1').string(), (dir_ / "logo.bmp").string(), (dir_ / "logo0.tiff").string(),
          std::string("0.bm"), std::string("1")}) {
        SCOPED_TRACE(path);
        s->blackMode = s->maskMode = 9;
        EXPECT_EQ(load(path), 1);
        EXPECT_EQ(s->blackMode * 10 + s->maskMode, 0);
        EXPECT_EQ(s->blackFile, nullptr);
    }
    EXPECT_EQ(load("logo0_bmp"), 1) << "a set digit but no '.'";
    EXPECT_EQ(s->blackMode, 1);
}

TEST_F(BitmapSet, UnreadableOrHostileFilesAreRefusedAndClosed) {
    const std::pair<const char *, void (*)(Bytes &)> cases[] = {
        {"not BM", [](Bytes &b) { b[1] = 'A'; }},
        {"too short for a size field", [](Bytes &b) { b.resize(4); }},
        {"cut inside the header", [](Bytes &b) { b.resize(40); }},
        {"cut inside the pixel rows", [](Bytes &b) { b.resize(b.size() - 1); }},
        {"size field below the headers", [](Bytes &b) { t::putLe32(b, bmp::fileSize, 20); }},
        {"size field below the rows",
         [](Bytes &b) { t::putLe32(b, bmp::fileSize, static_cast<uint32_t>(b.size() - 4)); }},
        {"pixel offset past the end", [](Bytes &b) { t::putLe32(b, bmp::pixelOffset, 1u << 31); }},
        {"pixel offset in the headers", [](Bytes &b) { t::putLe32(b, bmp::pixelOffset, 2); }},
        {"core header", [](Bytes &b) { t::putLe32(b, bmp::infoSize, 12); }},
        {"info header past the end", [](Bytes &b) { t::putLe32(b, bmp::infoSize, ~0u - 8); }},
        {"32 bits per pixel", [](Bytes &b) { t::putLe16(b, bmp::bitDepth, 32); }},
        {"compressed", [](Bytes &b) { t::putLe32(b, bmp::compression, 1); }},
        {"width 0", [](Bytes &b) { t::putLe32(b, bmp::width, 0); }},
        {"top-down", [](Bytes &b) { t::putLe32(b, bmp::height, static_cast<uint32_t>(-3)); }},
        {"row size overflows", [](Bytes &b) { t::putLe32(b, bmp::width, 0x7FFFFFFF); }},
        {"area overflows",
         [](Bytes &b) {
             t::putLe32(b, bmp::width, 0x20000000);
             t::putLe32(b, bmp::height, 0x40000000);
         }},
    };
    for (const auto &[name, damage] : cases) {
        SCOPED_TRACE(name);
        Bytes bytes = t::bmpBytes(sample(0x102030));
        damage(bytes);
        t::writeBytes(member('0'), bytes);
        EXPECT_EQ(load('0'), 1);
        EXPECT_EQ(s->blackPixels, nullptr);
        EXPECT_EQ(s->maskMode, 0) << "the load stops at the black bitmap";
        EXPECT_TRUE(fs::remove(member('0'))) << "Windows keeps an open file";
    }
}

TEST_F(BitmapSet, HeaderFaultsAreToldApartForMessages) {
    const std::pair<BitmapFault, void (*)(Bytes &)> cases[] = {
        {BITMAP_SOUND, [](Bytes &) {}},
        {BITMAP_NOT_BMP, [](Bytes &b) { b[1] = 'A'; }},
        {BITMAP_NOT_BMP, [](Bytes &b) { t::putLe32(b, bmp::infoSize, 12); }},
        {BITMAP_NOT_24_BIT, [](Bytes &b) { t::putLe16(b, bmp::bitDepth, 32); }},
        {BITMAP_COMPRESSED, [](Bytes &b) { t::putLe32(b, bmp::compression, 1); }},
        {BITMAP_TOP_DOWN, [](Bytes &b) { t::putLe32(b, bmp::height, static_cast<uint32_t>(-3)); }},
        {BITMAP_BAD_SIZE, [](Bytes &b) { t::putLe32(b, bmp::width, 0); }},
        {BITMAP_BAD_SIZE, [](Bytes &b) { t::putLe32(b, bmp::width, 0x7FFFFFFF); }},
    };
    for (const auto &[fault, damage] : cases) {
        SCOPED_TRACE(static_cast<int>(fault));
        Bytes bytes = t::bmpBytes(sample(0x102030));
        damage(bytes);
        BitmapShape shape{};
        EXPECT_EQ(bitmapHeaderFault(bytes.data(), bytes.size(), &shape), fault);
        EXPECT_EQ(checkBitmapHeader(bytes.data(), bytes.size(), &shape), fault ? 1 : 0);
    }
}

TEST_F(BitmapSet, SizeFieldBeyondTheFileCountsOnlyTheBytesRead) {
    Bytes bytes = t::bmpBytes(sample(0x102030));
    for (uint32_t claimed : {static_cast<uint32_t>(bytes.size() + 64), 0xFFFFFFF0u}) {
        SCOPED_TRACE(claimed);
        t::putLe32(bytes, bmp::fileSize, claimed);
        t::writeBytes(member('0'), bytes);
        moduleLargestRequest();
        ASSERT_EQ(load('0'), 0);
        EXPECT_EQ(moduleLargestRequest(), bytes.size()) << "a block no larger than the file";
        EXPECT_EQ(pixelAt(s->blackPixels, 2, 4), 0x0A0B0Cu);
    }
    // Now the rows reach into bytes the size field claims but the file lacks.
    t::putLe32(bytes, bmp::pixelOffset, bmp::headerBytes + 16);
    t::writeBytes(member('0'), bytes);
    EXPECT_EQ(load('0'), 1);
}

TEST_F(BitmapSet, CompanionsMustHoldTheBlackBitmapsRows) {
    t::writeBmp(member('0'), sample(0x102030));
    t::writeBmp(member('1'), t::BmpImage::filled(5, 2, 0xFFFFFF));
    EXPECT_EQ(load('0'), 1);
    EXPECT_EQ(s->blackMode, 2);
    EXPECT_EQ(s->whitePixels, nullptr);

    t::writeBmp(member('1'), sample(0xFFFFFF));
    t::writeBmp(member('2'), t::BmpImage::filled(4, 3, 0x00FF00)); // 12-byte rows, 16 needed
    EXPECT_EQ(load('0'), 1);
    EXPECT_EQ(s->maskMode, 1);
    EXPECT_EQ(s->maskPixels, nullptr);
}

TEST_F(BitmapSet, FailedBlackReloadLeavesNoDanglingSharedInterpolateImage) {
    t::writeBmp(member('0'), sample(0x102030));
    ASSERT_EQ(load('0'), 0);
    ASSERT_EQ(s->maskFile, s->blackFile);
    Bytes bytes = t::bmpBytes(sample(0x102030));
    t::putLe16(bytes, bmp::bitDepth, 16); // refused after the old image is gone
    t::writeBytes(member('0'), bytes);
    EXPECT_EQ(load('0'), 1);
    EXPECT_EQ(s->maskFile, nullptr);
    EXPECT_EQ(s->maskPixels, nullptr);
}

TEST_F(BitmapSet, MaxDeviationIsTheLargestRiseAboveTheKey) {
    const std::pair<std::vector<uint32_t>, int> cases[] = {
        {{0x808080, 0x808080}, 0},
        {{0x808080, 0xA88080, 0x908080}, 40},
        {{0x808080, 0x000000, 0x7F7F7F}, 0}, // darker never counts
        {{0x808080, 0x788080, 0x808F80, 0x8080C0}, 0x40},
    };
    for (const auto &[pixels, expected] : cases) {
        t::BmpImage image = t::BmpImage::filled(3, 3, pixels[0]);
        std::copy(pixels.begin(), pixels.end(), image.rgb.begin());
        t::writeBmp(member('0'), image);
        s->maxDeviation = -5;
        ASSERT_EQ(load('0'), 0);
        EXPECT_EQ(s->maxDeviation, expected);
    }
}
