// The small-size step chain: each step on hand-checked pictures, the chain's
// planes, and pictures too large for its 32-bit allocator.
#include "imaging/step_pipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/imaging/gray_band.h"

namespace {

// A picture with rgbaData and grayData of the same size (the steps expect the
// planes they write to exist).
ImagePtr rgbaWithGray(const std::vector<uint8_t> &rgba, uint32_t width, uint32_t height) {
    ImagePtr image(creatZVImageWithRGBAData(rgba.data(), width, height));
    image->grayData = static_cast<uint8_t *>(std::calloc(size_t{width} * height, 1));
    return image;
}

ImagePtr withPacked(ImagePtr image) {
    image->pixByteData = static_cast<uint8_t *>(std::malloc(zvImagePackedSize(image->width, image->height)));
    std::memset(image->pixByteData, 0xA5, zvImagePackedSize(image->width, image->height));
    return image;
}

std::vector<uint8_t> packedOf(const ZVImage *image) {
    return std::vector<uint8_t>(image->pixByteData,
                                image->pixByteData + zvImagePackedSize(image->width, image->height));
}

bool dotAt(const ZVImage *image, uint32_t x, uint32_t y) {
    const size_t i = size_t{y} * image->width + x;
    return (image->pixByteData[i / 8] >> (7 - i % 8)) & 1;
}

TEST(StepPipeline, GrayOverWhitePaper) {
    struct Case {
        uint8_t r, g, b, a, gray;
    };
    const Case cases[] = {
        {10, 20, 30, 0, 255},                                                    // fully transparent: paper
        {0, 0, 0, 255, 0},     {255, 255, 255, 255, 255}, {255, 0, 0, 255, 76},  // 76.245 rounded
        {0, 255, 0, 255, 150},                                                   // 149.685 rounded
    };
    for (const Case &c : cases) {
        ImagePtr image = rgbaWithGray({c.r, c.g, c.b, c.a}, 1, 1);
        step_rgba_to_gray(image.get());
        EXPECT_EQ(image->grayData[0], c.gray) << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a);
    }
}

TEST(StepPipeline, GammaAndContrastBoundaries) {
    struct Case {
        const char *what;
        std::vector<uint8_t> in;
        void (*step)(ZVImage *);
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        {"mean 120: no gamma", {120, 120, 120, 120}, step_adaptive_gamma, {120, 120, 120, 120}},
        {"mean 180: no gamma", {170, 190, 170, 190}, step_adaptive_gamma, {170, 190, 170, 190}},
        {"mean 190: darker, 1.15", {190, 190, 190, 190}, step_adaptive_gamma, {182, 182, 182, 182}},
        {"mean 100, nothing dark: 0.8", {100, 100, 100, 100}, step_adaptive_gamma, {121, 121, 121, 121}},
        {"mean 100, half dark: 0.7", {0, 200, 0, 200}, step_adaptive_gamma, {0, 215, 0, 215}},
        {"mean 150: no contrast", {150, 150, 150, 150}, step_adaptive_contrast, {150, 150, 150, 150}},
        {"mean 160, flat: 1.08 then around the new mean",
         {160, 160, 160, 160},
         step_adaptive_contrast,
         {154, 154, 154, 154}},
        {"mean 177.5, deviation 77.5: no contrast", {100, 255, 100, 255}, step_adaptive_contrast, {100, 255, 100, 255}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ImagePtr image = grayImage(c.in, 2, 2);
        c.step(image.get());
        EXPECT_EQ(grayOf(image.get()), c.out);
    }
}

// Mean and deviation come from exact sums: a page of millions of pixels is
// treated like a small label of the same content (single-precision running
// sums drift by several levels there).
TEST(StepPipeline, ContrastOfAFullPageAsOfASmallLabel) {
    ImagePtr page = flatGray(160, 1664, 2400);
    step_adaptive_contrast(page.get());
    EXPECT_EQ(grayOf(page.get()), std::vector<uint8_t>(size_t{1664} * 2400, 154));
}

TEST(StepPipeline, TileEqualisation) {
    // 32x32 of one value: limit 10, the excess of 1014 spread as 3 to every
    // bin and 1 more to bins 0..245, so 100 maps to (414 - 4) * 255/1020.
    ImagePtr full = flatGray(100, 32, 32);
    step_clahe(full.get());
    EXPECT_EQ(grayOf(full.get()), std::vector<uint8_t>(32 * 32, 103));

    // 20x20 is one tile of 400 pixels: limit 4, 100 maps to 204 * 255/398.
    ImagePtr small = flatGray(100, 20, 20);
    step_clahe(small.get());
    EXPECT_EQ(grayOf(small.get()), std::vector<uint8_t>(20 * 20, 131));

    // 33x33 is four tiles, the right and lower ones 1 pixel wide or high. A
    // 1x32 tile stretches its one level to 255; the 1x1 tile is the identity.
    ImagePtr four = flatGray(100, 33, 33);
    step_clahe(four.get());
    const std::vector<uint8_t> gray = grayOf(four.get());
    EXPECT_EQ(gray[0], 103);
    EXPECT_EQ(gray[32], 255);            // (32, 0): the right tile
    EXPECT_EQ(gray[32 * 33], 255);       // (0, 32): the lower tile
    EXPECT_EQ(gray[32 * 33 + 32], 100);  // (32, 32): the corner tile
}

TEST(StepPipeline, DetailEnhancement) {
    // 5x5 of 100 with 190 in the middle: a3 110, a5 103.6 there.
    std::vector<uint8_t> dot(25, 100);
    dot[12] = 190;
    ImagePtr image = grayImage(dot, 5, 5);
    step_detail_enhance(image.get());
    const std::vector<uint8_t> out = grayOf(image.get());
    EXPECT_EQ(out[12], 195);         // 190 + 6.4 * 0.8
    EXPECT_EQ(out[2 * 5 + 1], 105);  // beside it: same means
    EXPECT_EQ(out[0], 97);           // corner: a3 100, a5 103.6 (edges clamped)

    // The difference is limited to 40: a 100 inside a ring of 255 on black.
    std::vector<uint8_t> ring(49, 0);
    for (int y = 2; y <= 4; ++y) {
        for (int x = 2; x <= 4; ++x) ring[y * 7 + x] = 255;
    }
    ring[3 * 7 + 3] = 100;
    ImagePtr limited = grayImage(ring, 7, 7);
    step_detail_enhance(limited.get());
    EXPECT_EQ(limited->grayData[3 * 7 + 3], 132);

    ImagePtr flat = flatGray(77, 9, 4);
    step_detail_enhance(flat.get());
    EXPECT_EQ(grayOf(flat.get()), std::vector<uint8_t>(36, 77));
}

TEST(StepPipeline, NoiseTextureAndKernel) {
    EXPECT_FLOAT_EQ(getBlueNoise64(0, 0), 0.0f);
    EXPECT_NEAR(getBlueNoise64(0, 1), 0.42685f, 1e-4f);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) ASSERT_LE(std::fabs(getBlueNoise64(y, x)), 1.0f);
    }
    float weights = 0;
    for (float w : g_jjnW) weights += w;
    EXPECT_FLOAT_EQ(weights, 1.0f);
}

