// Loading a logo bitmap set from real files: companions, modes, key colours,
// refused names and files, and the black bitmap's deviation from its key.
#include "host/module_library.h"
#include "logo/logo_bitmaps.h"
#include "module/memory.h"
#include "tests/support/bmp_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using pendra::test::BmpImage;
using pendra::test::putLe16;
using pendra::test::putLe32;
namespace bmp = pendra::test::bmp;

namespace {

constexpr uint32_t blackKey = 0x102030;
constexpr uint32_t whiteKey = 0xE0D0C0;
constexpr uint32_t maskKey = 0x00FF00;

// Odd width: rows carry a byte of padding.
BmpImage sample(uint32_t key) {
    BmpImage image = BmpImage::filled(5, 3, key);
    image.at(1, 2) = 0x405060;
    image.at(2, 4) = 0x0A0B0C;
    return image;
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
        EXPECT_EQ(s->blackFile, nullptr);
        EXPECT_EQ(s->maskFile, nullptr);
        EXPECT_EQ(moduleLiveBlocks(), 0) << "an image leaked or was released twice";
    }

    fs::path member(char digit, const char *ext = ".bmp") const {
        return dir_ / (std::string("logo") + digit + ext);
    }
    int load(const std::string &path) {
        std::strncpy(s->bitmapPath, path.c_str(), sizeof s->bitmapPath - 1);
        return loadLogoBitmaps(s.get());
    }
    int load(char digit) { return load(member(digit).string()); }

    std::unique_ptr<FilterSettings> s = std::make_unique<FilterSettings>();
    fs::path dir_;
};

// Colour of bitmap pixel (row, column) as read through a pixel pointer.
uint32_t pixelAt(const unsigned char *pixels, int stride, int row, int column) {
    const unsigned char *p = pixels + row * stride + column * 3;
    return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

void expectKey(const int *key, uint32_t rgb) {
    EXPECT_EQ(key[0], static_cast<int>(rgb >> 16));
    EXPECT_EQ(key[1], static_cast<int>(rgb >> 8 & 0xFF));
    EXPECT_EQ(key[2], static_cast<int>(rgb & 0xFF));
}

} // namespace

TEST_F(BitmapSet, CompanionsDecideTheModes) {
    struct Case {
        bool white, mask;
        int blackMode, maskMode;
    };
    for (Case c : {Case{false, false, 1, 2}, Case{false, true, 1, 1}, Case{true, false, 2, 2},
                   Case{true, true, 2, 1}}) {
        SCOPED_TRACE(testing::Message() << "white " << c.white << ", mask " << c.mask);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        pendra::test::writeBmp(member('0'), sample(blackKey));
        if (c.white)
            pendra::test::writeBmp(member('1'), sample(whiteKey));
        if (c.mask)
            pendra::test::writeBmp(member('2'), sample(maskKey));

        ASSERT_EQ(load('0'), 0);
        EXPECT_EQ(s->blackMode, c.blackMode);
        EXPECT_EQ(s->maskMode, c.maskMode);
        EXPECT_EQ(s->logoWidth, 5);
        EXPECT_EQ(s->logoHeight, 3);
        EXPECT_EQ(s->logoStride, 16);
        expectKey(s->blackKey, blackKey);
        EXPECT_EQ(pixelAt(s->blackPixels, 16, 1, 2), 0x405060u);
        EXPECT_EQ(pixelAt(s->blackPixels, 16, 2, 4), 0x0A0B0Cu);
        EXPECT_EQ(s->whiteFile != nullptr, c.white);
        if (c.white) {
            expectKey(s->whiteKey, whiteKey);
            EXPECT_EQ(pixelAt(s->whitePixels, 16, 2, 4), 0x0A0B0Cu);
        }
        if (c.mask) {
            EXPECT_NE(s->maskFile, s->blackFile);
            expectKey(s->maskKey, maskKey);
        } else {
            EXPECT_EQ(s->maskFile, s->blackFile);
            EXPECT_EQ(s->maskPixels, s->blackPixels);
            expectKey(s->maskKey, blackKey);
        }
        releaseLogoBitmaps(s.get());
    }
}

