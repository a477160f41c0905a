// Photo effects: the worked values, the planes each effect refreshes, hand-
// checked blurs and thresholds, and the failure paths.
#include "imaging/effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/effect_helpers.h"
#include "tests/imaging/gray_band.h"

namespace {

ImagePtr rgbaImage(const std::vector<uint8_t> &rgba, uint32_t width, uint32_t height) {
    return ImagePtr(creatZVImageWithRGBAData(rgba.data(), width, height));
}

std::vector<uint8_t> rgbaOf(const ZVImage *image) {
    return std::vector<uint8_t>(image->rgbaData, image->rgbaData + size_t{4} * image->width * image->height);
}

// An opaque picture of noise with some structure, w x h.
std::vector<uint8_t> photo(uint32_t width, uint32_t height, uint32_t seed) {
    std::vector<uint8_t> noise = noiseBytes(size_t{3} * width * height, seed);
    std::vector<uint8_t> rgba(size_t{4} * width * height);
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        const int ramp = static_cast<int>((i % width) * 255 / width);
        for (int c = 0; c < 3; ++c) rgba[4 * i + c] = static_cast<uint8_t>((ramp + noise[3 * i + c] / 2) / 1.5);
        rgba[4 * i + 3] = 255;
    }
    return rgba;
}

using Effect = int (*)(ZVImage *);

int text31(ZVImage *image) { return textWithZVImage(image, 31); }
int adjustSome(ZVImage *image) { return adjustWithZVImage(image, 0.3f, -0.1f); }

struct EffectCase {
    const char *name;
    Effect run;
    bool gray;    // result copied into grayData
    bool packed;  // and packed into pixByteData
};

const EffectCase kEffects[] = {
    {"text", text31, true, true},
    {"lineDraft", lineDraftWithZVImage, true, true},
    {"lineDraft2", lineDraft2WithZVImage, true, true},
    {"lineDraft3", lineDraft3WithZVImage, true, true},
    {"lineDraft4", lineDraft4WithZVImage, true, true},
    {"sketch", sketchWithZVImage, true, true},
    {"sketch2", sketch2WithZVImage, true, true},
    {"blackWhite", blackWhiteWithZVImage, true, true},
    {"negative", negativeFilmWithZVImage, true, false},
    {"equalize", equalizeHistWithZVImage, true, false},
    {"sepia", nostalgiaWithZVImage, false, false},
    {"adjust", adjustSome, false, false},
};

TEST(Effects, WorkedValues) {
    ImagePtr white = rgbaImage({255, 255, 255, 255}, 1, 1);
    ASSERT_EQ(nostalgiaWithZVImage(white.get()), 0);
    EXPECT_EQ(rgbaOf(white.get()), (std::vector<uint8_t>{255, 255, 238, 255}));

    ImagePtr red = rgbaImage({255, 0, 0, 255}, 1, 1);
    ASSERT_EQ(blackWhiteWithZVImage(red.get()), 0);
    EXPECT_EQ(rgbaOf(red.get()), (std::vector<uint8_t>{76, 76, 76, 255}));

    ImagePtr negative = rgbaImage({255, 0, 0, 7}, 1, 1);
    ASSERT_EQ(negativeFilmWithZVImage(negative.get()), 0);
    EXPECT_EQ(rgbaOf(negative.get()), (std::vector<uint8_t>{179, 179, 179, 255}));

    // Contrast 1 doubles the distance from 128; brightness 0.1 adds 25.5.
    ImagePtr adjusted = rgbaImage({100, 128, 200, 9}, 1, 1);
    ASSERT_EQ(adjustWithZVImage(adjusted.get(), 1.0f, 0.1f), 0);
    EXPECT_EQ(rgbaOf(adjusted.get()), (std::vector<uint8_t>{98, 154, 255, 9}));
}

// Effects whose parameters are brought into range give the same picture as
// the in-range value.
TEST(Effects, ParametersBroughtIntoRange) {
    const std::vector<uint8_t> rgba = photo(40, 36, 7);
    auto run = [&](auto effect) {
        ImagePtr image = rgbaImage(rgba, 40, 36);
        EXPECT_EQ(effect(image.get()), 0);
        return rgbaOf(image.get());
    };
    auto text = [&](int window) { return run([window](ZVImage *i) { return textWithZVImage(i, window); }); };
    auto line = [&](float x) { return run([x](ZVImage *i) { return lineDraftWithZVImageCustom(i, x); }); };
    EXPECT_EQ(text(4), text(5));
    EXPECT_EQ(text(2), text(31));
    EXPECT_NE(text(5), text(31));
    EXPECT_EQ(line(5.0f), line(3.0f));
    EXPECT_EQ(line(5.0f), run(lineDraft4WithZVImage));
    EXPECT_EQ(line(0.0f), line(0.1f));
    EXPECT_NE(line(0.5f), line(3.0f));
}

