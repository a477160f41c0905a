#include "imaging/sharpen.h"

#include <gtest/gtest.h>

#include <utility>

#include "tests/imaging/gray_band.h"

namespace {

using SharpenOp = int (*)(ZVImage *, uint16_t, float);

// Value of the centre of a 5x5 background of 100 with one pixel `centre`
// after `op`; the centre's result depends only on itself and its blur.
int sharpenedSpike(SharpenOp op, uint8_t centre, uint16_t radius, float amount) {
    std::vector<uint8_t> gray(25, 100);
    gray[12] = centre;
    ImagePtr image = grayImage(gray, 5, 5);
    EXPECT_EQ(op(image.get(), radius, amount), 0);
    return image->grayData[12];
}

TEST(SharpenTattoo, LiftsHighlights) {
    const std::pair<int, int> cases[] = {{0, 0},     {230, 230}, {231, 236}, {235, 240},
                                         {239, 244}, {240, 255}, {254, 255}, {255, 255}};
    std::vector<uint8_t> gray;
    for (const auto &c : cases) gray.push_back(static_cast<uint8_t>(c.first));
    ImagePtr image = grayImage(gray, static_cast<uint32_t>(gray.size()), 1);
    ASSERT_EQ(ZVImageSharpenTattoo(image.get()), 0);
    for (size_t i = 0; i < gray.size(); ++i) EXPECT_EQ(image->grayData[i], cases[i].second) << cases[i].first;
}

TEST(GaussianBlur, TruncatesInEachPass) {
    // Radius 1: flat 100 blurs to 99 after the horizontal and 98 after the
    // vertical pass. Radius 2 keeps flat bands, borders included.
    const std::vector<uint8_t> flat(6 * 4, 100);
    std::vector<uint8_t> out(flat.size());
    ASSERT_EQ(gaussianBlur(flat.data(), out.data(), 6, 4, 1), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(flat.size(), 98));
    ASSERT_EQ(gaussianBlur(flat.data(), out.data(), 6, 4, 2), 0);
    EXPECT_EQ(out, flat);
}

TEST(Blurs, RadiusZeroCopiesAndTinyImagesStayInside) {
    const std::vector<uint8_t> src = noiseBytes(7 * 3, 5);
    std::vector<uint8_t> out(src.size(), 0);
    EXPECT_EQ(gaussianBlur(src.data(), out.data(), 7, 3, 0), 0);
    EXPECT_EQ(out, src);
    std::fill(out.begin(), out.end(), 0);
    EXPECT_EQ(bilateralFilter(src.data(), out.data(), 7, 3, 0, 15.0f), 0);
    EXPECT_EQ(out, src);

    // A window far larger than the image only repeats the border pixels.
    const uint8_t one[1] = {200};
    uint8_t blurred[1] = {0};
    EXPECT_EQ(gaussianBlur(one, blurred, 1, 1, 40), 0);
    EXPECT_EQ(blurred[0], 200);
    EXPECT_EQ(bilateralFilter(one, blurred, 1, 1, 40, 15.0f), 0);
    EXPECT_LE(200 - blurred[0], 1);
}

TEST(Blurs, MissingBuffersOrZeroSize) {
    uint8_t a[4] = {}, b[4] = {};
    EXPECT_EQ(gaussianBlur(nullptr, b, 2, 2, 2), 1);
    EXPECT_EQ(gaussianBlur(a, nullptr, 2, 2, 2), 1);
    EXPECT_EQ(gaussianBlur(a, b, 0, 2, 2), 1);
    EXPECT_EQ(bilateralFilter(nullptr, b, 2, 2, 2, 15.0f), 1);
    EXPECT_EQ(bilateralFilter(a, b, 2, 0, 2, 15.0f), 1);
}

TEST(BilateralFilter, KeepsHardEdgesAndSmoothsSmallSteps) {
    // Across a 50|200 step the range weight is exp(-150^2/450), so each side
    // averages only itself; a 100|104 step is smoothed.
    const uint32_t w = 8, h = 4;
    std::vector<uint8_t> hard(w * h), out(w * h);
    for (uint32_t i = 0; i < w * h; ++i) hard[i] = (i % w) < 4 ? 50 : 200;
    ASSERT_EQ(bilateralFilter(hard.data(), out.data(), w, h, 2, 15.0f), 0);
    for (uint32_t i = 0; i < w * h; ++i) EXPECT_LE(hard[i] - out[i], 1) << i;
    std::vector<uint8_t> low(w * h);
    for (uint32_t i = 0; i < w * h; ++i) low[i] = (i % w) < 4 ? 100 : 104;
    ASSERT_EQ(bilateralFilter(low.data(), out.data(), w, h, 2, 15.0f), 0);
    EXPECT_GT(out[3], 100);  // left of the step pulled up
    EXPECT_LT(out[4], 104);  // right of the step pulled down
}

TEST(UnsharpMasking, FlatBands) {
    struct Case {
        uint8_t value;
        uint16_t radius;
        uint8_t expected;
    };
    const Case cases[] = {{100, 1, 108}, {255, 1, 255}, {100, 2, 100}, {0, 2, 0}, {37, 2, 37}, {255, 2, 255}};
    for (const Case &c : cases) {
        ImagePtr image = flatGray(c.value, 9, 6);
        ASSERT_EQ(ZVImageSharpenUnsharpMasking(image.get(), c.radius, 4.0f), 0);
        EXPECT_EQ(grayOf(image.get()), std::vector<uint8_t>(54, c.expected)) << int(c.value) << " r" << c.radius;
    }
}

TEST(UnsharpMasking, SpikeIsAmplified) {
    // Radius 2: a centre of 112 blurs to 101; 112 + 4 * 11 = 156.
    EXPECT_EQ(sharpenedSpike(ZVImageSharpenUnsharpMasking, 112, 2, 4.0f), 156);
    EXPECT_EQ(sharpenedSpike(ZVImageSharpenUnsharpMasking, 160, 2, 4.0f), 255);
}

TEST(AdaptiveSharpening, ThresholdsAt10And51) {
    // Centre values with radius 2 and their differences from the blur.
    struct Case {
        uint8_t centre;
        int difference;
        float amount;
        int expected;
    };
    const Case cases[] = {
        {111, 10, 4.0f, 111},  // |d| <= 10: unchanged
        {87, -10, 4.0f, 87},   //
        {112, 11, 1.0f, 123},  // full amount
        {86, -11, 1.0f, 75},   //
        {159, 50, 1.0f, 209},  // still full amount
        {160, 51, 1.0f, 195},  // 0.7 * 51 = 35.7 -> 35
        {38, -51, 1.0f, 3},    // 38 - 35
        {112, 11, 4.0f, 156},  //
    };
    for (const Case &c : cases) {
        EXPECT_EQ(sharpenedSpike(ZVImageSharpenAdaptive, c.centre, 2, c.amount), c.expected)
            << int(c.centre) << " d" << c.difference;
    }
}

TEST(HighPassSharpening, DoublesSmallDifferences) {
    struct Case {
        uint8_t centre;
        int difference;
        float amount;
        int expected;
    };
    const Case cases[] = {
        {111, 10, 4.0f, 191},  // 2 * 10 * 4 = +80
        {105, 5, 4.0f, 105},   // |d| <= 5: unchanged
        {106, 6, 4.0f, 154},   // 2 * 6 * 4
        {134, 29, 1.0f, 192},  // 2 * 29
        {135, 30, 1.0f, 165},  // from 30 on: d
        {87, -10, 1.0f, 67},   //
    };
    for (const Case &c : cases) {
        EXPECT_EQ(sharpenedSpike(ZVImageSharpenHighPass, c.centre, 2, c.amount), c.expected)
            << int(c.centre) << " d" << c.difference;
    }
}

TEST(EdgePreservingSharpening, HardEdgeKeptSoftEdgeSharpened) {
    const uint32_t w = 8, h = 4;
    std::vector<uint8_t> hard(w * h), soft(w * h);
    for (uint32_t i = 0; i < w * h; ++i) {
        hard[i] = (i % w) < 4 ? 0 : 255;
        soft[i] = (i % w) < 4 ? 100 : 110;
    }
    ImagePtr hardImage = grayImage(hard, w, h);
    ASSERT_EQ(ZVImageSharpenEdgePreserving(hardImage.get(), 2, 4.0f), 0);
    EXPECT_EQ(grayOf(hardImage.get()), hard);

    ImagePtr softImage = grayImage(soft, w, h);
    ASSERT_EQ(ZVImageSharpenEdgePreserving(softImage.get(), 2, 4.0f), 0);
    EXPECT_LT(softImage->grayData[3], 100);
    EXPECT_GT(softImage->grayData[4], 110);
}

// The multi-scale result is 0.6 x fine + 0.4 x coarse, where the fine pass
// uses half the radius (at least 1) and 0.7 x amount and the coarse pass the
// full radius and 0.5 x amount.
TEST(MultiScaleSharpening, CombinesFineAndCoarseRadii) {
    const uint32_t w = 23, h = 17;
    const std::vector<uint8_t> gray = noiseBytes(w * h, 3);
    const std::pair<uint16_t, uint16_t> radii[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {5, 2}, {8, 4}};
    for (const auto &[radius, fineRadius] : radii) {
        const float amount = 3.0f;
        ImagePtr image = grayImage(gray, w, h);
        ASSERT_EQ(ZVImageSharpenMultiScale(image.get(), radius, amount), 0);

        ImagePtr fine = grayImage(gray, w, h);
        ImagePtr coarse = grayImage(gray, w, h);
        ASSERT_EQ(ZVImageSharpenUnsharpMasking(fine.get(), fineRadius, 0.7f * amount), 0);
        ASSERT_EQ(ZVImageSharpenUnsharpMasking(coarse.get(), radius, 0.5f * amount), 0);
        std::vector<uint8_t> expected(w * h);
        for (size_t i = 0; i < expected.size(); ++i) {
            const float v =
                static_cast<float>(fine->grayData[i]) * 0.6f + static_cast<float>(coarse->grayData[i]) * 0.4f;
            expected[i] = static_cast<uint8_t>(v);
        }
        EXPECT_EQ(grayOf(image.get()), expected) << "radius " << radius;
    }
}

TEST(Sharpening, MissingPlaneGivesStatus1) {
    const std::pair<const char *, SharpenOp> ops[] = {
        {"unsharp", ZVImageSharpenUnsharpMasking}, {"adaptive", ZVImageSharpenAdaptive},
        {"edge", ZVImageSharpenEdgePreserving},    {"highpass", ZVImageSharpenHighPass},
        {"multiscale", ZVImageSharpenMultiScale},
    };
    ImagePtr noGray(creatZVImage(4, 4));
    for (const auto &[name, op] : ops) {
        EXPECT_EQ(op(nullptr, 2, 4.0f), 1) << name;
        EXPECT_EQ(op(noGray.get(), 2, 4.0f), 1) << name;
    }
    EXPECT_EQ(ZVImageSharpenTattoo(nullptr), 1);
    EXPECT_EQ(ZVImageSharpenTattoo(noGray.get()), 1);
}

}  // namespace
