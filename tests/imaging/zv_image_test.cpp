#include "imaging/zv_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/support/owned_handles.h"

namespace {

using ImagePtr = zvtest::ImagePtr;

std::vector<uint8_t> plane(const uint8_t *data, size_t size) { return std::vector<uint8_t>(data, data + size); }

TEST(ZVImageCreate, RefusesMissingSourceAndZeroSize) {
    const uint8_t bytes[16] = {};
    EXPECT_EQ(creatZVImage(0, 5), nullptr);
    EXPECT_EQ(creatZVImage(5, 0), nullptr);
    EXPECT_EQ(creatZVImageWithGrayData(nullptr, 2, 2), nullptr);
    EXPECT_EQ(creatZVImageWithGrayData(bytes, 0, 2), nullptr);
    EXPECT_EQ(creatZVImageWithRGBAData(nullptr, 1, 1), nullptr);
    EXPECT_EQ(creatZVImageWithPixByteData(bytes, 4, 0), nullptr);
    EXPECT_EQ(creatZVImageWithCMYPixData(bytes, bytes, nullptr, 2, 2), nullptr);
    EXPECT_EQ(creatZVImageWithCMYPixData(nullptr, bytes, bytes, 2, 2), nullptr);
}

TEST(ZVImageCreate, EmptyRecordHasOnlyItsSize) {
    ImagePtr image(creatZVImage(7, 3));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 7u);
    EXPECT_EQ(image->height, 3u);
    EXPECT_EQ(image->rgbaData, nullptr);
    EXPECT_EQ(image->grayData, nullptr);
    EXPECT_EQ(image->pixData, nullptr);
    EXPECT_EQ(image->pixByteData, nullptr);
    EXPECT_EQ(image->cmyData, nullptr);
    EXPECT_EQ(image->cPixData, nullptr);
    EXPECT_EQ(image->mPixData, nullptr);
    EXPECT_EQ(image->yPixData, nullptr);
}

TEST(ZVImageCreate, CopiesTheSourceBytes) {
    std::vector<uint8_t> gray = {1, 2, 3, 4, 5, 6};
    ImagePtr image(creatZVImageWithGrayData(gray.data(), 3, 2));
    ASSERT_NE(image, nullptr);
    gray[0] = 99;  // the record owns a copy
    EXPECT_EQ(plane(image->grayData, 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(image->rgbaData, nullptr);

    const uint8_t packed[2] = {0xA5, 0xF0};  // 3x3 = 9 bits -> 2 bytes
    ImagePtr packedImage(creatZVImageWithPixByteData(packed, 3, 3));
    ASSERT_NE(packedImage, nullptr);
    EXPECT_EQ(plane(packedImage->pixByteData, 2), (std::vector<uint8_t>{0xA5, 0xF0}));

    const uint8_t c[2] = {255, 0}, m[2] = {0, 255}, y[2] = {255, 255};
    ImagePtr cmy(creatZVImageWithCMYPixData(c, m, y, 2, 1));
    ASSERT_NE(cmy, nullptr);
    EXPECT_EQ(plane(cmy->cPixData, 2), plane(c, 2));
    EXPECT_EQ(plane(cmy->mPixData, 2), plane(m, 2));
    EXPECT_EQ(plane(cmy->yPixData, 2), plane(y, 2));
}

TEST(ZVImageCreate, ARGBIsStoredAsRGBA) {
    const uint8_t argb[8] = {0xA1, 0x11, 0x22, 0x33, 0xA2, 0x44, 0x55, 0x66};
    ImagePtr image(creatZVImageWithARGBData(argb, 2, 1));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(plane(image->rgbaData, 8), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0xA1, 0x44, 0x55, 0x66, 0xA2}));
}

