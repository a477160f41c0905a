// The configurable pipeline: padding, inversion, stage dispatch per band,
// join, packing, tattoo marks and the early return on a failing stage.
#include "imaging/custom_pipeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "imaging/clahe.h"
#include "imaging/sharpen.h"
#include "imaging/simple_rand.h"
#include "imaging/tone.h"
#include "imaging/zv_dither.h"
#include "imaging/zv_text_cut_tattoo.h"
#include "tests/imaging/gray_band.h"

namespace {

PrintSetting printSetting(uint32_t width, uint32_t height) {
    PrintSetting s;
    creatDefaultPrintSettingWithPrintSize(&s, width, height);
    return s;
}

// Deterministic dithering: no clock seeding, no threshold jitter.
ImageProcessingSetting processing(uint32_t flags, uint8_t threshold = 128) {
    ImageProcessingSetting s;
    creatDefaultImageProcessingSetting(&s);
    s.randomThreshold = 0;
    s.processFlags = flags;
    s.threshold = threshold;
    return s;
}

std::vector<uint8_t> packedOf(const ZVImage *image) {
    return std::vector<uint8_t>(image->pixByteData,
                                image->pixByteData + zvImagePackedSize(image->width, image->height));
}

// Packs a 0/255 gray plane the way the pipeline's last step does.
std::vector<uint8_t> pack(const std::vector<uint8_t> &gray, uint32_t width, uint32_t height, int threshold) {
    ImagePtr image = grayImage(gray, width, height);
    EXPECT_EQ(0, ZVImageConvertGray2PixByte(image.get(), threshold));
    return packedOf(image.get());
}

bool dot(const std::vector<uint8_t> &packed, uint32_t width, uint32_t x, uint32_t y) {
    const size_t i = static_cast<size_t>(y) * width + x;
    return (packed[i / 8] >> (7 - i % 8)) & 1;
}

TEST(CustomPipeline, EmptyImageIsRefused) {
    EXPECT_EQ(1u, getZVImageProcessingForCustom(nullptr, printSetting(0, 0), processing(0)));
    ZVImage *bare = creatZVImage(8, 8);  // no pixel plane at all
    EXPECT_EQ(1u, getZVImageProcessingForCustom(bare, printSetting(8, 8), processing(0)));
    EXPECT_EQ(nullptr, bare->pixByteData);
    std::free(bare);
}

TEST(CustomPipeline, WidthOf250IsPaddedWithWhiteTo256) {
    ImagePtr image = flatGray(0, 250, 3);
    ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(250, 3), processing(0, 160)));
    ASSERT_EQ(256u, image->width);
    ASSERT_EQ(3u, image->height);
    // Columns 0..249 black (dots), the six added ones white.
    std::vector<uint8_t> row(32, 0xFF);
    row[31] = 0xC0;
    std::vector<uint8_t> expected;
    for (int y = 0; y < 3; ++y) expected.insert(expected.end(), row.begin(), row.end());
    EXPECT_EQ(expected, packedOf(image.get()));
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 250; x < 256; ++x) EXPECT_EQ(255, image->grayData[y * 256 + x]);

    ImagePtr kept = flatGray(0, 250, 3);
    PrintSetting keep = printSetting(250, 3);
    keep.keepWidth = 1;
    ASSERT_EQ(0u, getZVImageProcessingForCustom(kept.get(), keep, processing(0, 160)));
    EXPECT_EQ(250u, kept->width);
}

TEST(CustomPipeline, PaddingWidensTheColourPlaneWithOpaqueWhite) {
    const std::vector<uint8_t> rgba = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};  // 3 x 1
    ZVImage *image = creatZVImageWithRGBAData(rgba.data(), 3, 1);
    ASSERT_NE(nullptr, image);
    ImagePtr owner(image);
    ASSERT_EQ(0, fixZVImageWidthTo8Multiple(image));
    ASSERT_EQ(8u, image->width);
    std::vector<uint8_t> expected = rgba;
    expected.resize(32, 255);
    EXPECT_EQ(expected, std::vector<uint8_t>(image->rgbaData, image->rgbaData + 32));
    EXPECT_EQ(nullptr, image->grayData);
    EXPECT_EQ(0, fixZVImageWidthTo8Multiple(image));  // already a multiple: nothing to do
}

