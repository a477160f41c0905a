#include "imaging/zv_dither.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/simple_rand.h"
#include "tests/support/owned_handles.h"

namespace {

using ImagePtr = zvtest::ImagePtr;

ImagePtr grayImage(const std::vector<uint8_t> &gray, uint32_t width) {
    return ImagePtr(creatZVImageWithGrayData(gray.data(), width, static_cast<uint32_t>(gray.size() / width)));
}

// Rows of the result, '#' for black (0), '.' for white (255), '?' otherwise.
std::vector<std::string> picture(const ZVImage *image) {
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < image->height; ++y) {
        std::string row;
        for (uint32_t x = 0; x < image->width; ++x) {
            const uint8_t v = image->grayData[y * image->width + x];
            row += v == 0 ? '#' : v == 255 ? '.' : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

ImageProcessingSetting settingFor(uint32_t scanMode, uint32_t randomThreshold = 0) {
    ImageProcessingSetting setting;
    creatDefaultImageProcessingSetting(&setting);
    setting.scanMode = scanMode;
    setting.randomThreshold = randomThreshold;
    return setting;
}

// A ramp that rises to the right and downwards, 8 x 4.
std::vector<uint8_t> rampFixture() {
    std::vector<uint8_t> gray;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) gray.push_back(static_cast<uint8_t>(40 + x * 23 + y * 11));
    }
    return gray;
}

class DitherTest : public ::testing::Test {
  protected:
    void SetUp() override { resetSimpleRand(); }
    void TearDown() override { resetSimpleRand(); }
};

TEST_F(DitherTest, SimpleRandStartsFromOne) {
    EXPECT_EQ(getSimpleRandState(), 1u);
    EXPECT_EQ(simpleRand(), static_cast<float>(1103527590 / 2147483648.0));
    EXPECT_EQ(getSimpleRandState(), 1103527590u);
    simpleRand();
    EXPECT_EQ(getSimpleRandState(), 377401575u);  // high bit of the product dropped
    simpleRand();
    EXPECT_EQ(getSimpleRandState(), 662824084u);
    setSimpleRandState(1);
    EXPECT_EQ(simpleRand(), static_cast<float>(1103527590 / 2147483648.0));
}

using Method = std::function<int(ZVImage *, ImageProcessingSetting)>;

struct KernelCase {
    const char *name;
    Method method;
    uint32_t scanMode;
    std::vector<std::string> rows;
};

TEST_F(DitherTest, KernelsAndRowOrderOnARamp) {
    const KernelCase cases[] = {
        {"floyd ltr", ZVImageFloydSteinbergDither, 0, {"###.#...", "#.#.#.#.", "##.#....", "#.#.#..."}},
        {"floyd serpentine", ZVImageFloydSteinbergDither, 1, {"###.#...", "####....", "#..#.#..", "###....."}},
        {"floyd rtl", ZVImageFloydSteinbergDither, 7, {"####....", "##..##..", "####....", "#......."}},
        {"burkes ltr", ZVImageBurkesDither, 0, {"###.#...", "##.#..#.", "#.#.#...", "##.#...."}},
        {"burkes serpentine", ZVImageBurkesDither, 1, {"###.#...", "##.#....", "#.#.#.#.", "####...."}},
        {"burkes rtl", ZVImageBurkesDither, 2, {"####....", "##..##..", "####....", "#......."}},
        {"sierra ltr", ZVImageSierraDither, 0, {"###.#...", "##.#....", "#.#.#.#.", "##.#...."}},
        {"sierra serpentine", ZVImageSierraDither, 1, {"###.#...", "####....", "#..#.#..", "##......"}},
        {"sierra rtl", ZVImageSierraDither, 2, {"####....", "###.#...", "#....#..", "####...."}},
        {"jjn ltr", ZVImageJarvisJudiceNinkeDither, 0, {"###.#...", "##.#....", "#.##.#..", "#.#....."}},
        {"jjn serpentine", ZVImageJarvisJudiceNinkeDither, 1, {"###.#...", "####....", "#..#..#.", "##......"}},
        {"jjn rtl", ZVImageJarvisJudiceNinkeDither, 2, {"####....", "###.#...", "#.......", "######.."}},
        {"atkinson ltr", ZVImageAtkinsonDither, 0, {"###..#..", "###.#...", "#..##...", "##......"}},
        {"atkinson serpentine", ZVImageAtkinsonDither, 1, {"###..#..", "#.###...", "##..#...", ".###...."}},
        {"atkinson rtl", ZVImageAtkinsonDither, 2, {"#####...", "##..#...", "###.#...", "#.##...."}},
    };
    for (const KernelCase &c : cases) {
        ImagePtr image = grayImage(rampFixture(), 8);
        ASSERT_EQ(c.method(image.get(), settingFor(c.scanMode)), 0) << c.name;
        EXPECT_EQ(picture(image.get()), c.rows) << c.name;
    }
    EXPECT_EQ(getSimpleRandState(), 1u);  // no draws without randomThreshold
}

TEST_F(DitherTest, DiffusionThresholdIsStrict) {
    // 128 is not above 128: black, and its error 128 is carried on
    // (x 7/16 = 56 to the right, which turns the next 128 white at 184).
    ImagePtr single = grayImage({128}, 1);
    ASSERT_EQ(ZVImageFloydSteinbergDither(single.get(), settingFor(0)), 0);
    EXPECT_EQ(single->grayData[0], 0);

    ImagePtr pair = grayImage({128, 128, 72, 128}, 2);
    ASSERT_EQ(ZVImageFloydSteinbergDither(pair.get(), settingFor(0)), 0);
    // Row 1, x0: 72 + 40 (5/16 of 128) - 13.3 (3/16 of -71) = 98.7 -> black.
    EXPECT_EQ(picture(pair.get()), (std::vector<std::string>{"#.", "#."}));
}

TEST_F(DitherTest, AtkinsonOnOneRowStaysInTheRow) {
    const std::vector<uint8_t> row(6, 100);
    ImagePtr ltr = grayImage(row, 6);
    ASSERT_EQ(ZVImageAtkinsonDither(ltr.get(), settingFor(0)), 0);
    EXPECT_EQ(picture(ltr.get()), (std::vector<std::string>{"###.##"}));
    ImagePtr rtl = grayImage(row, 6);
    ASSERT_EQ(ZVImageAtkinsonDither(rtl.get(), settingFor(2)), 0);
    EXPECT_EQ(picture(rtl.get()), (std::vector<std::string>{"##.###"}));
}

TEST_F(DitherTest, TextDither) {
    struct Case {
        std::vector<uint8_t> gray;
        uint32_t width;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {{130}, 1, {"#"}},
        {{131}, 1, {"."}},
        {std::vector<uint8_t>(12, 255), 4, {"....", "....", "...."}},
        {std::vector<uint8_t>(12, 0), 4, {"####", "####", "####"}},
        // 130 is black and its share 130*8/42 = 24 lifts the 131 to 155.
        {{130, 131, 129, 200, 60, 100, 180, 20}, 8, {"#.#.##.#"}},
        {rampFixture(), 8, {"###.#...", "##.#....", "#.#.#.#.", "##.#...."}},
    };
    for (const Case &c : cases) {
        ImagePtr image = grayImage(c.gray, c.width);
        ASSERT_EQ(ZVImageTextImageDither(image.get()), 0);
        EXPECT_EQ(picture(image.get()), c.rows);
    }
}

TEST_F(DitherTest, OrderedDitherOnUniformGray) {
    // Gray 100 exceeds 16*M exactly where M <= 6: seven of sixteen positions.
    ImagePtr image = grayImage(std::vector<uint8_t>(32, 100), 8);
    ASSERT_EQ(ZVImageOrderedBayerDither(image.get(), settingFor(1)), 0);
    const std::vector<std::string> tile = {".#.#", "#.#.", ".#.#", "###."};
    for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(picture(image.get())[y], tile[y] + tile[y]);
    // M = 0 gives threshold 0: black stays black.
    ImagePtr black = grayImage({0}, 1);
    ASSERT_EQ(ZVImageOrderedBayerDither(black.get(), settingFor(0)), 0);
    EXPECT_EQ(black->grayData[0], 0);
}

TEST_F(DitherTest, RandomDitherContinuesTheGenerator) {
    // Thresholds from state 1: 131.04, 44.81, 78.71 in visiting order.
    ImagePtr ltr = grayImage({131, 45, 78}, 3);
    ASSERT_EQ(ZVImageRandomDither(ltr.get(), settingFor(0)), 0);
    EXPECT_EQ(picture(ltr.get()), (std::vector<std::string>{"#.#"}));
    EXPECT_EQ(getSimpleRandState(), 662824084u);

    resetSimpleRand();
    ImagePtr rtl = grayImage({131, 45, 78}, 3);
    ASSERT_EQ(ZVImageRandomDither(rtl.get(), settingFor(2)), 0);
    EXPECT_EQ(picture(rtl.get()), (std::vector<std::string>{"..#"}));
}

TEST_F(DitherTest, RandomThresholdReseedsFromTheClock) {
    setSimpleRandState(1);
    const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
    ImagePtr image = grayImage({200}, 1);
    ASSERT_EQ(ZVImageFloydSteinbergDither(image.get(), settingFor(1, 1)), 0);
    const uint32_t after = static_cast<uint32_t>(std::time(nullptr));
    // One draw after seeding with the time in seconds.
    bool matched = false;
    for (uint32_t t = before; t <= after; ++t) {
        matched |= getSimpleRandState() == ((t * 1103515245u + 12345u) & 0x7fffffffu);
    }
    EXPECT_TRUE(matched);
    EXPECT_EQ(image->grayData[0], 255);  // 200 is beyond any jitter of +-10
}

TEST_F(DitherTest, JitteredResultRepeatsWithinOneSecond) {
    // The seed is the time in whole seconds: two runs in the same second agree.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t start = std::time(nullptr);
        ImagePtr first = grayImage(rampFixture(), 8);
        ImagePtr second = grayImage(rampFixture(), 8);
        ASSERT_EQ(ZVImageAtkinsonDither(first.get(), settingFor(1, 1)), 0);
        ASSERT_EQ(ZVImageAtkinsonDither(second.get(), settingFor(1, 1)), 0);
        if (std::time(nullptr) != start) continue;  // crossed a second boundary
        EXPECT_EQ(picture(first.get()), picture(second.get()));
        return;
    }
    GTEST_SKIP() << "clock kept crossing second boundaries";
}

