#include "imaging/clahe.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "tests/imaging/gray_band.h"

namespace {

TEST(ClaheRegionSize, ChoosesDivisorClosestTo16) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {384, 16},                                                    // nrX = 24
        {500, 20},                                                    // nrY = 25
        {360, 15},                                                    // odd region width
        {1000, 20}, {240, 16}, {45, 15},  {12, 12}, {9, 9}, {37, 0},  // no divisor from 8 to 32
        {8, 0},                                                       // distance 8 is not below the side itself
        {7, 0},     {0, 0},    {1021, 0},
    };
    for (const auto &[length, size] : cases) EXPECT_EQ(claheRegionSize(length), size) << length;
}

TEST(ClaheClipFactor, FromMeanAndDeviation) {
    const std::vector<uint8_t> white(1000, 255), black(1000, 0), mid(1000, 64);
    EXPECT_FLOAT_EQ(claheClipFactor(white.data(), white.size()), 4.5f);
    EXPECT_FLOAT_EQ(claheClipFactor(black.data(), black.size()), 1.5f);
    // (2 * 64 / 255 + 1) * 1.5
    EXPECT_FLOAT_EQ(claheClipFactor(mid.data(), mid.size()), (64.0f / 255.0f + 64.0f / 255.0f + 1.0f) * 1.5f);
    // m = 50, s = 50: (100/255 + 1) * (100/256 + 1.5) = 2.632046
    std::vector<uint8_t> split(1000, 0);
    std::fill(split.begin(), split.begin() + 500, 100);
    EXPECT_NEAR(claheClipFactor(split.data(), split.size()), 2.632046f, 1e-5f);
    // Large spread is capped at 4.5.
    std::vector<uint8_t> extremes(1000, 255);
    std::fill(extremes.begin(), extremes.begin() + 500, 0);
    EXPECT_FLOAT_EQ(claheClipFactor(extremes.data(), extremes.size()), 4.5f);
}

TEST(ClaheCore, RefusesUnsuitableGeometry) {
    struct Case {
        unsigned xRes, yRes;
        uint8_t min, max;
        unsigned nrX, nrY;
        int code;
    };
    const Case cases[] = {
        {16, 16, 0, 255, 17, 2, -1}, {16, 16, 0, 255, 2, 17, -2}, {16, 16, 0, 255, 3, 2, -3},
        {16, 16, 0, 255, 0, 2, -3},  {16, 16, 0, 255, 2, 3, -4},  {16, 16, 0, 255, 2, 0, -4},
        {16, 16, 9, 9, 2, 2, -6},    {16, 16, 10, 9, 2, 2, -6},   {16, 16, 0, 255, 1, 2, -7},
        {16, 16, 0, 255, 2, 1, -7},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> pixels = noiseBytes(256, 7);
        const std::vector<uint8_t> before = pixels;
        EXPECT_EQ(_CLAHE(pixels.data(), c.xRes, c.yRes, c.min, c.max, c.nrX, c.nrY, 256, 2.0f), c.code)
            << c.nrX << "x" << c.nrY;
        EXPECT_EQ(pixels, before);
    }
}

// A flat 100 image has one histogram bin per region, so the clipping and the
// redistribution can be followed by hand:
// - factor 2 on 2x2 regions of 4 pixels: limit 1, excess 3, placed with step
//   256/3 = 85 in bins 0, 85 and 170; map(100) = 3 * 255/4 = 191.
// - factor 4 on 32x32 regions: limit 16, excess 1008, increment 3 to the 255
//   other bins, the last 243 one by one to bins 0..243 except 100;
//   map(100) = 100 * 4 + 16 = 416 -> 416 * 255/1024 = 103.
// - factor 0: no clipping, map(100) = 255.  Factor 1.0: image unchanged.
TEST(ClaheCore, ClipsAndRedistributesExcess) {
    struct Case {
        uint32_t side;
        float clip;
        uint8_t expected;
    };
    const Case cases[] = {{4, 2.0f, 191}, {64, 4.0f, 103}, {4, 0.0f, 255}, {64, 1.0f, 100}};
    for (const Case &c : cases) {
        std::vector<uint8_t> pixels(c.side * c.side, 100);
        ASSERT_EQ(_CLAHE(pixels.data(), c.side, c.side, 0, 255, 2, 2, 256, c.clip), 0);
        EXPECT_EQ(pixels, std::vector<uint8_t>(c.side * c.side, c.expected)) << c.side << " " << c.clip;
    }
}

TEST(ClaheCore, BinsOfZeroMeans128) {
    // With 128 bins values pair up; a flat image still maps through one bin.
    std::vector<uint8_t> pixels(16, 100);
    std::vector<uint8_t> same(16, 100);
    ASSERT_EQ(_CLAHE(pixels.data(), 4, 4, 0, 255, 2, 2, 0, 2.0f), 0);
    ASSERT_EQ(_CLAHE(same.data(), 4, 4, 0, 255, 2, 2, 128, 2.0f), 0);
    EXPECT_EQ(pixels, same);
    // limit 1, excess 3 placed at bins 0, 42, 84 (step 128/3); bin 50 holds
    // value 100: map = 3 * 255/4 = 191.
    EXPECT_EQ(pixels[0], 191);
}