TEST(CustomPipeline, InversionTurnsBlackIntoNoDot) {
    // Pixel 0 black, pixel 1 white, the rest mid-gray 100 (inverted: 155).
    std::vector<uint8_t> gray(8, 100);
    gray[0] = 0;
    gray[1] = 255;
    ImagePtr image = grayImage(gray, 8, 1);
    PrintSetting s = printSetting(8, 1);
    s.invertColors = 1;
    ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), s, processing(0, 160)));
    EXPECT_EQ(std::vector<uint8_t>({0x7F}), packedOf(image.get()));

    const std::vector<uint8_t> rgba = {0, 10, 255, 7};
    ZVImage *colour = creatZVImageWithRGBAData(rgba.data(), 1, 1);
    ImagePtr owner(colour);
    ASSERT_EQ(0, invertZVImageColors(colour));
    EXPECT_EQ(std::vector<uint8_t>({255, 245, 0, 7}), std::vector<uint8_t>(colour->rgbaData, colour->rgbaData + 4));
}

TEST(CustomPipeline, FlagsZeroThresholdsAt160) {
    const std::vector<uint8_t> gray = {159, 160, 0, 255, 161, 158, 128, 200};
    ImagePtr image = grayImage(gray, 8, 1);
    ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(8, 1), processing(0, 160)));
    EXPECT_EQ(std::vector<uint8_t>({0xA6}), packedOf(image.get()));  // dots at 0, 2, 5, 6
    EXPECT_EQ(std::vector<uint8_t>({0, 255, 0, 255, 255, 0, 0, 255}), grayOf(image.get()));
}

// A page of width 64: rows 0..3 blank, 4..19 text (white paper with black
// strokes), 20..23 blank, 24..55 a photograph (noise in the mid tones),
// 56..59 blank.
constexpr uint32_t kPageWidth = 64;
constexpr uint32_t kPageHeight = 60;

std::vector<uint8_t> textOverPhotoPage() {
    std::vector<uint8_t> page(kPageWidth * kPageHeight, 255);
    for (uint32_t y = 4; y < 20; ++y)
        for (uint32_t x = 4; x < 60; x += 9) {
            page[y * kPageWidth + x] = 0;
            page[y * kPageWidth + x + 1] = 40;
        }
    const std::vector<uint8_t> noise = noiseBytes(kPageWidth * 32, 7);
    for (size_t i = 0; i < noise.size(); ++i) page[24 * kPageWidth + i] = static_cast<uint8_t>(70 + noise[i] / 2);
    return page;
}

std::vector<uint8_t> rowsOf(const std::vector<uint8_t> &page, uint32_t first, uint32_t count) {
    return std::vector<uint8_t>(page.begin() + first * kPageWidth, page.begin() + (first + count) * kPageWidth);
}

TEST(CustomPipeline, MixedFlagsTreatTextAndPhotoBandsEachTheirOwnWay) {
    const std::vector<uint8_t> page = textOverPhotoPage();
    const ImageProcessingSetting setting = processing(0x20806001, 160);

    // The bands as the page is meant to be read: text, photograph, blank.
    ImagePtr text = grayImage(rowsOf(page, 4, 16), kPageWidth, 16);
    ImagePtr photo = grayImage(rowsOf(page, 24, 32), kPageWidth, 32);
    ASSERT_EQ(1, ZVImageIsText(text.get()));
    ASSERT_EQ(0, ZVImageIsText(photo.get()));

    ASSERT_EQ(0, ZVImageBrightnessReduce(text.get()));
    ASSERT_EQ(1, ZVImageIsText(text.get()));
    ASSERT_EQ(0, ZVImageTextImageDither(text.get()));
    ASSERT_EQ(0, ZVImageBrightnessIncrease(photo.get()));
    ASSERT_EQ(0, ZVImageAtkinsonDither(photo.get(), setting));

    std::vector<uint8_t> expected(kPageWidth * kPageHeight, 255);
    std::memcpy(expected.data() + 4 * kPageWidth, text->grayData, 16 * kPageWidth);
    std::memcpy(expected.data() + 24 * kPageWidth, photo->grayData, 32 * kPageWidth);

    ImagePtr image = grayImage(page, kPageWidth, kPageHeight);
    ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(kPageWidth, kPageHeight), setting));
    EXPECT_EQ(kPageHeight, image->height);
    EXPECT_EQ(expected, grayOf(image.get()));
    EXPECT_EQ(pack(expected, kPageWidth, kPageHeight, 160), packedOf(image.get()));
}

