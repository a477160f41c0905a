// Gray to 1-bit packing: thresholds, the three dither tables and the bit layout.
#include "encoders/gray_pack.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "imaging/tone.h"
#include "imaging/zv_dither.h"
#include "imaging/zv_image.h"
#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"

namespace {

// The 2^k x 2^k Bayer index matrix by its recursion M(2n) = [[4M, 4M+2], [4M+3, 4M+1]].
int bayer(int row, int column, int size) {
    if (size == 1) return 0;
    const int half = size / 2;
    static constexpr int kQuadrant[2][2] = {{0, 2}, {3, 1}};
    return 4 * bayer(row % half, column % half, half) + kQuadrant[row >= half][column >= half];
}

// The clustered-dot screen of mode 3, its first dot centre 1 (not 0).
constexpr int kClusteredDot[8][8] = {
    {24, 10, 12, 26, 35, 47, 49, 37}, {8, 1, 2, 14, 45, 59, 61, 51},    {22, 6, 4, 16, 43, 57, 63, 53},
    {30, 20, 18, 28, 33, 41, 55, 39}, {34, 46, 48, 36, 25, 11, 13, 27}, {44, 58, 60, 50, 9, 1, 3, 15},
    {42, 56, 62, 52, 23, 7, 5, 17},   {32, 40, 54, 38, 31, 21, 19, 29},
};

// Mode 2 table entry A[y][x]: transposed 8x8 Bayer, corner 1.
int tableA(int x, int y) { return (x % 8 == 0 && y % 8 == 0) ? 1 : bayer(x % 8, y % 8, 8); }
// Mode 4 table entry C[x][y]: 16x16 Bayer with 255 lowered to 254 and 0 raised to 1.
int tableC(int x, int y) {
    if (x % 16 == 15 && y % 16 == 0) return 254;
    if (x % 16 == 0 && y % 16 == 0) return 1;
    return bayer(x % 16, y % 16, 16);
}

bool referenceBlack(int mode, int g, int x, int y) {
    switch (mode) {
        case 0:
            return g <= 128;
        case 2:
            return g / 4 < tableA(x, y);
        case 3:
            return g / 4 < kClusteredDot[y % 8][x % 8];
        case 4:
            return g < tableC(x, y);
        default:
            return g <= 160;
    }
}

std::vector<uint8_t> referencePack(const std::vector<uint8_t> &gray, long widthBytes, long height, int mode) {
    std::vector<uint8_t> out(static_cast<size_t>(widthBytes * height), 0);
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < widthBytes * 8; ++x)
            if (referenceBlack(mode, gray[y * widthBytes * 8 + x], static_cast<int>(x), static_cast<int>(y)))
                out[y * widthBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return out;
}

std::vector<uint8_t> pack(const std::vector<uint8_t> &gray, long widthBytes, long height, int mode) {
    std::vector<uint8_t> out(static_cast<size_t>(widthBytes * height), 0);
    Gray2Bytes(gray.data(), out.data(), widthBytes, height, mode);
    return out;
}

// Pixel (x, y) of a packed block: true when black.
bool dot(const std::vector<uint8_t> &packed, long widthBytes, long x, long y) {
    return (packed[y * widthBytes + x / 8] & (0x80 >> (x % 8))) != 0;
}

TEST(GrayPackTables, BayerReferenceMatchesTheKnownRows) {
    // Row 0 and the start of row 1 of the 16x16 table as the printers use it
    // (its first entry raised from 0 to 1).
    const int row0[16] = {1, 128, 32, 160, 8, 136, 40, 168, 2, 130, 34, 162, 10, 138, 42, 170};
    for (int y = 0; y < 16; ++y) EXPECT_EQ(row0[y], tableC(0, y)) << y;
    const int row1[4] = {192, 64, 224, 96};
    for (int y = 0; y < 4; ++y) EXPECT_EQ(row1[y], tableC(1, y)) << y;
    // The first column of table A: 1 48 12 60 3 51 15 63 along x.
    const int aRow0[8] = {1, 48, 12, 60, 3, 51, 15, 63};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(aRow0[x], tableA(x, 0)) << x;
}

// Every mode against the table definitions, on flat pages of every gray level
// (width 24: one 16-pixel block and an 8-pixel tail) and on a noisy page.
class GrayPackModes : public ::testing::TestWithParam<int> {};

TEST_P(GrayPackModes, FlatPagesOfEveryLevelMatchTheTables) {
    const int mode = GetParam();
    const long widthBytes = 3, height = 16;
    for (int g = 0; g < 256; ++g) {
        const std::vector<uint8_t> gray(static_cast<size_t>(widthBytes * 8 * height), static_cast<uint8_t>(g));
        ASSERT_TRUE(
            zvtest::BytesEqual(referencePack(gray, widthBytes, height, mode), pack(gray, widthBytes, height, mode)))
            << "mode " << mode << " gray " << g;
    }
}

TEST_P(GrayPackModes, NoisyPageWithOddRowWidthMatchesTheTables) {
    const int mode = GetParam();
    const long widthBytes = 7, height = 37;
    std::mt19937 random(1234u + static_cast<unsigned>(mode));
    std::vector<uint8_t> gray(static_cast<size_t>(widthBytes * 8 * height));
    for (uint8_t &g : gray) g = static_cast<uint8_t>(random());
    EXPECT_TRUE(
        zvtest::BytesEqual(referencePack(gray, widthBytes, height, mode), pack(gray, widthBytes, height, mode)));
}

INSTANTIATE_TEST_SUITE_P(ClassicModes, GrayPackModes, ::testing::Values(0, 1, 2, 3, 4, 5));

struct ThresholdCase {
    int mode;
    uint8_t lastBlack;
};

TEST(GrayPack, FixedThresholdsIncludeTheirLimit) {
    for (const ThresholdCase &c : {ThresholdCase{0, 128}, ThresholdCase{1, 160}, ThresholdCase{5, 160}}) {
        const std::vector<uint8_t> gray = {c.lastBlack, static_cast<uint8_t>(c.lastBlack + 1), 0, 255, 0, 255, 0, 255};
        EXPECT_EQ(zvtest::hexBytes("AA"), pack(gray, 1, 1, c.mode)) << "mode " << c.mode;
    }
}

TEST(GrayPack, BitOrderIsMostSignificantFirst) {
    std::vector<uint8_t> gray(16, 255);
    gray[0] = 0;
    gray[15] = 0;
    EXPECT_EQ(zvtest::hexBytes("80 01"), pack(gray, 2, 1, 0));
}

TEST(GrayPack, DitherTablesAtTheirDistinguishingPositions) {
    const long widthBytes = 4, height = 32;  // two periods of the 16x16 table
    auto flat = [&](uint8_t g) { return std::vector<uint8_t>(static_cast<size_t>(widthBytes * 8 * height), g); };

    // Mode 2: black everywhere on black (the corner is 1, not 0); at gray 4 only
    // the two cells holding 1 stay white.
    const auto a0 = pack(flat(0), widthBytes, height, 2);
    const auto a4 = pack(flat(4), widthBytes, height, 2);
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < widthBytes * 8; ++x) {
            EXPECT_TRUE(dot(a0, widthBytes, x, y)) << x << "," << y;
            const bool onOne = (x % 8 == 0 && y % 8 == 0) || (x % 8 == 4 && y % 8 == 4);
            EXPECT_EQ(!onOne, dot(a4, widthBytes, x, y)) << x << "," << y;
        }
    }

    // Mode 4: at 253 black exactly where the table holds 254: the lowered
    // C[15][0] and the Bayer cell (x 7, y 8) that is 254 by itself.
    const auto c253 = pack(flat(253), widthBytes, height, 4);
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < widthBytes * 8; ++x) {
            const bool is254 = (x % 16 == 15 && y % 16 == 0) || (x % 16 == 7 && y % 16 == 8);
            EXPECT_EQ(is254, dot(c253, widthBytes, x, y)) << x << "," << y;
        }
    }
}

