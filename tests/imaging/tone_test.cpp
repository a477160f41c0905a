#include "imaging/tone.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "tests/imaging/gray_band.h"

namespace {

std::vector<uint8_t> allValues() {
    std::vector<uint8_t> v(256);
    for (int i = 0; i < 256; ++i) v[i] = static_cast<uint8_t>(i);
    return v;
}

// Runs `op` on a 256x1 ramp and returns the resulting curve.
std::vector<uint8_t> curveOf(int (*op)(ZVImage *)) {
    ImagePtr image = grayImage(allValues(), 256, 1);
    EXPECT_EQ(op(image.get()), 0);
    return grayOf(image.get());
}

TEST(BrightnessTables, PinnedValues) {
    const std::vector<uint8_t> up = curveOf(ZVImageBrightnessIncrease);
    const std::vector<uint8_t> down = curveOf(ZVImageBrightnessReduce);
    const std::pair<int, int> increase[] = {{0, 0}, {5, 8}, {128, 161}, {143, 177}, {254, 253}, {255, 255}};
    const std::pair<int, int> reduce[] = {{0, 0}, {2, 1}, {128, 93}, {248, 230}, {254, 251}, {255, 255}};
    for (const auto &[in, out] : increase) EXPECT_EQ(up[in], out) << in;
    for (const auto &[in, out] : reduce) EXPECT_EQ(down[in], out) << in;
    for (int i = 1; i < 256; ++i) {
        EXPECT_GE(up[i], up[i - 1]) << i;
        EXPECT_GE(down[i], down[i - 1]) << i;
        EXPECT_LE(down[i], i) << i;
    }
    EXPECT_EQ(up, std::vector<uint8_t>(brightnessIncreaseTable(), brightnessIncreaseTable() + 256));
    EXPECT_EQ(down, std::vector<uint8_t>(brightnessReduceTable(), brightnessReduceTable() + 256));
}

TEST(ContrastReduction, CurveWithItsDiscontinuities) {
    const std::vector<uint8_t> curve = curveOf(ZVImageBrightnessContrastReduction);
    const std::pair<int, int> cases[] = {{0, 0},     {25, 30},   {26, 41},   {127, 127},
                                         {128, 127}, {229, 213}, {230, 205}, {255, 255}};
    for (const auto &[in, out] : cases) EXPECT_EQ(curve[in], out) << in;
}

TEST(ContrastReduction2, PowerThenContrast) {
    const std::vector<uint8_t> curve = curveOf(ZVImageBrightnessContrastReduction_2);
    const std::pair<int, int> cases[] = {{0, 12}, {128, 144}, {255, 242}};
    for (const auto &[in, out] : cases) EXPECT_EQ(curve[in], out) << in;
    for (int i = 1; i < 256; ++i) EXPECT_GE(curve[i], curve[i - 1]) << i;
}

TEST(AutoLevels, StretchesOnePercentPoints) {
    // 2 at 50, 96 at 100, 2 at 200: low 1, high 99, lo 50, hi 200.
    std::vector<uint8_t> gray(100, 100);
    gray[3] = gray[70] = 50;
    gray[10] = gray[99] = 200;
    ImagePtr image = grayImage(gray, 10, 10);
    ASSERT_EQ(ZVImageBrightnessAutoLevels(image.get()), 0);
    std::vector<uint8_t> expected(100, 85);
    expected[3] = expected[70] = 0;
    expected[10] = expected[99] = 255;
    EXPECT_EQ(grayOf(image.get()), expected);
}

TEST(AutoLevels, SingleValueUnchanged) {
    for (uint8_t v : {0, 77, 255}) {
        ImagePtr image = flatGray(v, 20, 10);
        ASSERT_EQ(ZVImageBrightnessAutoLevels(image.get()), 0);
        EXPECT_EQ(grayOf(image.get()), std::vector<uint8_t>(200, v));
    }
}

TEST(AutoLevels, OutliersBeyondOnePercentAreClipped) {
    // 1000 pixels: 5 at 0 and 5 at 255 lie beyond the 1 % points (low 10,
    // top count 10): lo = 40 (5 + 10 reach 10), hi = 140, scale 2.55.
    std::vector<uint8_t> gray(1000, 90);
    for (int i = 0; i < 5; ++i) gray[i] = 0;
    for (int i = 5; i < 15; ++i) gray[i] = 40;
    for (int i = 15; i < 25; ++i) gray[i] = 140;
    for (int i = 25; i < 30; ++i) gray[i] = 255;
    ImagePtr image = grayImage(gray, 100, 10);
    ASSERT_EQ(ZVImageBrightnessAutoLevels(image.get()), 0);
    EXPECT_EQ(image->grayData[0], 0);
    EXPECT_EQ(image->grayData[5], 0);
    EXPECT_EQ(image->grayData[15], 255);
    EXPECT_EQ(image->grayData[25], 255);
    EXPECT_EQ(image->grayData[500], 127);  // 50 * 2.55 = 127.5
}

TEST(NormalCdf, RisesToOneAroundTheMean) {
    float t[256];
    GenerateNormalCDF(t, 128.0f, 50.0f);
    for (int i = 1; i < 256; ++i) EXPECT_GT(t[i], t[i - 1]) << i;
    EXPECT_LT(t[127], 0.5f);
    EXPECT_GT(t[128], 0.5f);
    EXPECT_EQ(t[255], 1.0f);
    EXPECT_LT(t[254], 1.0f);
}

TEST(HistogramSpecificationBytes, MapsTowardsNormalTarget) {
    // Half the bytes at or below 10: cumulative 0.5 is nearest to level 127.
    std::vector<uint8_t> src(100, 10);
    std::fill(src.begin() + 50, src.end(), 200);
    std::vector<uint8_t> dst(100);
    EXPECT_EQ(HistogramSpecification(src.data(), dst.data(), src.size()), 0);
    EXPECT_EQ(dst[0], 127);
    EXPECT_EQ(dst[99], 255);
    // In place works too.
    EXPECT_EQ(HistogramSpecification(src.data(), src.data(), src.size()), 0);
    EXPECT_EQ(src, dst);
}

std::vector<uint8_t> rgbaFill(std::initializer_list<uint8_t> px, size_t count) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < count; ++i) out.insert(out.end(), px.begin(), px.end());
    return out;
}