TEST_F(BitmapSet, InterpolateBitmapAloneKeepsTheEarlierSet) {
    pendra::test::writeBmp(member('0'), sample(blackKey));
    ASSERT_EQ(load('0'), 0);
    unsigned char *earlierBlack = s->blackFile;
    s->maxDeviation = 77;

    pendra::test::writeBmp(member('2'), BmpImage::filled(4, 7, maskKey));
    ASSERT_EQ(load('2'), 0);
    EXPECT_EQ(s->blackMode, 0);
    EXPECT_EQ(s->maskMode, 1);
    EXPECT_EQ(s->logoWidth, 4);
    EXPECT_EQ(s->logoHeight, 7);
    EXPECT_EQ(s->logoStride, 12);
    EXPECT_EQ(s->maxDeviation, 77);
    EXPECT_EQ(s->blackFile, earlierBlack);
    EXPECT_NE(s->maskFile, earlierBlack);
    expectKey(s->maskKey, maskKey);
}

TEST_F(BitmapSet, ReloadingReplacesEveryImage) {
    pendra::test::writeBmp(member('0'), sample(blackKey));
    pendra::test::writeBmp(member('1'), sample(whiteKey));
    ASSERT_EQ(load('0'), 0);
    ASSERT_EQ(load('0'), 0);
    EXPECT_EQ(moduleLiveBlocks(), 2); // black (shared as interpolate) and white
    pendra::test::writeBmp(member('2'), sample(maskKey));
    ASSERT_EQ(load('0'), 0);
    EXPECT_EQ(moduleLiveBlocks(), 3);
}

TEST_F(BitmapSet, BadNamesAreRefusedBeforeAnyFileIsRead) {
    pendra::test::writeBmp(member('0'), sample(blackKey));
    for (std::string path :
         {member('1').string(), (dir_ / "logo.bmp").string(), member('0', ".tiff").string(),
          std::string("0.bm"), std::string("1")}) {
        SCOPED_TRACE(path);
        s->blackMode = s->maskMode = 9;
        EXPECT_EQ(load(path), 1);
        EXPECT_EQ(s->blackMode, 0);
        EXPECT_EQ(s->maskMode, 0);
        EXPECT_EQ(s->blackFile, nullptr);
    }
    // The set digit is found, but there is no '.' anywhere.
    EXPECT_EQ(load("logo0_bmp"), 1);
    EXPECT_EQ(s->blackMode, 1);
}

TEST_F(BitmapSet, FileNotStartingWithBmIsRefusedAndClosed) {
    std::vector<uint8_t> bytes = pendra::test::bmpBytes(sample(blackKey));
    bytes[1] = 'A';
    pendra::test::writeBytes(member('0'), bytes);
    EXPECT_EQ(load('0'), 1);
    EXPECT_EQ(s->blackFile, nullptr);
    // Windows refuses to delete a file that is still open.
    EXPECT_TRUE(fs::remove(member('0')));
}