TEST(StepPipeline, DitherOfBlackAndWhite) {
    for (uint8_t level : {0, 255}) {
        ImagePtr image = withPacked(flatGray(level, 21, 13));
        step_jjn_dither(image.get());
        const std::vector<uint8_t> packed = packedOf(image.get());
        // 273 pixels: 34 whole bytes and one bit of the last.
        const std::vector<uint8_t> expected = level == 0 ? std::vector<uint8_t>(34, 0xFF) : std::vector<uint8_t>(34, 0);
        EXPECT_EQ(std::vector<uint8_t>(packed.begin(), packed.begin() + 34), expected);
        EXPECT_EQ(packed[34], level == 0 ? 0x80 : 0x00);
        EXPECT_EQ(grayOf(image.get()), std::vector<uint8_t>(21 * 13, level));  // gray stays
    }
}

// Wherever it falls on the texture, a pixel that meets no carried error is a
// dot at 90 even among black neighbours (which lower the threshold), and white
// at 167 among white ones (which raise it): the threshold stays in 90..166.
TEST(StepPipeline, ThresholdStaysInItsBand) {
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            ImagePtr dark = flatGray(0, 64, y + 2);
            dark->grayData[y * 64 + x] = 90;
            ImagePtr light = flatGray(255, 64, y + 2);
            light->grayData[y * 64 + x] = 167;
            dark = withPacked(std::move(dark));
            light = withPacked(std::move(light));
            step_jjn_dither(dark.get());
            step_jjn_dither(light.get());
            ASSERT_TRUE(dotAt(dark.get(), x, y)) << x << "," << y;
            ASSERT_FALSE(dotAt(light.get(), x, y)) << x << "," << y;
        }
    }
}

// The dither as plainly described: a whole error plane, every share checked
// against the picture's edges, the local mean summed pixel by pixel.
std::vector<uint8_t> plainJjn(const std::vector<uint8_t> &gray, uint32_t w, uint32_t h) {
    std::vector<float> error(size_t{w} * h, 0.0f);
    std::vector<uint8_t> packed((size_t{w} * h + 7) / 8, 0);
    for (uint32_t y = 0; y < h; ++y) {
        const int dir = y % 2 == 0 ? 1 : -1;
        for (uint32_t i = 0; i < w; ++i) {
            const int x = dir > 0 ? static_cast<int>(i) : static_cast<int>(w - 1 - i);
            const size_t at = size_t{y} * w + static_cast<size_t>(x);
            const float v = static_cast<float>(gray[at]) + error[at];
            const float k = 0.08f * getBlueNoise64(y % 64, static_cast<uint32_t>(x) % 64) * 255.0f;
            unsigned sum = 0, n = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = static_cast<int>(y) + dy;
                    if (nx < 0 || ny < 0 || nx >= static_cast<int>(w) || ny >= static_cast<int>(h)) continue;
                    sum += gray[size_t(ny) * w + size_t(nx)];
                    ++n;
                }
            }
            const float a = static_cast<float>(sum) / static_cast<float>(n);
            const float t = CLIPF((128.0f + k) + (a - 128.0f) * 0.15f, 90.0f, 166.0f);
            const bool white = v > t;
            if (!white) packed[at / 8] |= static_cast<uint8_t>(0x80 >> (at % 8));
            const float e = v - (white ? 255.0f : 0.0f);
            for (int j = 0; j < 12; ++j) {
                const int nx = x + g_jjnDx[j] * dir, ny = static_cast<int>(y) + g_jjnDy[j];
                if (nx < 0 || nx >= static_cast<int>(w) || ny >= static_cast<int>(h)) continue;
                error[size_t(ny) * w + size_t(nx)] += e * g_jjnW[j];
            }
        }
    }
    return packed;
}