// Width 13 is not a multiple of 8: the packed plane is (w*h+7)/8 bytes and the
// result must fill it in the record's continuous layout, never past its end.
TEST(Effects, PlanesEachEffectRefreshes) {
    constexpr uint32_t kW = 13, kH = 11;
    const std::vector<uint8_t> rgba = photo(kW, kH, 3);
    const size_t pixels = size_t{kW} * kH;
    const size_t packedSize = (pixels + 7) / 8;
    for (const EffectCase &c : kEffects) {
        SCOPED_TRACE(c.name);
        ImagePtr image = rgbaImage(rgba, kW, kH);
        const std::vector<uint8_t> oldGray(pixels, 77), oldPacked(packedSize, 0x5a);
        image->grayData = static_cast<uint8_t *>(std::malloc(pixels));
        image->pixByteData = static_cast<uint8_t *>(std::malloc(packedSize));
        std::memcpy(image->grayData, oldGray.data(), pixels);
        std::memcpy(image->pixByteData, oldPacked.data(), packedSize);
        ASSERT_EQ(c.run(image.get()), 0);

        const std::vector<uint8_t> out = rgbaOf(image.get());
        std::vector<uint8_t> result(pixels);
        std::vector<uint8_t> expectedPacked(packedSize, 0);
        for (size_t i = 0; i < pixels; ++i) {
            result[i] = out[4 * i];
            if (result[i] < 128) expectedPacked[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
        }
        EXPECT_NE(out, rgba);
        if (c.gray) {
            for (size_t i = 0; i < pixels; ++i) {
                ASSERT_EQ(out[4 * i + 1], result[i]);
                ASSERT_EQ(out[4 * i + 2], result[i]);
                ASSERT_EQ(out[4 * i + 3], 255);
            }
        }
        EXPECT_EQ(grayOf(image.get()), c.gray ? result : oldGray);
        std::vector<uint8_t> packed(image->pixByteData, image->pixByteData + packedSize);
        EXPECT_EQ(packed, c.packed ? expectedPacked : oldPacked);
    }
}

TEST(Effects, BinarisingEffectsLeaveOnlyBlackAndWhite) {
    const std::vector<uint8_t> rgba = photo(48, 40, 11);
    for (Effect effect : {text31, sketchWithZVImage}) {
        ImagePtr image = rgbaImage(rgba, 48, 40);
        ASSERT_EQ(effect(image.get()), 0);
        bool black = false, white = false;
        for (size_t i = 0; i < size_t{48} * 40; ++i) {
            const uint8_t v = image->rgbaData[4 * i];
            ASSERT_TRUE(v == 0 || v == 255) << i;
            black = black || v == 0;
            white = white || v == 255;
        }
        EXPECT_TRUE(black && white);
    }
}

// Flat black and flat white pictures reach the divisions of the dodge blends
// and the equalisation at their limits.
TEST(Effects, FlatPicturesAtTheLimits) {
    for (uint8_t level : {0, 255}) {
        for (const EffectCase &c : kEffects) {
            SCOPED_TRACE(std::string(c.name) + " level " + std::to_string(level));
            ImagePtr image = rgbaImage(std::vector<uint8_t>(4 * 9 * 5, level), 9, 5);
            EXPECT_EQ(c.run(image.get()), 0);
        }
    }
    // A one-level picture has nothing to equalise: it maps to 0.
    std::vector<uint8_t> flat(6, 140);
    equalize_hist_u8(flat.data(), flat.size());
    EXPECT_EQ(flat, std::vector<uint8_t>(6, 0));
    std::vector<uint8_t> two = {10, 10, 200, 200};
    equalize_hist_u8(two.data(), two.size());
    EXPECT_EQ(two, (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST(Effects, DispatchReleasesGrayAndPackedAndRunsTheFilter) {
    const std::vector<uint8_t> rgba = photo(16, 8, 5);
    ImagePtr direct = rgbaImage(rgba, 16, 8);
    ASSERT_EQ(sketch2WithZVImage(direct.get()), 0);

    ImagePtr image = rgbaImage(rgba, 16, 8);
    ASSERT_EQ(ZVImageConvertRGBA2Gray(image.get()), 0);
    ASSERT_EQ(ZVImageConvertGray2PixByte(image.get(), 128), 0);
    EXPECT_EQ(getFilterRGBAImageDataForRGBAData(image.get(), kZVFilterSketch2), 1);
    EXPECT_EQ(image->grayData, nullptr);
    EXPECT_EQ(image->pixByteData, nullptr);
    EXPECT_EQ(rgbaOf(image.get()), rgbaOf(direct.get()));

    for (int unknown : {10, -1}) {
        ImagePtr other = rgbaImage(rgba, 16, 8);
        ASSERT_EQ(ZVImageConvertRGBA2Gray(other.get()), 0);
        EXPECT_EQ(getFilterRGBAImageDataForRGBAData(other.get(), unknown), 1);
        EXPECT_EQ(other->grayData, nullptr);
        EXPECT_EQ(rgbaOf(other.get()), rgba);
    }

    ImagePtr grayOnly = flatGray(9, 4, 4);
    EXPECT_EQ(getFilterRGBAImageDataForRGBAData(grayOnly.get(), kZVFilterSketch), 0);
    EXPECT_NE(grayOnly->grayData, nullptr);
    EXPECT_EQ(getFilterRGBAImageDataForRGBAData(nullptr, 0), 0);
}

// A picture whose planes cannot exist in memory: every effect says 2 (the
// dispatch 0) before it reads a pixel, and nothing changes.
TEST(Effects, UnallocatableSizeLeavesThePictureAndSaysSo) {
    uint8_t pixel[4] = {1, 2, 3, 4};
    ZVImage record{};
    record.width = 0xFFFFFFFFu;
    record.height = 0xFFFFFFFFu;
    record.rgbaData = pixel;
    for (const EffectCase &c : kEffects) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.run(&record), 2);
    }
    EXPECT_EQ(getFilterRGBAImageDataForRGBAData(&record, kZVFilterText), 0);
    EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{1, 2, 3, 4}));

    ImagePtr empty(creatZVImage(3, 3));
    for (const EffectCase &c : kEffects) EXPECT_EQ(c.run(empty.get()), 1) << c.name;
}