TEST(ZVImageEmptiness, FollowsThePlanesPresent) {
    const uint8_t bytes[4] = {};
    EXPECT_TRUE(isEmptyZVImageData(nullptr));
    EXPECT_TRUE(isEmptyGrayData(nullptr));
    EXPECT_TRUE(isEmptyCMYPixData(nullptr));

    ImagePtr grayOnly(creatZVImageWithGrayData(bytes, 2, 2));
    EXPECT_FALSE(isEmptyZVImageData(grayOnly.get()));
    EXPECT_FALSE(isEmptyGrayData(grayOnly.get()));
    EXPECT_TRUE(isEmptyRGBAData(grayOnly.get()));
    EXPECT_TRUE(isEmptyPixData(grayOnly.get()));
    EXPECT_TRUE(isEmptyPixByteData(grayOnly.get()));
    EXPECT_TRUE(isEmptyCMYData(grayOnly.get()));

    ImagePtr packedOnly(creatZVImageWithPixByteData(bytes, 2, 2));
    EXPECT_TRUE(isEmptyZVImageData(packedOnly.get()));
    EXPECT_FALSE(isEmptyPixByteData(packedOnly.get()));

    // A plane is not enough when a size is zero.
    grayOnly->height = 0;
    EXPECT_TRUE(isEmptyZVImageData(grayOnly.get()));
    EXPECT_TRUE(isEmptyGrayData(grayOnly.get()));
    grayOnly->height = 2;

    // The ink-dot test needs all three planes.
    ImagePtr cmy(creatZVImageWithCMYPixData(bytes, bytes, bytes, 2, 2));
    EXPECT_FALSE(isEmptyCMYPixData(cmy.get()));
    freeZVImageMPixData(cmy.get());
    EXPECT_TRUE(isEmptyCMYPixData(cmy.get()));
}