// One stage bit at a time (no cut, so the whole page is one band): the
// pipeline's result equals the named operation followed by the halftoning
// that the same flags select.
TEST(CustomPipeline, EachFlagSelectsItsOperation) {
    using Op = std::function<int(ZVImage *)>;
    const ImageProcessingSetting base = processing(0);
    const uint16_t radius = base.sharpenRadius;
    const float amount = base.sharpenAmount;
    const Op threshold = [](ZVImage *b) { return ZVImageThresholding(b, 128); };
    const Op none = [](ZVImage *) { return 0; };
    struct Case {
        uint32_t flags;
        Op stage;
        Op halftone;
    };
    const auto dither = [&](int (*method)(ZVImage *, ImageProcessingSetting)) {
        return Op([&base, method](ZVImage *b) { return method(b, base); });
    };
    const Case cases[] = {
        {0x0, none, threshold},
        {0x2, ZVImageSharpenTattoo, threshold},
        {0x8 | 0x10, [&](ZVImage *b) { return ZVImageSharpenUnsharpMasking(b, radius, amount); }, threshold},
        {0x10, [&](ZVImage *b) { return ZVImageSharpenAdaptive(b, radius, amount); }, threshold},
        {0x20, [&](ZVImage *b) { return ZVImageSharpenEdgePreserving(b, radius, amount); }, threshold},
        {0x40, [&](ZVImage *b) { return ZVImageSharpenHighPass(b, radius, amount); }, threshold},
        {0x80, [&](ZVImage *b) { return ZVImageSharpenMultiScale(b, radius, amount); }, threshold},
        {0x200 | 0x800, ZVImageBrightnessContrastReduction, threshold},
        {0x400, ZVImageBrightnessContrastReduction_2, threshold},
        {0x800 | 0x1000, ZVImageBrightnessReduce, threshold},
        {0x1000, ZVImageBrightnessAutoLevels, threshold},
        {0x4000, ZVImageBrightnessIncrease, threshold},  // noise is a picture
        {0x2000, none, threshold},                       // ... so the text rule does nothing
        {0x8000, ZVImageGrayHistogramCLAHE, threshold},
        {0x400000 | 0x800000, none, dither(ZVImageFloydSteinbergDither)},
        {0x800000, none, dither(ZVImageAtkinsonDither)},
        {0x1000000, none, dither(ZVImageBurkesDither)},
        {0x2000000, none, dither(ZVImageSierraDither)},
        {0x4000000, none, dither(ZVImageJarvisJudiceNinkeDither)},
        {0x8000000, none, dither(ZVImageOrderedBayerDither)},
        {0x10000000, none, dither(ZVImageRandomDither)},
        {0x20000000 | 0x1000000, none, dither(ZVImageBurkesDither)},  // a picture is not outsourced
    };
    const std::vector<uint8_t> gray = noiseBytes(64 * 48, 3);
    for (const Case &c : cases) {
        ImagePtr expected = grayImage(gray, 64, 48);
        setSimpleRandState(99);
        ASSERT_EQ(0, c.stage(expected.get())) << std::hex << c.flags;
        ASSERT_EQ(0, c.halftone(expected.get())) << std::hex << c.flags;

        ImagePtr image = grayImage(gray, 64, 48);
        setSimpleRandState(99);
        ImageProcessingSetting s = base;
        s.processFlags = c.flags;
        ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(64, 48), s)) << std::hex << c.flags;
        EXPECT_EQ(grayOf(expected.get()), grayOf(image.get())) << std::hex << c.flags;
        EXPECT_EQ(pack(grayOf(expected.get()), 64, 48, 128), packedOf(image.get())) << std::hex << c.flags;
    }
}

TEST(CustomPipeline, TextIsOutsourcedToTheTextDither) {
    const std::vector<uint8_t> page = textOverPhotoPage();
    ImagePtr expected = grayImage(rowsOf(page, 0, 20), kPageWidth, 20);
    ASSERT_EQ(0, ZVImageTextImageDither(expected.get()));
    ImagePtr image = grayImage(rowsOf(page, 0, 20), kPageWidth, 20);
    ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(kPageWidth, 20), processing(0x20800000)));
    EXPECT_EQ(grayOf(expected.get()), grayOf(image.get()));
}