TEST_F(BitmapSet, UnreadableOrHostileFilesAreRefused) {
    using Bytes = std::vector<uint8_t>;
    struct Case {
        const char *name;
        void (*damage)(Bytes &);
    };
    const Case cases[] = {
        {"cut inside the pixel rows", [](Bytes &b) { b.resize(b.size() - 1); }},
        {"cut inside the header", [](Bytes &b) { b.resize(40); }},
        {"too short for a size field", [](Bytes &b) { b.resize(4); }},
        {"size field smaller than the headers", [](Bytes &b) { putLe32(b, bmp::fileSize, 20); }},
        {"size field smaller than the rows",
         [](Bytes &b) { putLe32(b, bmp::fileSize, static_cast<uint32_t>(b.size() - 4)); }},
        {"pixel offset past the end", [](Bytes &b) { putLe32(b, bmp::pixelOffset, 0x7FFFFFF0); }},
        {"pixel offset inside the headers", [](Bytes &b) { putLe32(b, bmp::pixelOffset, 2); }},
        {"core header", [](Bytes &b) { putLe32(b, bmp::infoSize, 12); }},
        {"info header past the end", [](Bytes &b) { putLe32(b, bmp::infoSize, 0xFFFFFFF0); }},
        {"32 bits per pixel", [](Bytes &b) { putLe16(b, bmp::bitDepth, 32); }},
        {"compressed", [](Bytes &b) { putLe32(b, bmp::compression, 1); }},
        {"width 0", [](Bytes &b) { putLe32(b, bmp::width, 0); }},
        {"height 0", [](Bytes &b) { putLe32(b, bmp::height, 0); }},
        {"top-down", [](Bytes &b) { putLe32(b, bmp::height, static_cast<uint32_t>(-3)); }},
        {"negative width", [](Bytes &b) { putLe32(b, bmp::width, 0x80000000); }},
        {"row size overflows", [](Bytes &b) { putLe32(b, bmp::width, 0x7FFFFFFF); }},
        {"area overflows",
         [](Bytes &b) {
             putLe32(b, bmp::width, 0x20000000);
             putLe32(b, bmp::height, 0x40000000);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = pendra::test::bmpBytes(sample(blackKey));
        c.damage(bytes);
        pendra::test::writeBytes(member('0'), bytes);
        EXPECT_EQ(load('0'), 1);
        EXPECT_EQ(s->blackPixels, nullptr);
        EXPECT_EQ(s->maskMode, 0) << "the load must stop at the black bitmap";
    }
}

TEST_F(BitmapSet, CompanionsMustHoldTheBlackBitmapsRows) {
    pendra::test::writeBmp(member('0'), sample(blackKey));
    pendra::test::writeBmp(member('1'), BmpImage::filled(5, 2, whiteKey));
    EXPECT_EQ(load('0'), 1);
    EXPECT_EQ(s->blackMode, 2);
    EXPECT_EQ(s->whitePixels, nullptr);

    pendra::test::writeBmp(member('1'), sample(whiteKey));
    std::vector<uint8_t> mask = pendra::test::bmpBytes(BmpImage::filled(4, 3, maskKey));
    pendra::test::writeBytes(member('2'), mask);
    EXPECT_EQ(load('0'), 1) << "4 x 3 rows are 12 bytes; the set needs 16";
    EXPECT_EQ(s->maskMode, 1);
    EXPECT_EQ(s->maskPixels, nullptr);

    mask = pendra::test::bmpBytes(sample(maskKey));
    putLe16(mask, bmp::bitDepth, 8);
    pendra::test::writeBytes(member('2'), mask);
    EXPECT_EQ(load('0'), 1);
}

TEST_F(BitmapSet, FailedBlackReloadLeavesNoDanglingSharedInterpolateImage) {
    pendra::test::writeBmp(member('0'), sample(blackKey));
    ASSERT_EQ(load('0'), 0);
    ASSERT_EQ(s->maskFile, s->blackFile);
    std::vector<uint8_t> bytes = pendra::test::bmpBytes(sample(blackKey));
    putLe16(bytes, bmp::bitDepth, 16);
    pendra::test::writeBytes(member('0'), bytes);
    EXPECT_EQ(load('0'), 1);
    EXPECT_EQ(s->maskFile, nullptr);
    EXPECT_EQ(s->maskPixels, nullptr);
}

TEST_F(BitmapSet, SizeFieldBeyondTheFileLeavesNoUnsetBytes) {
    std::vector<uint8_t> bytes = pendra::test::bmpBytes(sample(blackKey));
    const size_t length = bytes.size();
    putLe32(bytes, bmp::fileSize, static_cast<uint32_t>(length + 64));
    pendra::test::writeBytes(member('0'), bytes);
    ASSERT_EQ(load('0'), 0);
    for (size_t i = length; i < length + 64; ++i)
        ASSERT_EQ(s->blackFile[i], 0) << "byte " << i;
}

TEST_F(BitmapSet, MaxDeviationIsTheLargestRiseAboveTheKey) {
    struct Case {
        const char *name;
        uint32_t key;
        std::vector<uint32_t> others;
        int expected;
    };
    const Case cases[] = {
        {"all at the key", 0x101010, {0x101010}, 0},
        {"red 40 above", 0x101010, {0x381010, 0x201010}, 40},
        {"darker never counts", 0x808080, {0x000000, 0x7F7F7F}, 0},
        {"any channel", 0x101010, {0x081010, 0x101F10, 0x101050}, 0x40},
        {"per channel of the key", 0xFF0000, {0xFF0A00}, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BmpImage image = BmpImage::filled(3, 3, c.key);
        for (size_t i = 0; i < c.others.size(); ++i)
            image.rgb[i + 1] = c.others[i];
        pendra::test::writeBmp(member('0'), image);
        s->maxDeviation = -5;
        ASSERT_EQ(load('0'), 0);
        EXPECT_EQ(s->maxDeviation, c.expected);
    }
}