TEST(ZVImageDeepCopy, CopiesExactlyThePresentPlanes) {
    const uint8_t rgba[8] = {10, 20, 30, 40, 50, 60, 70, 80};
    ImagePtr image(creatZVImageWithRGBAData(rgba, 2, 1));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(ZVImageConvertRGBA2CMY(image.get()), 0);

    ImagePtr copy(deepCopyZVImage(image.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->width, 2u);
    EXPECT_EQ(copy->height, 1u);
    ASSERT_NE(copy->rgbaData, nullptr);
    ASSERT_NE(copy->cmyData, nullptr);
    EXPECT_NE(copy->rgbaData, image->rgbaData);
    EXPECT_NE(copy->cmyData, image->cmyData);
    EXPECT_EQ(plane(copy->rgbaData, 8), plane(rgba, 8));
    EXPECT_EQ(plane(copy->cmyData, 6), plane(image->cmyData, 6));
    EXPECT_EQ(copy->grayData, nullptr);
    EXPECT_EQ(copy->pixData, nullptr);
    EXPECT_EQ(copy->pixByteData, nullptr);
    EXPECT_EQ(copy->cPixData, nullptr);
    EXPECT_EQ(copy->mPixData, nullptr);
    EXPECT_EQ(copy->yPixData, nullptr);

    EXPECT_EQ(deepCopyZVImage(nullptr), nullptr);
    ImagePtr zero(creatZVImage(1, 1));
    zero->width = 0;
    EXPECT_EQ(deepCopyZVImage(zero.get()), nullptr);
}

TEST(ZVImageDeepCopy, CopiesThePackedPlaneWithItsPartialByte) {
    const uint8_t packed[2] = {0xFF, 0x80};
    ImagePtr image(creatZVImageWithPixByteData(packed, 3, 3));
    ImagePtr copy(deepCopyZVImage(image.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(plane(copy->pixByteData, 2), plane(packed, 2));
}

TEST(ZVImageConvert, RGBAToGrayWeightsInSinglePrecision) {
    struct Case {
        uint8_t r, g, b, a, gray;
    };
    const Case cases[] = {
        {255, 255, 255, 255, 254},                      // 254.97 truncated
        {0, 0, 0, 255, 0},         {255, 0, 0, 0, 76},  // alpha ignored
        {0, 255, 0, 255, 149},     {0, 0, 255, 255, 29}, {10, 20, 30, 255, 18}, {128, 128, 128, 7, 127},
    };
    std::vector<uint8_t> rgba;
    for (const Case &c : cases) rgba.insert(rgba.end(), {c.r, c.g, c.b, c.a});
    const uint32_t n = static_cast<uint32_t>(std::size(cases));
    ImagePtr image(creatZVImageWithRGBAData(rgba.data(), n, 1));
    ASSERT_EQ(ZVImageConvertRGBA2Gray(image.get()), 0);
    for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(image->grayData[i], cases[i].gray) << "case " << i;
    EXPECT_EQ(plane(image->rgbaData, rgba.size()), rgba);  // source untouched
}

TEST(ZVImageConvert, WhiteThroughRGBAAndBackIs254) {
    const uint8_t gray[2] = {255, 0};
    ImagePtr image(creatZVImageWithGrayData(gray, 2, 1));
    ASSERT_EQ(ZVImageConvertGray2RGBA(image.get()), 0);
    EXPECT_EQ(plane(image->rgbaData, 8), (std::vector<uint8_t>{255, 255, 255, 255, 0, 0, 0, 255}));
    ASSERT_EQ(ZVImageConvertRGBA2Gray(image.get()), 0);
    EXPECT_EQ(image->grayData[0], 254);
    EXPECT_EQ(image->grayData[1], 0);
}

TEST(ZVImageConvert, CMYRoundTrip) {
    const uint8_t rgba[8] = {0, 100, 255, 9, 1, 2, 3, 4};
    ImagePtr image(creatZVImageWithRGBAData(rgba, 2, 1));
    ASSERT_EQ(ZVImageConvertRGBA2CMY(image.get()), 0);
    EXPECT_EQ(plane(image->cmyData, 6), (std::vector<uint8_t>{255, 155, 0, 254, 253, 252}));
    ASSERT_EQ(ZVImageConvertCMY2RGBA(image.get()), 0);
    EXPECT_EQ(plane(image->rgbaData, 8), (std::vector<uint8_t>{0, 100, 255, 255, 1, 2, 3, 255}));
}

TEST(ZVImageConvert, GrayToPackedThreshold) {
    const uint8_t gray[8] = {159, 160, 0, 255, 159, 161, 100, 200};
    ImagePtr image(creatZVImageWithGrayData(gray, 8, 1));
    struct Case {
        int threshold;
        uint8_t byte;
    };
    for (const Case &c : {Case{160, 0xAA}, Case{0, 0x00}, Case{1, 0x20}, Case{256, 0xFF}, Case{-5, 0x00}}) {
        ASSERT_EQ(ZVImageConvertGray2PixByte(image.get(), c.threshold), 0);
        EXPECT_EQ(image->pixByteData[0], c.byte) << "threshold " << c.threshold;
    }
}

TEST(ZVImageConvert, PackingRunsContinuouslyOverRows) {
    // 12 x 2: row 1 starts at pixel 12, which is byte 1 bit 3.
    std::vector<uint8_t> gray(24, 255);
    gray[0] = 0;   // byte 0 bit 7
    gray[11] = 0;  // byte 1 bit 4
    gray[12] = 0;  // byte 1 bit 3
    gray[23] = 0;  // byte 2 bit 0
    ImagePtr image(creatZVImageWithGrayData(gray.data(), 12, 2));
    ASSERT_EQ(ZVImageConvertGray2PixByte(image.get(), 128), 0);
    EXPECT_EQ(plane(image->pixByteData, 3), (std::vector<uint8_t>{0x80, 0x18, 0x01}));

    ASSERT_EQ(ZVImageConvertPixByte2Pix(image.get()), 0);
    for (size_t i = 0; i < 24; ++i) {
        EXPECT_EQ(image->pixData[i], gray[i] == 0 ? 255 : 0) << "pixel " << i;
    }
    freeZVImagePixByteData(image.get());
    image->pixData[5] = 1;  // any nonzero dot byte packs as a dot
    ASSERT_EQ(ZVImageConvertPix2PixByte(image.get()), 0);
    EXPECT_EQ(plane(image->pixByteData, 3), (std::vector<uint8_t>{0x84, 0x18, 0x01}));
}

TEST(ZVImageConvert, InversionComplementsEveryPackedByte) {
    const uint8_t packed[2] = {0x0F, 0x80};  // 3x3: the last byte holds 1 pixel
    ImagePtr image(creatZVImageWithPixByteData(packed, 3, 3));
    EXPECT_EQ(ZVImagePixByteInvertColors(image.get()), 0);
    EXPECT_EQ(plane(image->pixByteData, 2), (std::vector<uint8_t>{0xF0, 0x7F}));

    ImagePtr none(creatZVImage(8, 1));
    EXPECT_EQ(ZVImagePixByteInvertColors(none.get()), 1);
    EXPECT_EQ(ZVImagePixByteInvertColors(nullptr), 1);
}

TEST(ZVImageConvert, MissingSourceGivesOne) {
    ImagePtr image(creatZVImage(4, 4));
    EXPECT_EQ(ZVImageConvertRGBA2Gray(image.get()), 1);
    EXPECT_EQ(ZVImageConvertGray2RGBA(image.get()), 1);
    EXPECT_EQ(ZVImageConvertRGBA2CMY(image.get()), 1);
    EXPECT_EQ(ZVImageConvertCMY2RGBA(image.get()), 1);
    EXPECT_EQ(ZVImageConvertGray2PixByte(image.get(), 128), 1);
    EXPECT_EQ(ZVImageConvertPix2PixByte(image.get()), 1);
    EXPECT_EQ(ZVImageConvertPixByte2Pix(image.get()), 1);
    EXPECT_EQ(ZVImageConvertRGBA2Gray(nullptr), 1);
    EXPECT_EQ(ZVImageConvertGray2PixByte(nullptr, 128), 1);
}

TEST(ZVImageConvert, UnallocatableTargetGivesTwoAndDropsTheOldPlane) {
    // A size whose RGBA plane cannot exist: the old plane is released first,
    // the source stays.
    uint8_t gray[4] = {1, 2, 3, 4};
    ZVImage record{};
    record.width = 0xFFFFFFFFu;
    record.height = 0xFFFFFFFFu;
    record.grayData = gray;
    record.rgbaData = static_cast<uint8_t *>(std::malloc(4));
    EXPECT_EQ(ZVImageConvertGray2RGBA(&record), 2);
    EXPECT_EQ(record.rgbaData, nullptr);
    EXPECT_EQ(record.grayData, gray);
    EXPECT_EQ(gray[0], 1);
}

TEST(ZVImageRelease, SinglePlanesAndMissingRecords) {
    const uint8_t bytes[4] = {};
    ImagePtr image(creatZVImageWithGrayData(bytes, 2, 2));
    ASSERT_EQ(ZVImageConvertGray2RGBA(image.get()), 0);
    freeZVImageGrayData(image.get());
    EXPECT_EQ(image->grayData, nullptr);
    EXPECT_NE(image->rgbaData, nullptr);
    freeZVImageGrayData(image.get());  // absent plane: nothing happens
    freeZVImageData(image.get());
    EXPECT_EQ(image->rgbaData, nullptr);
    EXPECT_EQ(image->width, 2u);  // the record stays

    freeZVImageData(nullptr);
    freeZVImageRGBAData(nullptr);
    freeZVImageYPixData(nullptr);
    freeZVImageDataArray(nullptr, 3);
}

TEST(ZVImageRelease, ArrayWithNoneEntries) {
    const uint8_t bytes[4] = {};
    ZVImage *images[4] = {creatZVImageWithGrayData(bytes, 2, 2), nullptr,
                          creatZVImageWithCMYPixData(bytes, bytes, bytes, 2, 2), nullptr};
    ASSERT_NE(images[0], nullptr);
    ASSERT_NE(images[2], nullptr);
    freeZVImageDataArray(images, 4);
    for (ZVImage *entry : images) EXPECT_EQ(entry, nullptr);
}

TEST(ZVImageRelease, ArrayCountLimitsTheEntries) {
    const uint8_t bytes[4] = {};
    ZVImage *images[2] = {creatZVImageWithGrayData(bytes, 2, 2), creatZVImage(1, 1)};
    freeZVImageDataArray(images, 1);
    EXPECT_EQ(images[0], nullptr);
    ASSERT_NE(images[1], nullptr);
    freeZVImageDataArray(images + 1, 1);
    EXPECT_EQ(images[1], nullptr);
}

}  // namespace
