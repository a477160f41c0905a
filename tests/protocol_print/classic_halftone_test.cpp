// The classic chain: refusals, its stages' arithmetic and the whole chain on
// a small page.
#include "protocol_print/classic_halftone.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(ClassicHalftone, RefusesAWidthThatIsNotWholeBytes) {
    std::vector<uint8_t> rgb(12 * 2 * 3, 0), packed(3, 0x5A);
    EXPECT_EQ(0, rgb2PrintData(rgb.data(), packed.data(), 12, 2, nullptr, nullptr, nullptr, nullptr, nullptr,
                               creatDefaultPrintParam(), nullptr));
    EXPECT_EQ(std::vector<uint8_t>(3, 0x5A), packed);
    EXPECT_EQ(0, rgb2PrintData(nullptr, packed.data(), 16, 2, nullptr, nullptr, nullptr, nullptr, nullptr,
                               creatDefaultPrintParam(), nullptr));
}

TEST(ClassicHalftone, WhiteRgbIsGray254) {
    const std::vector<uint8_t> rgb = {255, 255, 255, 0, 0, 0, 10, 200, 30};
    std::vector<uint8_t> g(3);
    rgb2Gray(rgb.data(), 3, 1, g.data());
    EXPECT_EQ((std::vector<uint8_t>{254, 0, static_cast<uint8_t>((10 * 0.2989f + 200 * 0.587f) + 30 * 0.114f)}), g);
}

TEST(ClassicHalftone, QuantisationOfOnePixel) {
    int32_t error = 0;
    EXPECT_EQ(0x90, getGray16DiffFromErrDiff(0x9C, &error));
    EXPECT_EQ(12, error);
    EXPECT_EQ(0, getBinDiffFromErrDiff(100, 100, &error));
    EXPECT_EQ(100, error);
    EXPECT_EQ(255, getBinDiffFromErrDiff(101, 100, &error));
    EXPECT_EQ(-154, error);
}

TEST(ClassicHalftone, TwoLevelDiffusionAtThresholdZeroUses127) {
    for (const auto &c : std::vector<std::pair<uint8_t, uint8_t>>{{127, 0}, {128, 255}}) {
        std::vector<uint8_t> pixel = {c.first};
        errDiffImg(pixel.data(), 1, 1, 0, 1, 0);
        EXPECT_EQ(c.second, pixel[0]) << int(c.first);
    }
    std::vector<uint8_t> untouched = {100, 100};
    errDiffImg(untouched.data(), 2, 1, 2, 1, 0);  // no such method
    errDiffImg(untouched.data(), 2, 1, 0, 3, 0);  // no such level count
    EXPECT_EQ((std::vector<uint8_t>{100, 100}), untouched);
}

// Stucki shares of an error of 42 from pixel (1, 0) of a 4 x 3 page of 100:
// 8 and 4 along the row; 2, 4, 8, 4, 2 and 1, 2, 4, 2, 1 on the next rows,
// except into column 0.
TEST(ClassicHalftone, StuckiSharesSkipColumnZero) {
    std::vector<uint8_t> page(4 * 3, 100);
    m3errDiff(page.data(), 4, 3, 1, 0, 42);
    EXPECT_EQ((std::vector<uint8_t>{100, 100, 108, 104,  //
                                    100, 108, 104, 102,  //
                                    100, 104, 102, 101}),
              page);
    std::vector<uint8_t> floyd(4 * 2, 100);
    m2errDiff(floyd.data(), 4, 2, 1, 0, 16);
    EXPECT_EQ((std::vector<uint8_t>{100, 100, 107, 100, 100, 105, 101, 100}), floyd);
}

TEST(ClassicHalftone, BestThresholdIsTheFirstOfEqualScores) {
    std::vector<uint8_t> page(8 * 4, 50);
    std::fill(page.begin() + 16, page.end(), 200);
    EXPECT_EQ(50, getBestThreshold(page.data(), 8, 4));
    const std::vector<uint8_t> flat(16, 77);
    EXPECT_EQ(0, getBestThreshold(flat.data(), 16, 1));
}

// No region count from 30 to 255 divides 2056 (8 x 257): the equalisation is
// passed through instead of searching on with a wrapped counter.
TEST(ClassicHalftone, EqualisationWithoutADividingRegionCountPassesThrough) {
    const uint32_t w = 2056, h = 30;
    std::vector<uint8_t> source(w * h), out(w * h, 0);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 13);
    imageHeightenHistogram(source.data(), out.data(), w, h, 30, 30, 128, 2);
    EXPECT_EQ(source, out);
}

TEST(ClassicHalftone, TurnBy180DegreesReversesBytesAndBits) {
    EXPECT_EQ(0x80, invertHex(0x01));
    EXPECT_EQ(0x0D, invertHex(0xB0));
    std::vector<uint8_t> odd = {0x01, 0x02, 0x03};
    invertDirection(odd.data(), odd.size());
    EXPECT_EQ((std::vector<uint8_t>{0xC0, 0x40, 0x80}), odd);
}

// A 16 x 4 page, black upper half: the chain as the print path runs it
// (sharpening, equalisation, Stucki with the searched threshold) keeps it, and the print record packs,
// complements and turns it.
TEST(ClassicHalftone, WholeChainOnAHalfBlackPage) {
    std::vector<uint8_t> rgb(16 * 4 * 3, 255);
    std::fill(rgb.begin(), rgb.begin() + 16 * 2 * 3, 0);
    const SharpeningParam sharpen = creatDefaultSharpeningParam();
    HistogramParam histogram = creatDefaultHistogramParam();
    histogram.regionsX = histogram.regionsY = 30;
    histogram.clipLimit = 2;
    const ErrDiffParam diffusion = creatDefaultErrDiffParam();
    struct Case {
        int32_t invert, reverse;
        std::vector<uint8_t> packed;
    };
    for (const Case &c : std::vector<Case>{{0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
                                           {0, 1, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
                                           {1, 0, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}}}) {
        PrintParam print = creatDefaultPrintParam();
        print.invert = c.invert;
        print.reverse = c.reverse;
        std::vector<uint8_t> packed(8, 0);
        ASSERT_EQ(1, rgb2PrintData(rgb.data(), packed.data(), 16, 4, nullptr, nullptr, &sharpen, &histogram, &diffusion,
                                   print, nullptr));
        EXPECT_EQ(c.packed, packed) << c.invert << c.reverse;
    }
}

}  // namespace