TEST(ClaheCore, ValuesOutsideTheRangeUseTheEndBins) {
    // With the range 50..200 a value below 50 counts as 50 and one above 200
    // as 200 (never an unset bin).
    const std::pair<uint8_t, uint8_t> cases[] = {{0, 50}, {49, 50}, {255, 200}, {201, 200}};
    for (const auto &[outside, end] : cases) {
        std::vector<uint8_t> a(64, outside), b(64, end);
        ASSERT_EQ(_CLAHE(a.data(), 8, 8, 50, 200, 2, 2, 256, 2.0f), 0);
        ASSERT_EQ(_CLAHE(b.data(), 8, 8, 50, 200, 2, 2, 256, 2.0f), 0);
        EXPECT_EQ(a, b) << int(outside);
    }
}

TEST(GrayClahe, EqualsCoreWithDerivedParameters) {
    const uint32_t w = 384, h = 500;
    const std::vector<uint8_t> gray = noiseBytes(w * h, 99);
    ImagePtr image = grayImage(gray, w, h);
    ASSERT_EQ(ZVImageGrayHistogramCLAHE(image.get()), 0);

    std::vector<uint8_t> expected = gray;
    ASSERT_EQ(_CLAHE(expected.data(), w, h, 0, 255, 24, 25, 256, claheClipFactor(gray.data(), gray.size())), 0);
    EXPECT_EQ(grayOf(image.get()), expected);
    EXPECT_NE(expected, gray);
}

TEST(GrayClahe, RefusedBandsGiveStatus2AndStayUnchanged) {
    // 12 rows: region height 12, nrY = 1 (-7). 37 rows: no divisor, nrY would
    // be 2 which does not divide 37. 8 rows: region count 0.
    for (uint32_t h : {12u, 37u, 8u, 5u}) {
        const std::vector<uint8_t> gray = noiseBytes(384 * h, h);
        ImagePtr image = grayImage(gray, 384, h);
        EXPECT_EQ(ZVImageGrayHistogramCLAHE(image.get()), 2) << h;
        EXPECT_EQ(grayOf(image.get()), gray) << h;
    }
    EXPECT_EQ(_CLAHE(noiseBytes(384 * 12, 1).data(), 384, 12, 0, 255, 24, 1, 256, 2.0f), -7);
    EXPECT_EQ(_CLAHE(noiseBytes(384 * 37, 1).data(), 384, 37, 0, 255, 24, 2, 256, 2.0f), -4);
}

TEST(GrayClahe, WhiteBandStaysWhite) {
    ImagePtr image = flatGray(255, 384, 64);
    ASSERT_EQ(ZVImageGrayHistogramCLAHE(image.get()), 0);
    EXPECT_EQ(grayOf(image.get()), std::vector<uint8_t>(384 * 64, 255));
}

// A 360x45 band has 15x15 regions (24 x 3). Flat 100: clip factor
// (200/255 + 1) * 1.5, limit 2, map(100) = 102 * 255/225 = 115 everywhere.
// The odd region size makes the walk skip pixels, which keep 100: the row
// sub-blocks span 359 pixels, so every following row of sub-blocks starts one
// pixel earlier, and the 7 + 15 + 15 + 7 block rows leave row 44 out.
TEST(GrayClahe, OddRegionSizeWalk) {
    const uint32_t w = 360, h = 45;
    ImagePtr image = flatGray(100, w, h);
    ASSERT_EQ(ZVImageGrayHistogramCLAHE(image.get()), 0);

    std::set<std::pair<uint32_t, uint32_t>> skipped;  // (x, y)
    for (uint32_t y = 0; y <= 5; ++y) skipped.insert({359, y});
    for (uint32_t y = 7; y <= 20; ++y) skipped.insert({358, y});
    for (uint32_t y = 22; y <= 35; ++y) skipped.insert({357, y});
    for (uint32_t y = 37; y <= 43; ++y) skipped.insert({356, y});
    for (uint32_t x = 357; x < w; ++x) skipped.insert({x, 43});
    for (uint32_t x = 0; x < w; ++x) skipped.insert({x, 44});

    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t expected = skipped.count({x, y}) ? 100 : 115;
            ASSERT_EQ(image->grayData[y * w + x], expected) << x << "," << y;
        }
    }
}

TEST(GrayClahe, MissingPlane) {
    EXPECT_EQ(ZVImageGrayHistogramCLAHE(nullptr), 1);
    ImagePtr image(creatZVImage(384, 64));
    EXPECT_EQ(ZVImageGrayHistogramCLAHE(image.get()), 1);
}

}  // namespace