TEST(EffectHelpers, BoxBlursTruncateAndClampAtTheEdges) {
    // Radius 1 over [0, 90, 0, 0]: the clamped windows hold 90, 90, 90, 0.
    const std::vector<uint8_t> row = {0, 90, 0, 0};
    std::vector<uint8_t> out(4);
    box_blur_h(row.data(), out.data(), 4, 1, 1);
    EXPECT_EQ(out, (std::vector<uint8_t>{30, 30, 30, 0}));
    box_blur_v(row.data(), out.data(), 1, 4, 1);
    EXPECT_EQ(out, (std::vector<uint8_t>{30, 30, 30, 0}));
    // 100 / 3 truncates to 33; the window at the left edge counts pixel 0 twice.
    const std::vector<uint8_t> left = {100, 0, 0};
    box_blur_h(left.data(), out.data(), 3, 1, 1);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3), (std::vector<uint8_t>{66, 33, 0}));
}

TEST(EffectHelpers, GaussianOfAnImpulse) {
    // Kernel 3: sigma 0.8, weights 0.2390, 0.5220, 0.2390; 255 at the centre
    // spreads to 69 there, 32 beside it and 15 on the diagonals.
    std::vector<uint8_t> plane(25, 0);
    plane[12] = 255;
    ASSERT_EQ(gaussian_blur_u8(plane.data(), plane.data(), 5, 5, 2), 0);  // 2 is raised to 3
    const std::vector<uint8_t> expected = {0,  0, 0, 0,  0,  0,  15, 32, 15, 0, 0, 32, 69,
                                           32, 0, 0, 15, 32, 15, 0,  0,  0,  0, 0, 0};
    EXPECT_EQ(plane, expected);
    std::vector<uint8_t> flat(35, 200);
    ASSERT_EQ(gaussian_blur_u8(flat.data(), flat.data(), 7, 5, 21), 0);
    EXPECT_EQ(flat, std::vector<uint8_t>(35, 200));
}