// A black area prints black and white paper stays white in every classic mode,
// the dithers included (a table entry of 0 would leave a white dot per cell).
TEST(GrayPack, SolidBlackIsBlackAndWhiteIsWhiteInEveryClassicMode) {
    const long widthBytes = 4, height = 32;  // two periods of the 16x16 table
    const size_t size = static_cast<size_t>(widthBytes * height);
    for (int mode = 0; mode <= 5; ++mode) {
        const std::vector<uint8_t> black(size * 8, 0);
        EXPECT_EQ(std::vector<uint8_t>(size, 0xFF), pack(black, widthBytes, height, mode)) << "mode " << mode;
        const std::vector<uint8_t> white(size * 8, 255);
        EXPECT_EQ(std::vector<uint8_t>(size, 0x00), pack(white, widthBytes, height, mode)) << "mode " << mode;
    }
}

TEST(GrayPack, ClassicPackerOnlySetsBits) {
    const std::vector<uint8_t> gray(8, 255);
    std::vector<uint8_t> out = {0x5A};
    old_Gray2Bytes(gray.data(), out.data(), 1, 1, 0);
    EXPECT_EQ(0x5A, out[0]);
}

// Reads the diagnostic log written while `body` runs.
template <typename Body>
std::string logDuring(Body body) {
    zvtest::TempDir dir;
    closeDebugLog();
    {
        zvtest::ScopedLogDir scoped(dir.path());
        body();
        closeDebugLog();
    }
    return zvtest::readFileText(dir.file("LxxLog.log"));
}

