// The presets that run the custom pipeline: width padding or keeping, and
// the tattoo guide line only for addLine 1.
#include "imaging/presets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/imaging/gray_band.h"

namespace {

TEST(Presets, WidthIsPaddedToWholeBytesUnlessThePresetKeepsIt) {
    struct Case {
        uint32_t (*preset)(ZVImage *);
        uint32_t width;
    };
    // (A4SoftDark equalises every band, which a flat page cannot be.)
    for (const Case &c :
         {Case{getZVImageProcessingForA4, 104}, Case{getZVImageProcessingForA4Soft, 104},
          Case{getZVImageProcessingForA4BKInkejtText, 100}, Case{getZVImageProcessingForA4BKInkejtImageMixText, 100}}) {
        ImagePtr image = flatGray(255, 100, 20);
        ASSERT_EQ(0u, c.preset(image.get()));
        EXPECT_EQ(c.width, image->width);
        EXPECT_EQ(20u, image->height);
        const std::vector<uint8_t> dots(image->pixByteData,
                                        image->pixByteData + zvImagePackedSize(image->width, image->height));
        EXPECT_EQ(std::vector<uint8_t>(dots.size(), 0), dots) << "white columns added, no dots";
    }
}

TEST(Presets, TattooGuideLineOnlyForAddLineOne) {
    for (const auto &c : std::vector<std::pair<uint32_t, uint32_t>>{{0, 200}, {1, 216}, {2, 200}}) {
        ImagePtr image = flatGray(255, 160, 200);
        ASSERT_EQ(0u, getZVImageProcessingForA4Tattoo(image.get(), c.first, 120));
        EXPECT_EQ(c.second, image->height) << "addLine " << c.first;
    }
    EXPECT_EQ(1u, getZVImageProcessingForA4Tattoo(nullptr, 1, 120));
}

}  // namespace
