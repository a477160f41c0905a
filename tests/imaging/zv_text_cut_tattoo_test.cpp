#include "imaging/zv_text_cut_tattoo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "tests/support/owned_handles.h"

namespace {

using ImagePtr = zvtest::ImagePtr;

// A gray plane made of runs of (count, level).
std::vector<uint8_t> levels(std::initializer_list<std::pair<int, uint8_t>> runs) {
    std::vector<uint8_t> gray;
    for (const auto &run : runs) gray.insert(gray.end(), static_cast<size_t>(run.first), run.second);
    return gray;
}

TEST(IsWhiteLine, CountsFrom253) {
    const uint8_t blank[3] = {253, 254, 255};
    const uint8_t content[3] = {255, 252, 255};
    EXPECT_EQ(isWhiteLine(blank, 3), 1);
    EXPECT_EQ(isWhiteLine(content, 3), 0);
    EXPECT_EQ(isWhiteLine(content, 1), 1);
    EXPECT_EQ(isWhiteLine(nullptr, 0), 1);
    EXPECT_EQ(isWhiteLine(nullptr, 4), 0);
}

TEST(IsText, ClassifiesByHistogram) {
    struct Case {
        const char *name;
        std::vector<uint8_t> gray;
        int text;
    };
    const Case cases[] = {
        {"white paper", levels({{200, 255}}), 0},
        {"few black characters", levels({{190, 255}, {10, 0}}), 1},
        {"too few dark pixels", levels({{195, 255}, {5, 0}}), 0},
        {"light, no peak, dark", levels({{100, 255}, {60, 240}, {40, 0}}), 1},
        {"light, no peak, no dark", levels({{100, 255}, {100, 245}}), 1},
        {"mid-gray photograph", levels({{200, 128}}), 0},
        {"bright with much mid gray", levels({{100, 255}, {100, 128}}), 0},
        // A peak needs more than 80 % in one level.
        {"exactly 80 % is no peak", levels({{160, 255}, {40, 240}}), 1},
        {"over 80 % is a peak", levels({{161, 255}, {39, 240}}), 0},
        // Step 2 needs both bright below 45 % and top below 40 %.
        {"top at 40 %", levels({{80, 255}, {120, 0}}), 1},
        {"top below 40 %", levels({{79, 255}, {121, 0}}), 0},
    };
    for (const Case &c : cases) {
        ImagePtr image(creatZVImageWithGrayData(c.gray.data(), 20, 10));
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(ZVImageIsText(image.get()), c.text) << c.name;
    }
    EXPECT_EQ(ZVImageIsText(nullptr), 0);
    ImagePtr noGray(creatZVImage(4, 4));
    EXPECT_EQ(ZVImageIsText(noGray.get()), 0);
}

TEST(CutImage, ThreeBandsAtBlankBoundaries) {
    const uint32_t width = 6;
    std::vector<uint8_t> gray(width * 100, 255);
    for (uint32_t y = 10; y < 50; ++y) gray[y * width + (y % width)] = static_cast<uint8_t>(y);
    gray[0] = 253;  // still blank
    gray[51 * width] = 254;
    ImagePtr image(creatZVImageWithGrayData(gray.data(), width, 100));
    image->rgbaData = static_cast<uint8_t *>(std::calloc(width * 100 * 4, 1));

    uint32_t count = 99;
    ZVImage **bands = ZVImageCutImage(image.get(), &count);
    ASSERT_NE(bands, nullptr);
    ASSERT_EQ(count, 3u);
    const uint32_t heights[3] = {10, 40, 50};
    size_t offset = 0;
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_NE(bands[i], nullptr);
        EXPECT_EQ(bands[i]->width, width);
        EXPECT_EQ(bands[i]->height, heights[i]);
        const size_t size = static_cast<size_t>(width) * heights[i];
        EXPECT_EQ(std::vector<uint8_t>(bands[i]->grayData, bands[i]->grayData + size),
                  std::vector<uint8_t>(gray.begin() + offset, gray.begin() + offset + size));
        EXPECT_EQ(bands[i]->rgbaData, nullptr);  // bands carry only gray
        offset += size;
    }
    freeZVImageDataArray(bands, count);
    std::free(bands);
}