// Modes 6, 9 and any larger one (also negative numbers, compared unsigned)
// threshold at 160 through the pipeline: 159 a dot, 160 none.
TEST(GrayPack, TextModeThresholdsAt160AndUnknownModesFollowIt) {
    const std::vector<uint8_t> gray = {159, 160, 0, 255, 161, 158, 128, 200, 160, 160, 160, 160, 160, 160, 160, 159};
    const struct {
        int mode;
        const char *logLine;
    } cases[] = {{6, "ZVImageAlgoText"}, {9, "unknow"}, {200, "unknow"}, {-1, "unknow"}};
    for (const auto &c : cases) {
        std::vector<uint8_t> out = {0x12, 0x34};
        const std::string log = logDuring([&] { Gray2Bytes(gray.data(), out.data(), 2, 1, c.mode); });
        EXPECT_EQ(zvtest::hexBytes("A6 01"), out) << "mode " << c.mode;
        EXPECT_NE(std::string::npos, log.find("Gray2Bytes - new")) << c.mode;
        EXPECT_NE(std::string::npos, log.find(std::string(" ") + c.logLine + "\r\n")) << c.mode << log;
        EXPECT_NE(std::string::npos, log.find("getPrintData")) << c.mode;
    }
}

// The picture and mixed modes reseed their dither from the clock in whole
// seconds: run until the page and its reference fall into the same second.
template <typename Run>
void inOneSecond(Run run) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const time_t before = std::time(nullptr);
        run();
        if (std::time(nullptr) == before) return;
    }
    FAIL() << "no run fitted into one second";
}

ImageProcessingSetting modeSetting() {
    ImageProcessingSetting s;
    creatDefaultImageProcessingSetting(&s);
    return s;  // serpentine rows, clock-seeded jitter, as the print modes run
}

std::vector<uint8_t> packedOf(const ZVImage *image) {
    return std::vector<uint8_t>(image->pixByteData,
                                image->pixByteData + zvImagePackedSize(image->width, image->height));
}

// Mode 7 on flat gray 128: Atkinson dots (about half of them), not the
// all-dots page that a threshold at 160 would give.
TEST(GrayPack, PictureModeGivesAnAtkinsonPatternOnFlatGray) {
    const long widthBytes = 8, height = 32;
    const std::vector<uint8_t> gray(static_cast<size_t>(widthBytes * 8 * height), 128);
    std::vector<uint8_t> out, expected;
    inOneSecond([&] {
        out.assign(static_cast<size_t>(widthBytes * height), 0);
        Gray2Bytes(gray.data(), out.data(), widthBytes, height, 7);
        ZVImage *image = creatZVImageWithGrayData(gray.data(), 64, 32);
        ASSERT_EQ(0, ZVImageAtkinsonDither(image, modeSetting()));
        ASSERT_EQ(0, ZVImageConvertGray2PixByte(image, 160));
        expected = packedOf(image);
        freeZVImageData(image);
        std::free(image);
    });
    EXPECT_TRUE(zvtest::BytesEqual(expected, out));
    int dots = 0;
    for (uint8_t b : out) dots += __builtin_popcount(b);
    EXPECT_GT(dots, 64 * 32 * 4 / 10);
    EXPECT_LT(dots, 64 * 32 * 6 / 10);
}