TEST(StepPipeline, DitherAsPlainlyDescribed) {
    for (uint32_t w : {1u, 2u, 13u, 70u}) {
        SCOPED_TRACE(w);
        const uint32_t h = 67;  // past one texture period and the three-row error ring
        const std::vector<uint8_t> gray = noiseBytes(size_t{w} * h, w);
        ImagePtr image = withPacked(grayImage(gray, w, h));
        step_jjn_dither(image.get());
        EXPECT_EQ(packedOf(image.get()), plainJjn(gray, w, h));
    }
}

std::vector<uint8_t> photoRgba(uint32_t width, uint32_t height) {
    const std::vector<uint8_t> noise = noiseBytes(size_t{width} * height, 17);
    std::vector<uint8_t> rgba(size_t{4} * width * height);
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        const int v = static_cast<int>((i % width) * 200 / width) + noise[i] / 8;
        rgba[4 * i] = static_cast<uint8_t>(v);
        rgba[4 * i + 1] = static_cast<uint8_t>(v / 2 + 60);
        rgba[4 * i + 2] = static_cast<uint8_t>(255 - v);
        rgba[4 * i + 3] = static_cast<uint8_t>(i % 7 == 0 ? 0 : 255);
    }
    return rgba;
}

// The preset allocates the planes, runs the six steps in order and keeps the
// width; the packed result runs on over the rows.
TEST(StepPipelinePreset, SixStepsOnTheRecordsPlanes) {
    constexpr uint32_t kW = 250, kH = 40;
    const std::vector<uint8_t> rgba = photoRgba(kW, kH);
    ImagePtr image(creatZVImageWithRGBAData(rgba.data(), kW, kH));
    ASSERT_EQ(getZVImageProcessingForP20(image.get()), 0u);
    EXPECT_EQ(image->width, kW);
    ASSERT_NE(image->grayData, nullptr);
    ASSERT_NE(image->pixByteData, nullptr);
    EXPECT_EQ(image->pixData, nullptr);

    ImagePtr steps = withPacked(rgbaWithGray(rgba, kW, kH));
    for (void (*step)(ZVImage *) : {step_rgba_to_gray, step_clahe, step_detail_enhance, step_adaptive_gamma,
                                    step_adaptive_contrast, step_jjn_dither}) {
        step(steps.get());
    }
    EXPECT_EQ(packedOf(image.get()), packedOf(steps.get()));
    EXPECT_EQ(grayOf(image.get()), grayOf(steps.get()));
    // The gray plane is the enhanced picture, not the dither.
    const std::vector<uint8_t> gray = grayOf(image.get());
    size_t mid = 0;
    for (uint8_t v : gray) mid += v > 0 && v < 255;
    EXPECT_GT(mid, gray.size() / 2);

    ImagePtr same(creatZVImageWithRGBAData(rgba.data(), kW, kH));
    ASSERT_EQ(getZVImageProcessingForSmallSize(same.get()), 0u);
    EXPECT_EQ(packedOf(same.get()), packedOf(image.get()));
}

TEST(StepPipelinePreset, RefusesWhatItCannotProcess) {
    ImagePtr grayOnly = flatGray(40, 8, 8);
    EXPECT_EQ(getZVImageProcessingForP20(grayOnly.get()), 1u);
    EXPECT_EQ(grayOf(grayOnly.get()), std::vector<uint8_t>(64, 40));
    EXPECT_EQ(grayOnly->pixByteData, nullptr);
    EXPECT_EQ(getZVImageProcessingForP20(nullptr), 1u);

    // 65536 x 65536: its RGBA plane is 2^34 bytes, beyond the 32-bit
    // allocator; the preset refuses before it allocates or reads a plane.
    uint8_t rgba[4] = {1, 2, 3, 4};
    ZVImage huge{};
    huge.width = 65536;
    huge.height = 65536;
    huge.rgbaData = rgba;
    EXPECT_EQ(getZVImageProcessingForP20(&huge), 2u);
    EXPECT_EQ(huge.grayData, nullptr);
    EXPECT_EQ(huge.pixByteData, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(rgba, rgba + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

}  // namespace