TEST(CutImage, NoBlankRowGivesTheWholePage) {
    const std::vector<uint8_t> gray = {0, 255, 255, 252, 10, 20};
    ImagePtr image(creatZVImageWithGrayData(gray.data(), 2, 3));
    ASSERT_EQ(ZVImageConvertGray2RGBA(image.get()), 0);
    uint32_t count = 0;
    ZVImage **bands = ZVImageCutImage(image.get(), &count);
    ASSERT_NE(bands, nullptr);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(bands[0]->height, 3u);
    EXPECT_EQ(std::vector<uint8_t>(bands[0]->grayData, bands[0]->grayData + 6), gray);
    EXPECT_NE(bands[0]->rgbaData, nullptr);  // a deep copy keeps every plane
    freeZVImageDataArray(bands, count);
    std::free(bands);
}

TEST(CutImage, AllBlankAndAlternatingRows) {
    struct Case {
        std::vector<uint8_t> gray;  // width 2
        std::vector<uint32_t> heights;
    };
    const Case cases[] = {
        {{255, 255, 254, 253}, {2}},
        {{255, 255, 0, 0, 255, 255, 0, 0}, {1, 1, 1, 1}},
        {{9, 9, 255, 255, 255, 255}, {1, 2}},
    };
    for (const Case &c : cases) {
        ImagePtr image(creatZVImageWithGrayData(c.gray.data(), 2, static_cast<uint32_t>(c.gray.size() / 2)));
        uint32_t count = 0;
        ZVImage **bands = ZVImageCutImage(image.get(), &count);
        ASSERT_NE(bands, nullptr);
        ASSERT_EQ(count, c.heights.size());
        for (uint32_t i = 0; i < count; ++i) EXPECT_EQ(bands[i]->height, c.heights[i]);
        freeZVImageDataArray(bands, count);
        std::free(bands);
    }
}

TEST(CutImage, RefusesMissingInput) {
    EXPECT_EQ(ZVImageCutImage(nullptr, nullptr), nullptr);
    uint32_t count = 7;
    EXPECT_EQ(ZVImageCutImage(nullptr, &count), nullptr);
    EXPECT_EQ(count, 0u);
    ImagePtr noGray(creatZVImage(3, 3));
    count = 7;
    EXPECT_EQ(ZVImageCutImage(noGray.get(), &count), nullptr);
    EXPECT_EQ(count, 0u);
    const uint8_t gray[1] = {0};
    ImagePtr image(creatZVImageWithGrayData(gray, 1, 1));
    EXPECT_EQ(ZVImageCutImage(image.get(), nullptr), nullptr);
}

// --- tattoo line -----------------------------------------------------------

ImagePtr blankPacked(uint32_t width, uint32_t height) {
    std::vector<uint8_t> packed(zvImagePackedSize(width, height), 0);
    return ImagePtr(creatZVImageWithPixByteData(packed.data(), width, height));
}

bool dotAt(const ZVImage *image, uint32_t x, uint32_t y) {
    const uint64_t i = static_cast<uint64_t>(y) * image->width + x;
    return (image->pixByteData[i >> 3] & (0x80u >> (i & 7))) != 0;
}

// Columns of the dots in row y as [first, last] ranges.
std::vector<std::pair<uint32_t, uint32_t>> dotRuns(const ZVImage *image, uint32_t y) {
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (uint32_t x = 0; x < image->width; ++x) {
        if (!dotAt(image, x, y)) continue;
        if (!runs.empty() && runs.back().second + 1 == x) {
            runs.back().second = x;
        } else {
            runs.push_back({x, x});
        }
    }
    return runs;
}

using Runs = std::vector<std::pair<uint32_t, uint32_t>>;