TEST(HistogramSpecificationImage, SingleColourIsLiftedToFullLightness) {
    const struct {
        std::initializer_list<uint8_t> in, out;
    } cases[] = {
        {{128, 128, 128, 77}, {255, 255, 255, 77}},
        {{0, 0, 0, 0}, {255, 255, 255, 0}},
        {{200, 30, 30, 9}, {255, 201, 171, 9}},
    };
    for (const auto &c : cases) {
        ImagePtr image(creatZVImageWithRGBAData(rgbaFill(c.in, 12).data(), 4, 3));
        ASSERT_EQ(ZVImageHistogramSpecification(image.get()), 0);
        EXPECT_EQ(std::vector<uint8_t>(image->rgbaData, image->rgbaData + 48), rgbaFill(c.out, 12));
    }
}

TEST(HistogramSpecificationImage, HalfDarkHalfLight) {
    // Black and white halves: black's lightness byte 0 has cumulative 0.5 and
    // maps to 127 (mid gray), white's to 255. Gray stays neutral.
    std::vector<uint8_t> rgba = rgbaFill({0, 0, 0, 255}, 8);
    const std::vector<uint8_t> white = rgbaFill({255, 255, 255, 200}, 8);
    rgba.insert(rgba.end(), white.begin(), white.end());
    ImagePtr image(creatZVImageWithRGBAData(rgba.data(), 4, 4));
    ASSERT_EQ(ZVImageHistogramSpecification(image.get()), 0);
    const uint8_t *p = image->rgbaData;
    uint8_t r, g, b;
    LAB2RGB(127.0f * 100.0f / 255.0f, 0.0f, 0.0f, &r, &g, &b);
    EXPECT_EQ(p[0], r);
    EXPECT_EQ(p[1], g);
    EXPECT_EQ(p[2], b);
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(p[63], 200);
    EXPECT_EQ(p[60], 255);
}

TEST(ColourHelpers, RoundTripOfPrimaries) {
    const uint8_t colours[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {12, 200, 99}};
    for (const auto &c : colours) {
        float x, y, z, l, a, b;
        RGB2XYZ(c[0], c[1], c[2], &x, &y, &z);
        XYZ2LAB(x, y, z, &l, &a, &b);
        uint8_t r, g, bl;
        LAB2RGB(l, a, b, &r, &g, &bl);
        EXPECT_NEAR(r, c[0], 1);
        EXPECT_NEAR(g, c[1], 1);
        EXPECT_NEAR(bl, c[2], 1);
    }
}

TEST(ToneOperations, MissingPlaneGivesStatus1) {
    const std::pair<const char *, int (*)(ZVImage *)> grayOps[] = {
        {"increase", ZVImageBrightnessIncrease},          {"reduce", ZVImageBrightnessReduce},
        {"contrast", ZVImageBrightnessContrastReduction}, {"contrast2", ZVImageBrightnessContrastReduction_2},
        {"levels", ZVImageBrightnessAutoLevels},
    };
    ImagePtr rgbaOnly(creatZVImageWithRGBAData(rgbaFill({1, 2, 3, 4}, 4).data(), 2, 2));
    ImagePtr grayOnly = flatGray(9, 2, 2);
    for (const auto &[name, op] : grayOps) {
        EXPECT_EQ(op(nullptr), 1) << name;
        EXPECT_EQ(op(rgbaOnly.get()), 1) << name;
    }
    EXPECT_EQ(ZVImageHistogramSpecification(nullptr), 1);
    EXPECT_EQ(ZVImageHistogramSpecification(grayOnly.get()), 1);
    EXPECT_EQ(grayOf(grayOnly.get()), std::vector<uint8_t>(4, 9));
}

}  // namespace
