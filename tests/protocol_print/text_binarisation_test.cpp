// Text-aware binarisation: page and band classification, the band walk over
// blank rows, the tone curves and diffusions, and the packing.
#include "protocol_print/text_binarisation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol_print/single_color.h"

namespace {

bool binary(const std::vector<uint8_t> &page) {
    return std::all_of(page.begin(), page.end(), [](uint8_t v) { return v == 0 || v == 255; });
}

TEST(TextBinarisation, WhitePageStaysWhiteAndPacksToZeros) {
    std::vector<uint8_t> page(32 * 4, 255);
    EXPECT_EQ(1, isText(page.data(), 32, 4));
    EXPECT_EQ(0, zv_cq_img2bin(page.data(), 32, 4, 6));
    EXPECT_EQ(std::vector<uint8_t>(32 * 4, 255), page);
    uint64_t count = 0;
    uint8_t *packed = zv_BinImg2PrinterData(page.data(), 32, 4, &count);
    ASSERT_NE(nullptr, packed);
    EXPECT_EQ(16u, count);
    EXPECT_EQ(std::vector<uint8_t>(16, 0), std::vector<uint8_t>(packed, packed + count));
    std::free(packed);
}

TEST(TextBinarisation, HalfBlackHalfWhiteIsTextAndReproducedExactly) {
    std::vector<uint8_t> page(16 * 2, 255);
    std::fill(page.begin(), page.begin() + 16, 0);
    const std::vector<uint8_t> before = page;
    EXPECT_EQ(1, isText(page.data(), 16, 2));
    const uint32_t state = getSingleColorRandState();
    EXPECT_EQ(0, zv_cq_img2bin(page.data(), 16, 2, 6));
    EXPECT_EQ(before, page);
    EXPECT_EQ(state, getSingleColorRandState()) << "text is diffused, not dithered";
}

TEST(TextBinarisation, FlatMidGrayIsAPictureDitheredToAboutSixtyThreePercentWhite) {
    std::vector<uint8_t> page(64 * 64, 128);
    EXPECT_EQ(0, isText(page.data(), 64, 64));
    setSingleColorRandState(1);
    EXPECT_EQ(0, zv_cq_img2bin(page.data(), 64, 64, 6));
    ASSERT_TRUE(binary(page));
    const double white = std::count(page.begin(), page.end(), 255) / double(page.size());
    EXPECT_NEAR(white, 0.63, 0.05);
}

// A page judged a picture as a whole: two bands of content between blank rows
// (253 and 254 count as blank). The blank rows come out pure white and each
// band is binarised as if it were alone, first and last row included.
TEST(TextBinarisation, BandsBetweenBlankRowsAreBinarisedOnTheirOwn) {
    const uint32_t w = 24;
    std::vector<uint8_t> photo(w * 6), text(w * 3, 255);
    for (size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<uint8_t>(60 + (i * 37) % 120);
    for (uint32_t x = 0; x < w; x += 3) text[w + x] = 0;  // a dotted line on its middle row
    std::vector<uint8_t> page = photo;                    // rows 0..5: the picture, from the first row
    page.insert(page.end(), w, 253);
    page.insert(page.end(), w, 254);
    page.insert(page.end(), w, 255);
    page.insert(page.end(), text.begin(), text.end());  // rows 9..11: the text, to the last row
    const uint32_t h = static_cast<uint32_t>(page.size() / w);
    ASSERT_EQ(0, isText(page.data(), w, h));

    setSingleColorRandState(99);
    ASSERT_EQ(0, zv_cq_img2bin(page.data(), w, h, 6));
    setSingleColorRandState(99);
    ASSERT_EQ(0, zv_img2bin(photo.data(), w, 6, 6));
    ASSERT_EQ(0, zv_img2bin(text.data(), w, 3, 6));

    std::vector<uint8_t> expected = photo;
    expected.insert(expected.end(), 3 * w, 255);
    expected.insert(expected.end(), text.begin(), text.end());
    EXPECT_EQ(expected, page);
    EXPECT_TRUE(binary(page));
}

TEST(TextBinarisation, TextTypeNeverDithersNorCutsTheFlatGrayPage) {
    std::vector<uint8_t> page(32 * 8, 128), again(32 * 8, 128);
    const uint32_t state = getSingleColorRandState();
    EXPECT_EQ(0, zv_cq_img2bin(page.data(), 32, 8, ZVImagePrintEffectTypeText));
    EXPECT_EQ(state, getSingleColorRandState());
    EXPECT_TRUE(binary(page));
    // The Stucki diffusion is deterministic: the same page gives the same dots.
    EXPECT_EQ(0, zv_cq_img2bin(again.data(), 32, 8, ZVImagePrintEffectTypeText));
    EXPECT_EQ(page, again);
}

// Type 8 lifts the highlights before anything else. Half black, half 245:
// text either way; lifted, the light half is paper white and nothing is left
// to diffuse, while the default type diffuses its tone into scattered dots.
TEST(TextBinarisation, TattooTypeLiftsHighlightsFirst) {
    const uint32_t w = 64, h = 16;
    std::vector<uint8_t> page(w * h, 245);
    for (uint32_t y = 0; y < h; ++y) std::fill(page.begin() + y * w, page.begin() + y * w + w / 2, 0);
    std::vector<uint8_t> tattoo = page, plain = page;
    EXPECT_EQ(0, zv_cq_img2bin(tattoo.data(), w, h, ZVImagePrintEffectTypeTattoo));
    std::vector<uint8_t> expected = page;
    std::replace(expected.begin(), expected.end(), uint8_t{245}, uint8_t{255});
    EXPECT_EQ(expected, tattoo);
    EXPECT_EQ(0, zv_cq_img2bin(plain.data(), w, h, 6));
    EXPECT_NE(expected, plain);
}

TEST(TextBinarisation, PackingTakesTheTopBitOfTheComplement) {
    const std::vector<uint8_t> pixels = {0, 255, 0, 255, 255, 255, 255, 0};
    uint64_t count = 7;
    uint8_t *packed = zv_BinImg2PrinterData(pixels.data(), 8, 1, &count);
    ASSERT_NE(nullptr, packed);
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0xA1, packed[0]);
    std::free(packed);
    EXPECT_EQ(nullptr, zv_BinImg2PrinterData(pixels.data(), 4, 2, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(nullptr, zv_BinImg2PrinterData(nullptr, 8, 1, &count));
}

TEST(TextBinarisation, MissingRowsAreRefused) {
    EXPECT_EQ(-1, isText(nullptr, 8, 8));
    EXPECT_EQ(-1, zv_img2bin(nullptr, 8, 8, 6));
    EXPECT_EQ(-1, zv_cq_img2bin(nullptr, 8, 8, 6));
    EXPECT_EQ(-1, zv_imgdiff(nullptr, 8, 8));
}

}  // namespace