TEST(TattooLine, Row120On384By200) {
    ImagePtr image = blankPacked(384, 200);
    image->pixByteData[0] = 0x81;  // existing dots stay
    ASSERT_EQ(ZVImageAddTattooLine(image.get(), 120), 0);
    ASSERT_EQ(image->height, 216u);
    const Runs corner = {{32, 55}, {328, 351}};
    const Runs line = {{32, 39}, {344, 351}};
    EXPECT_EQ(dotRuns(image.get(), 0), (Runs{{0, 0}, {7, 7}}));
    for (uint32_t y = 1; y < 216; ++y) {
        Runs expected;
        if ((y >= 104 && y <= 111) || y >= 208)
            expected = corner;
        else if (y >= 112 && y <= 207)
            expected = line;
        EXPECT_EQ(dotRuns(image.get(), y), expected) << "row " << y;
    }
    // Packed row layout: 48 bytes per row, the line is byte 4 and byte 43.
    EXPECT_EQ(image->pixByteData[150 * 48 + 4], 0xFF);
    EXPECT_EQ(image->pixByteData[150 * 48 + 43], 0xFF);
}

TEST(TattooLine, ZigzagSegment) {
    // 296 rows, r 120: H 312, L 144, q 16, z 1.
    ImagePtr image = blankPacked(384, 296);
    ASSERT_EQ(ZVImageAddTattooLine(image.get(), 120), 0);
    ASSERT_EQ(image->height, 312u);
    const auto left = [](uint32_t x) { return Runs{{x, x + 7}, {384 - 8 - x, 384 - 1 - x}}; };
    struct Case {
        uint32_t row;
        uint32_t column;
    };
    const Case cases[] = {
        {112, 32}, {143, 32},                                                         // upper straight part, 32 rows
        {144, 32}, {146, 32}, {147, 31}, {150, 31}, {151, 30}, {206, 17}, {207, 16},  // drifted left by 16
        {208, 16}, {211, 17}, {270, 31}, {271, 32},                                   // and back
        {272, 32}, {303, 32},                                                         // lower straight part, 32 rows
    };
    for (const Case &c : cases) EXPECT_EQ(dotRuns(image.get(), c.row), left(c.column)) << "row " << c.row;
    EXPECT_EQ(dotRuns(image.get(), 304), (Runs{{32, 55}, {328, 351}}));
    EXPECT_EQ(dotRuns(image.get(), 103), Runs{});
}

TEST(TattooLine, Refusals) {
    struct Case {
        uint32_t width, height, r;
    };
    const Case cases[] = {
        {384, 160, 200},  // height below r + 48
        {384, 167, 120},
        {104, 400, 120},  // narrower than 112
        {384, 200, 8},    // marks would start above the image
    };
    for (const Case &c : cases) {
        ImagePtr image = blankPacked(c.width, c.height);
        EXPECT_EQ(ZVImageAddTattooLine(image.get(), c.r), 1) << c.width << "x" << c.height;
        EXPECT_EQ(image->height, c.height);
        for (size_t i = 0; i < zvImagePackedSize(c.width, c.height); ++i) {
            ASSERT_EQ(image->pixByteData[i], 0);
        }
    }
    ImagePtr boundary = blankPacked(112, 168);
    EXPECT_EQ(ZVImageAddTattooLine(boundary.get(), 120), 0);
    EXPECT_EQ(boundary->height, 184u);

    ImagePtr noPlane(creatZVImage(384, 200));
    EXPECT_EQ(ZVImageAddTattooLine(noPlane.get(), 120), 1);
    EXPECT_EQ(noPlane->height, 200u);
    EXPECT_EQ(ZVImageAddTattooLine(nullptr, 120), 1);
}

TEST(TattooLine, UnalignedWidthStartsNewRowsBlank) {
    // 116 x 169 = 19604 pixels: the last byte holds 4 pixels and 4 spare bits,
    // which become pixels of the first added row.
    ImagePtr image = blankPacked(116, 169);
    ASSERT_EQ(ZVImagePixByteInvertColors(image.get()), 0);  // every bit set, spare bits too
    ASSERT_EQ(ZVImageAddTattooLine(image.get(), 120), 0);
    ASSERT_EQ(image->height, 185u);
    EXPECT_TRUE(dotAt(image.get(), 115, 168));
    EXPECT_EQ(dotRuns(image.get(), 169), (Runs{{32, 39}, {76, 83}}));
}

}  // namespace