TEST_F(DitherTest, JitteredMethodsStillGiveTwoLevels) {
    const Method methods[] = {ZVImageFloydSteinbergDither, ZVImageAtkinsonDither, ZVImageOrderedBayerDither,
                              ZVImageRandomDither};
    for (const Method &method : methods) {
        ImagePtr image = grayImage(rampFixture(), 8);
        ASSERT_EQ(method(image.get(), settingFor(1, 1)), 0);
        for (const std::string &row : picture(image.get())) {
            EXPECT_EQ(row.find('?'), std::string::npos);
        }
    }
}

TEST_F(DitherTest, ThresholdingKeepsTheThresholdWhite) {
    ImagePtr image = grayImage({127, 128, 0, 255}, 4);
    ASSERT_EQ(ZVImageThresholding(image.get(), 128), 0);
    EXPECT_EQ(picture(image.get()), (std::vector<std::string>{"#.#."}));
    ImagePtr zero = grayImage({0, 1}, 2);
    ASSERT_EQ(ZVImageThresholding(zero.get(), 0), 0);
    EXPECT_EQ(picture(zero.get()), (std::vector<std::string>{".."}));
}

TEST_F(DitherTest, MissingGrayGivesOne) {
    const Method methods[] = {
        ZVImageFloydSteinbergDither, ZVImageBurkesDither,       ZVImageSierraDither, ZVImageJarvisJudiceNinkeDither,
        ZVImageAtkinsonDither,       ZVImageOrderedBayerDither, ZVImageRandomDither};
    const uint8_t rgba[4] = {1, 2, 3, 4};
    ImagePtr noGray(creatZVImageWithRGBAData(rgba, 1, 1));
    for (const Method &method : methods) {
        EXPECT_EQ(method(nullptr, settingFor(0)), 1);
        EXPECT_EQ(method(noGray.get(), settingFor(0)), 1);
    }
    EXPECT_EQ(ZVImageTextImageDither(nullptr), 1);
    EXPECT_EQ(ZVImageTextImageDither(noGray.get()), 1);
    EXPECT_EQ(ZVImageThresholding(noGray.get(), 128), 1);
    EXPECT_EQ(errorDiffusion(noGray.get(), 0, 0, jarvisAlgo), 1);
    EXPECT_EQ(getSimpleRandState(), 1u);
}