// Mode 8 on text over a photograph: the text band (deterministic text dither
// after darkening) and the photo band (brightened, Atkinson) each as if alone.
TEST(GrayPack, MixedModeTreatsTextAndPhotoBandsApart) {
    const uint32_t width = 64, height = 48;
    std::vector<uint8_t> page(width * height, 255);
    for (uint32_t y = 2; y < 14; ++y)
        for (uint32_t x = 3; x < 60; x += 7) page[y * width + x] = page[y * width + x + 1] = 0;
    std::mt19937 rng(5);
    for (uint32_t i = 18 * width; i < 44 * width; ++i) page[i] = static_cast<uint8_t>(60 + rng() % 140);

    auto band = [&](uint32_t first, uint32_t rows, bool text) {
        ZVImage *image = creatZVImageWithGrayData(page.data() + first * width, width, rows);
        if (text) {
            EXPECT_EQ(0, ZVImageBrightnessReduce(image));
            EXPECT_EQ(0, ZVImageTextImageDither(image));
        } else {
            EXPECT_EQ(0, ZVImageBrightnessIncrease(image));
            EXPECT_EQ(0, ZVImageAtkinsonDither(image, modeSetting()));
        }
        EXPECT_EQ(0, ZVImageConvertGray2PixByte(image, 160));
        std::vector<uint8_t> packed = packedOf(image);
        freeZVImageData(image);
        std::free(image);
        return packed;
    };
    std::vector<uint8_t> out, expected;
    inOneSecond([&] {
        out.assign(width / 8 * height, 0xEE);
        Gray2Bytes(page.data(), out.data(), width / 8, height, 8);
        expected.assign(width / 8 * height, 0);  // blank bands stay without dots
        const auto text = band(2, 12, true);
        const auto photo = band(18, 26, false);
        std::copy(text.begin(), text.end(), expected.begin() + 2 * width / 8);
        std::copy(photo.begin(), photo.end(), expected.begin() + 18 * width / 8);
    });
    EXPECT_TRUE(zvtest::BytesEqual(expected, out));
}

// A pipeline that cannot have its planes (here under an address-space limit)
// fails; the page is then packed as print mode 1 and the reason logged, so the
// label still prints.
TEST(GrayPack, FailingPipelineFallsBackToPrintModeOne) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator does not honour an address-space limit";
#else
    auto run = [] {
        const long widthBytes = 64, height = 200000;  // 512 x 200000 dots: 100 MB of gray
        std::vector<uint8_t> gray(static_cast<size_t>(widthBytes * 8 * height), 255);
        for (size_t i = 0; i < gray.size() / 2; ++i) gray[i] = static_cast<uint8_t>(i * 7 % 256);
        const std::vector<uint8_t> expected = referencePack(gray, widthBytes, height, 1);
        std::vector<uint8_t> out(expected.size(), 0x5A);
        // The pipeline's colour and work planes need several times the gray.
        const rlimit limit{1ull << 29, 1ull << 29};
        setrlimit(RLIMIT_AS, &limit);
        uint32_t status = 0;
        const std::string log =
            logDuring([&] { status = pipelineGray2Bytes(gray.data(), out.data(), widthBytes, height, 0x800000); });
        if (status != 2) std::exit(2);
        if (out != expected) std::exit(3);
        if (log.find("pipeline failed with status 2; page packed as print mode 1") == std::string::npos) std::exit(4);
        if (log.find("getPrintData") != std::string::npos) std::exit(5);
        std::exit(0);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
#endif
}

TEST(GrayPack, NothingToPackReadsNothing) {
    // Nothing to pack at all: the block stays defined and nothing is read.
    const std::vector<uint8_t> gray(64, 0);
    std::vector<uint8_t> none = {0x77};
    EXPECT_EQ(1u, pipelineGray2Bytes(gray.data(), none.data(), 1, 0, 0));
    EXPECT_EQ(0x77, none[0]);
}

}  // namespace
