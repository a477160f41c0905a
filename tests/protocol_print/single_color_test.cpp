// Gray conversion, the jittered diffusion and thresholded packing that reduce
// a page to the thermal head's one colour.
#include "protocol_print/single_color.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<uint8_t> grayPixels(const std::vector<uint8_t> &levels, uint8_t byte0 = 255) {
    std::vector<uint8_t> rgba;
    for (uint8_t v : levels) rgba.insert(rgba.end(), {byte0, v, v, v});
    return rgba;
}

TEST(SingleColor, ThresholdPackingSetsDotsAtOrBelowTheThreshold) {
    // A row of 12 pixels 0, 222, 223, 255 repeated, threshold 222.
    std::vector<uint8_t> rgba;
    for (int i = 0; i < 12; ++i) {
        const uint8_t v = std::vector<uint8_t>{0, 222, 223, 255}[i % 4];
        rgba.insert(rgba.end(), {v, v, v, 255});
    }
    std::vector<uint8_t> packed(2, 0);
    EXPECT_EQ(2u, grayRGBA2SingleColor(rgba.data(), 12, 1, packed.data(), 222));
    EXPECT_EQ((std::vector<uint8_t>{0xCC, 0xC0}), packed);
    EXPECT_EQ(0u, grayRGBA2SingleColor(rgba.data(), 0, 1, packed.data(), 222));
    EXPECT_EQ(0u, grayRGBA2SingleColor(rgba.data(), 12, 0, packed.data(), 222));
}

TEST(SingleColor, GrayOfAGrayPixelIsItsLevelOrOneBelow) {
    int lower = 0;
    for (int v = 0; v < 256; ++v) {
        const uint8_t g = singleGrayOfLevel(static_cast<uint8_t>(v));
        ASSERT_TRUE(g == v || g == v - 1) << v;
        lower += g != v;
    }
    EXPECT_EQ(67, lower);
    for (int v : {1, 128, 223, 253}) EXPECT_EQ(v - 1, singleGrayOfLevel(static_cast<uint8_t>(v))) << v;
    for (int v : {0, 222, 255}) EXPECT_EQ(v, singleGrayOfLevel(static_cast<uint8_t>(v))) << v;

    // gray() keeps alpha; the one-byte form gives the same value.
    const std::vector<uint8_t> rgba = {255, 255, 255, 0, 10, 200, 30, 77};
    std::vector<uint8_t> out(8, 1), single(2, 1);
    gray(rgba.data(), 2, 1, out.data());
    rgba2SingleGray(rgba.data(), 2, 1, single.data());
    const uint8_t mixed = static_cast<uint8_t>((10 * 0.3 + 200 * 0.59) + 30 * 0.11);
    EXPECT_EQ((std::vector<uint8_t>{255, 255, 255, 0, mixed, mixed, mixed, 77}), out);
    EXPECT_EQ((std::vector<uint8_t>{255, mixed}), single);
}

TEST(SingleColor, GetPixelAddsTheWeightedErrorAndStopsAtTheEdges) {
    std::vector<uint8_t> rgba = {9, 100, 100, 250};  // one pixel: bytes 0..3
    const int32_t error[3] = {40, -40, 8};           // for bytes 3, 2, 1
    // 250 + trunc(0.4375 * 40) = 267 -> 255; 100 - 17 = 83; 100 + 3 = 103.
    EXPECT_EQ(0xFF536709u, getPixel(rgba.data(), 1, 1, 0, 0, error, 0.4375f));
    EXPECT_EQ(0xFFFFFFFFu, getPixel(rgba.data(), 1, 1, 0, 1, error, 0.4375f));
    EXPECT_EQ(0xFFFFFFFFu, getPixel(rgba.data(), 1, 1, 1, 0, error, 0.4375f));
    setPixel(rgba.data(), 1, 1, 1, 0, 0);
    setPixel(rgba.data(), 1, 1, 0, 1, 0);
    EXPECT_EQ((std::vector<uint8_t>{9, 100, 100, 250}), rgba);
    setPixel(rgba.data(), 1, 1, 0, 0, 0x01020304u);
    EXPECT_EQ((std::vector<uint8_t>{4, 3, 2, 1}), rgba);
}

TEST(SingleColor, EveryDecisionTakesOneDraw) {
    setSingleColorRandState(1);
    getNearstColor(128, 128, 128);
    const uint32_t afterOne = getSingleColorRandState();
    setSingleColorRandState(1);
    singleColorRand();
    EXPECT_EQ(afterOne, getSingleColorRandState());
}

TEST(SingleColor, BlackAndWhitePassThroughTheDiffusionUnchanged) {
    const std::vector<uint8_t> levels = {0, 255, 255, 0, 0, 0, 255, 255, 0, 255, 0, 255};
    std::vector<uint8_t> rgba = grayPixels(levels);
    dither(rgba.data(), 4, 3, rgba.data());
    EXPECT_EQ(grayPixels(levels), rgba);
}

TEST(SingleColor, FlatGray64DithersToAboutOneWhitePixelInFour) {
    const uint32_t w = 64, h = 64;
    std::vector<uint8_t> rgba = grayPixels(std::vector<uint8_t>(w * h, 64));
    setSingleColorRandState(1);
    dither(rgba.data(), w, h, rgba.data());
    int white = 0;
    for (size_t i = 0; i < w * h; ++i) {
        ASSERT_TRUE(rgba[4 * i + 1] == 0 || rgba[4 * i + 1] == 255);
        ASSERT_EQ(255, rgba[4 * i]);
        white += rgba[4 * i + 1] == 255;
    }
    EXPECT_NEAR(white / double(w * h), 0.25, 0.04);
}

// The one-byte diffusion is the four-byte one on (255, v, v, v) pixels, draw
// for draw: a ramp with noise and odd sizes, from the same generator state.
TEST(SingleColor, GrayDiffusionEqualsTheRgbaDiffusion) {
    const uint32_t w = 37, h = 23;
    std::vector<uint8_t> levels(w * h);
    for (uint32_t i = 0; i < w * h; ++i) levels[i] = static_cast<uint8_t>((i * 7 + (i * i) % 31) & 255);
    std::vector<uint8_t> rgba = grayPixels(levels);
    setSingleColorRandState(12345);
    dither(rgba.data(), w, h, rgba.data());
    setSingleColorRandState(12345);
    ditherGray(levels.data(), w, h);
    for (uint32_t i = 0; i < w * h; ++i) {
        ASSERT_EQ(rgba[4 * i + 1], levels[i]) << "pixel " << i;
        ASSERT_EQ(rgba[4 * i + 3], levels[i]) << "pixel " << i;
    }
}

}  // namespace