TEST(DitherTables, PublishedKernels) {
    float sums[4] = {};
    const DiffusionAlgo algos[4] = {floydSteinbergAlgo, burkesAlgo, sierraAlgo, jarvisAlgo};
    const int counts[4] = {4, 7, 10, 12};
    for (int a = 0; a < 4; ++a) {
        EXPECT_EQ(algos[a].count, counts[a]);
        for (int k = 0; k < algos[a].count; ++k) sums[a] += algos[a].coeffs[k].weight;
        EXPECT_NEAR(sums[a], 1.0f, 1e-6f);
    }
    EXPECT_EQ(jarvisCoeffs[7].weight, 1.0f / 48.0f);
    EXPECT_EQ(jarvisCoeffs[7].dx, -2);
    EXPECT_EQ(jarvisCoeffs[7].dy, 2);
    EXPECT_EQ(getThreshold(0, 7.0f), 128.0f);
}

}  // namespace

namespace {

// The whole-image diffusion must equal the documented per-pixel routine run
// over the same rows, for every kernel and row order, on a noisy fixture whose
// edges take shares that leave the image.
TEST_F(DitherTest, DiffusionMatchesPerPixelRoutine) {
    const uint32_t width = 37, height = 23;
    std::vector<uint8_t> gray(width * height);
    uint32_t seed = 7;
    for (uint8_t &v : gray) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    for (DiffusionAlgo algo : {floydSteinbergAlgo, burkesAlgo, sierraAlgo, jarvisAlgo}) {
        for (uint32_t scanMode : {0u, 1u, 2u}) {
            std::vector<float> work(gray.begin(), gray.end());
            std::vector<uint8_t> expected(gray.size());
            for (uint32_t y = 0; y < height; ++y) {
                const bool ltr = scanMode == 0 || (scanMode == 1 && y % 2 == 0);
                for (uint32_t i = 0; i < width; ++i) {
                    processPixel(width, height, work.data(), expected.data(), ltr ? i : width - 1 - i, y, 0, algo);
                }
            }
            ImagePtr image = grayImage(gray, width);
            ASSERT_EQ(errorDiffusion(image.get(), scanMode, 0, algo), 0);
            EXPECT_EQ(std::vector<uint8_t>(image->grayData, image->grayData + gray.size()), expected)
                << "kernel of " << algo.count << ", scanMode " << scanMode;
        }
    }
}

}  // namespace
