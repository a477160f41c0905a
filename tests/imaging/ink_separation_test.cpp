// CMY separation, ink limiting and the colour inkjet preset.
#include "imaging/ink_separation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "imaging/simple_rand.h"
#include "tests/imaging/gray_band.h"

namespace {

ImagePtr rgbaPage(uint8_t r, uint8_t g, uint8_t b, uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgba(size_t{4} * width * height);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = r;
        rgba[i + 1] = g;
        rgba[i + 2] = b;
        rgba[i + 3] = 255;
    }
    return ImagePtr(creatZVImageWithRGBAData(rgba.data(), width, height));
}

std::vector<uint8_t> firstCmy(const ZVImage *image) { return std::vector<uint8_t>(image->cmyData, image->cmyData + 3); }

TEST(InkSeparation, InkOfWhiteBlackAndGray) {
    ZVColorConfig defaults;
    ASSERT_EQ(creatDefaultZVColorConfig(&defaults), &defaults);
    EXPECT_EQ(defaults.srgbDecode, 0u);
    EXPECT_FLOAT_EQ(defaults.inkGamma, 1.6f);
    EXPECT_FLOAT_EQ(defaults.maxInk, 0.9f);
    EXPECT_FLOAT_EQ(defaults.totalInkLimit, 0.9f);
    EXPECT_FLOAT_EQ(defaults.blackGeneration, 0.0f);

    ZVColorConfig plain = defaults;  // no curve, no ceilings
    plain.inkGamma = 0.0f;           // 0 means 1.0
    plain.maxInk = 1.0f;
    plain.totalInkLimit = 1.0f;
    ZVColorConfig blackGen = plain;
    blackGen.blackGeneration = 1.0f;
    ZVColorConfig total = plain;
    total.totalInkLimit = 0.5f;

    struct Case {
        const char *what;
        uint8_t r, g, b;
        ZVColorConfig config;
        std::vector<uint8_t> cmy;
    };
    const Case cases[] = {
        {"white", 255, 255, 255, defaults, {0, 0, 0}},
        {"black: ceiling 0.9", 0, 0, 0, defaults, {230, 230, 230}},
        {"gray 128: 0.498^1.6", 128, 128, 128, defaults, {84, 84, 84}},
        {"red without curve or ceiling", 255, 0, 0, plain, {0, 255, 255}},
        {"gray removed by black generation", 128, 128, 128, blackGen, {0, 0, 0}},
        {"red keeps its inks under black generation", 255, 0, 0, blackGen, {0, 255, 255}},
        {"black scaled to half the total", 0, 0, 0, total, {128, 128, 128}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ImagePtr image = rgbaPage(c.r, c.g, c.b, 1, 1);
        ASSERT_EQ(ZVImageConvertRGBA2CMY_ICC(image.get(), c.config), 0);
        EXPECT_EQ(firstCmy(image.get()), c.cmy);
    }

    EXPECT_NEAR(zv_srgb_decode(10.0f / 255.0f), 0.003035f, 1e-6f);
    EXPECT_NEAR(zv_srgb_decode(0.5f), 0.21404f, 1e-5f);
    EXPECT_FLOAT_EQ(zv_srgb_decode(1.0f), 1.0f);

    ImagePtr grayOnly = flatGray(0, 2, 2);
    EXPECT_EQ(ZVImageConvertRGBA2CMY_ICC(grayOnly.get(), defaults), 1);
}

TEST(InkSeparation, InkLimiting) {
    struct Case {
        float limit;
        std::vector<uint8_t> in, out;
    };
    const Case cases[] = {
        {0.75f, {230, 230, 230}, {191, 191, 191}},  // 574 of 690
        {0.75f, {100, 100, 100}, {100, 100, 100}},  // under the limit
        {0.75f, {255, 255, 0}, {255, 255, 0}},      // 510 <= 574
        {1.0f, {255, 255, 255}, {255, 255, 255}},   // 765: nothing to do
        {0.0f, {230, 230, 230}, {230, 230, 230}},  {1.5f, {230, 230, 230}, {230, 230, 230}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.limit);
        ImagePtr image(creatZVImage(1, 1));
        image->cmyData = static_cast<uint8_t *>(std::malloc(3));
        std::copy(c.in.begin(), c.in.end(), image->cmyData);
        EXPECT_EQ(ZVImageInkLimiting(image.get(), c.limit), 0);
        EXPECT_EQ(firstCmy(image.get()), c.out);
    }
    ImagePtr noInk = flatGray(0, 2, 2);
    EXPECT_EQ(ZVImageInkLimiting(noInk.get(), 0.75f), 1);
    EXPECT_EQ(ZVImageInkLimiting(nullptr, 0.75f), 1);
}

// The preset's diffusion jitters its threshold from a clock-seeded generator;
// a fixed clock makes every run the same.
class InkPreset : public ::testing::Test {
  protected:
    void SetUp() override {
        setSimpleRandClock([] { return 1234u; });
    }
    void TearDown() override { setSimpleRandClock(nullptr); }

    static double dotShare(const uint8_t *plane, size_t count) {
        size_t dots = 0;
        for (size_t i = 0; i < count; ++i) {
            EXPECT_TRUE(plane[i] == 0 || plane[i] == 255);
            dots += plane[i] == 255;
        }
        return static_cast<double>(dots) / static_cast<double>(count);
    }
};

TEST_F(InkPreset, DotPlanesPerInk) {
    // 250 wide: the width is not padded.
    constexpr uint32_t kW = 250, kH = 60;
    constexpr size_t kPixels = size_t{kW} * kH;
    struct Case {
        const char *what;
        uint8_t r, g, b;
        double c, m, y;  // share of the ink's level: about that share of dots
    };
    const Case cases[] = {
        {"white: no ink", 255, 255, 255, 0.0, 0.0, 0.0},
        {"black: 191 of each ink after limiting", 0, 0, 0, 191 / 255.0, 191 / 255.0, 191 / 255.0},
        {"cyan: cyan ink only", 0, 255, 255, 230 / 255.0, 0.0, 0.0},
        {"yellow: yellow ink only", 255, 255, 0, 0.0, 0.0, 230 / 255.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ImagePtr image = rgbaPage(c.r, c.g, c.b, kW, kH);
        ASSERT_EQ(getZVImageProcessingForA4CMYInkejtImageMixText(image.get()), 0u);
        EXPECT_EQ(image->width, kW);
        ASSERT_FALSE(isEmptyCMYPixData(image.get()));
        ASSERT_NE(image->cmyData, nullptr);
        EXPECT_EQ(image->pixByteData, nullptr);
        // The diffusion drops a quarter of the error in its right-to-left rows,
        // which tilts a flat level a little further towards full ink; no ink
        // gives no dot at all.
        const uint8_t *planes[3] = {image->cPixData, image->mPixData, image->yPixData};
        const double shares[3] = {c.c, c.m, c.y};
        for (int k = 0; k < 3; ++k) {
            const double share = dotShare(planes[k], kPixels);
            if (shares[k] == 0.0) {
                EXPECT_EQ(share, 0.0) << "ink " << k;
            } else {
                EXPECT_GE(share, shares[k] - 0.01) << "ink " << k;
                EXPECT_LE(share, shares[k] + 0.07) << "ink " << k;
            }
        }
    }
}

TEST_F(InkPreset, SameClockSameDots) {
    std::vector<uint8_t> rgba = noiseBytes(4 * 64 * 48, 3);
    ImagePtr first(creatZVImageWithRGBAData(rgba.data(), 64, 48));
    ImagePtr second(creatZVImageWithRGBAData(rgba.data(), 64, 48));
    ASSERT_EQ(getZVImageProcessingForA4CMYInkejtImageMixText(first.get()), 0u);
    ASSERT_EQ(getZVImageProcessingForA4CMYInkejtImageMixText(second.get()), 0u);
    EXPECT_EQ(std::vector<uint8_t>(first->mPixData, first->mPixData + 64 * 48),
              std::vector<uint8_t>(second->mPixData, second->mPixData + 64 * 48));

    ImagePtr grayOnly = flatGray(0, 8, 8);
    EXPECT_EQ(getZVImageProcessingForA4CMYInkejtImageMixText(grayOnly.get()), 1u);
    EXPECT_TRUE(isEmptyCMYPixData(grayOnly.get()));
}

}  // namespace