TEST(CustomPipeline, GrayPlaneIsUsedWhenBothPlanesArePresent) {
    // The colour plane says black, the gray plane white: no dots.
    const uint32_t w = 64, h = 64;
    std::vector<uint8_t> rgba(w * h * 4);
    const std::vector<uint8_t> noise = noiseBytes(w * h, 11);
    for (size_t i = 0; i < w * h; ++i) {
        rgba[4 * i] = noise[i] / 4;
        rgba[4 * i + 1] = noise[i] / 8;
        rgba[4 * i + 2] = 0;
        rgba[4 * i + 3] = 255;
    }
    ImagePtr image(creatZVImageWithRGBAData(rgba.data(), w, h));
    const std::vector<uint8_t> white(w * h, 250);
    image->grayData = static_cast<uint8_t *>(std::malloc(white.size()));
    std::memcpy(image->grayData, white.data(), white.size());

    ImagePtr specified(creatZVImageWithRGBAData(rgba.data(), w, h));
    ASSERT_EQ(0, ZVImageHistogramSpecification(specified.get()));
    ImagePtr grayOnly = grayImage(white, w, h);
    ASSERT_EQ(0u, getZVImageProcessingForCustom(grayOnly.get(), printSetting(w, h), processing(0x8000)));

    ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(w, h), processing(0x8000)));
    EXPECT_EQ(packedOf(grayOnly.get()), packedOf(image.get()));
    EXPECT_EQ(std::vector<uint8_t>(specified->rgbaData, specified->rgbaData + w * h * 4),
              std::vector<uint8_t>(image->rgbaData, image->rgbaData + w * h * 4));
}

TEST(CustomPipeline, ColourOnlyImageIsConvertedToGray) {
    const std::vector<uint8_t> rgba = {0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255,
                                       0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255};
    ImagePtr image(creatZVImageWithRGBAData(rgba.data(), 8, 1));
    ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(8, 1), processing(0)));
    EXPECT_EQ(std::vector<uint8_t>({0xAA}), packedOf(image.get()));
}

TEST(CustomPipeline, TattooMarksNeedRoomBelowTheirRow) {
    struct Case {
        uint32_t width, height, row;
        uint32_t expectedHeight;
    };
    const Case cases[] = {
        {128, 100, 120, 100},  // too short: no marks, still done
        {384, 200, 120, 216},  // room for the marks: 16 rows more
    };
    for (const Case &c : cases) {
        ImagePtr image = flatGray(255, c.width, c.height);
        ImageProcessingSetting s = processing(0x5);
        s.tattooLineRow = c.row;
        ASSERT_EQ(0u, getZVImageProcessingForCustom(image.get(), printSetting(c.width, c.height), s));
        EXPECT_EQ(c.expectedHeight, image->height);
        const std::vector<uint8_t> packed = packedOf(image.get());
        if (c.expectedHeight == c.height) {
            EXPECT_EQ(std::vector<uint8_t>(packed.size(), 0), packed);
        } else {
            EXPECT_TRUE(dot(packed, c.width, 32, c.row - 16));  // top left corner mark
            EXPECT_TRUE(dot(packed, c.width, 32, c.expectedHeight - 1));
        }
    }
}

TEST(CustomPipeline, BandsTooSmallToTileSkipTheEqualisation) {
    // Bands of 5 rows (too short for two regions) and 37 rows (prime) between
    // blank rows: the equalisation passes them by instead of refusing the
    // page, so the result is the pipeline's without it.
    std::vector<uint8_t> page(64 * 80, 255);
    for (uint32_t y = 10; y < 15; ++y)
        for (uint32_t x = 0; x < 64; ++x) page[y * 64 + x] = static_cast<uint8_t>(x * 4);
    for (uint32_t y = 30; y < 67; ++y)
        for (uint32_t x = 0; x < 64; ++x) page[y * 64 + x] = static_cast<uint8_t>((x * 7 + y * 3) % 256);
    ImagePtr equalised = grayImage(page, 64, 80);
    ImagePtr plain = grayImage(page, 64, 80);
    ASSERT_EQ(0u, getZVImageProcessingForCustom(equalised.get(), printSetting(64, 80), processing(0x8001)));
    ASSERT_EQ(0u, getZVImageProcessingForCustom(plain.get(), printSetting(64, 80), processing(0x0001)));
    EXPECT_EQ(packedOf(plain.get()), packedOf(equalised.get()));

    // Uncut, the whole five-row image is the band: the same.
    const std::vector<uint8_t> band(page.begin() + 10 * 64, page.begin() + 15 * 64);
    ImagePtr shortImage = grayImage(band, 64, 5);
    ASSERT_EQ(0u, getZVImageProcessingForCustom(shortImage.get(), printSetting(64, 5), processing(0x8000)));
    EXPECT_EQ(pack(band, 64, 5, 128), packedOf(shortImage.get()));
}

}  // namespace