TEST(EffectHelpers, AdaptiveThresholdAveragesOnlyPixelsInside) {
    // Pixel 0 of [65, 100, 0]: its clipped window holds 65 and 100 (mean
    // 82.5, threshold 67.5), so 65 is black; an edge-replicated window would
    // have given 76.7 - 15 and white.
    const std::vector<uint8_t> row = {65, 100, 0};
    std::vector<uint8_t> out(3);
    ASSERT_EQ(adaptive_threshold_u8(row.data(), out.data(), 3, 1, 3, false, 15.0), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 255, 0}));
    ASSERT_EQ(adaptive_threshold_u8(row.data(), out.data(), 3, 1, 2, true, 15.0), 0);  // 2 is raised to 3
    EXPECT_EQ(out, (std::vector<uint8_t>{255, 0, 255}));
    // A flat picture is above its mean minus a positive offset everywhere.
    const std::vector<uint8_t> flat(12, 10);
    std::vector<uint8_t> flatOut(12);
    ASSERT_EQ(adaptive_threshold_u8(flat.data(), flatOut.data(), 4, 3, 31, false, 15.0), 0);
    EXPECT_EQ(flatOut, std::vector<uint8_t>(12, 255));
}

// Both local thresholds against the windows summed pixel by pixel, clipped to
// the picture, for windows smaller than, near and larger than the picture.
TEST(EffectHelpers, LocalThresholdsMatchWindowsSummedDirectly) {
    constexpr uint32_t kW = 23, kH = 17;
    const std::vector<uint8_t> src = noiseBytes(size_t{kW} * kH, 99);
    for (int window : {3, 7, 21, 101}) {
        SCOPED_TRACE(window);
        std::vector<uint8_t> mean(src.size()), sauvola(src.size()), meanRef(src.size()), sauvolaRef(src.size());
        ASSERT_EQ(adaptive_threshold_u8(src.data(), mean.data(), kW, kH, window, false, 15.0), 0);
        ASSERT_EQ(sauvola_threshold_u8(src.data(), sauvola.data(), kW, kH, window), 0);
        const int half = window / 2;
        for (int y = 0; y < static_cast<int>(kH); ++y) {
            for (int x = 0; x < static_cast<int>(kW); ++x) {
                double sum = 0, squares = 0, n = 0;
                for (int v = std::max(0, y - half); v <= std::min<int>(kH - 1, y + half); ++v) {
                    for (int u = std::max(0, x - half); u <= std::min<int>(kW - 1, x + half); ++u) {
                        const double p = src[v * kW + u];
                        sum += p;
                        squares += p * p;
                        n += 1;
                    }
                }
                const double m = sum / n;
                const double sd = std::sqrt(std::max(0.0, squares / n - m * m));
                const double t = std::min(255.0, std::max(0.0, m * ((sd / 128.0 - 1.0) * 0.25 + 1.0)));
                const uint8_t p = src[y * kW + x];
                meanRef[y * kW + x] = p > m - 15.0 ? 255 : 0;
                sauvolaRef[y * kW + x] = p > static_cast<int>(t + 0.5) ? 255 : 0;
            }
        }
        EXPECT_EQ(mean, meanRef);
        EXPECT_EQ(sauvola, sauvolaRef);
    }
}

TEST(EffectHelpers, DodgeBlendAndLaplacian) {
    const std::vector<uint8_t> base = {100, 50, 200, 0};
    const std::vector<uint8_t> blend = {155, 155, 255, 0};
    std::vector<uint8_t> out(4);
    color_dodge_blend_with_intensity(base.data(), blend.data(), out.data(), 4, 1.0f);
    EXPECT_EQ(out, (std::vector<uint8_t>{255, 127, 255, 0}));
    color_dodge_blend_with_intensity(base.data(), blend.data(), out.data(), 4, 2.0f);
    EXPECT_EQ(out[1], 63);  // (127/255)^2 * 255 = 63.25

    const std::vector<uint8_t> cross = {0, 0, 0, 0, 100, 0, 0, 0, 0};
    std::vector<uint8_t> lap(9);
    laplacian_abs_u8(cross.data(), lap.data(), 3, 3);
    EXPECT_EQ(lap, (std::vector<uint8_t>{0, 100, 0, 100, 255, 100, 0, 100, 0}));
}

}  // namespace
