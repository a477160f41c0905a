// The PhotoEffect option on a page buffer: the values offered, the padding
// columns, and a page the effect cannot get memory for.
#include "page/photo_effect.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/effects.h"

namespace {

std::vector<unsigned char> stripes(long width, long height) {
    std::vector<unsigned char> page(static_cast<size_t>(width * height));
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<unsigned char>((i % 37) * 7);
    return page;
}

TEST(PhotoEffectOption, ValuesOffered) {
    const int expected[] = {-1,
                            kZVFilterLineDraft,
                            kZVFilterLineDraft2,
                            kZVFilterLineDraft3,
                            kZVFilterLineDraft4,
                            kZVFilterSketch,
                            kZVFilterSketch2,
                            kZVFilterText,
                            kZVFilterBlackWhite,
                            kZVFilterNegativeFilm};
    for (int value = 0; value < 10; ++value) EXPECT_EQ(photoEffectFilter(value), expected[value]) << value;
    for (int value : {-1, 10, 3 + 65536}) EXPECT_EQ(photoEffectFilter(value), -1) << value;
}

// The page is 24 wide, the picture 21: the negative must leave the three
// padding columns white, and give the picture what the effect gives it alone.
TEST(PhotoEffectOption, PictureColumnsOnly) {
    std::vector<unsigned char> page = stripes(24, 5);
    for (long y = 0; y < 5; ++y) {
        for (long x = 21; x < 24; ++x) page[static_cast<size_t>(y * 24 + x)] = 255;
    }
    std::vector<unsigned char> picture;
    for (long y = 0; y < 5; ++y) picture.insert(picture.end(), page.begin() + y * 24, page.begin() + y * 24 + 21);
    ASSERT_EQ(applyFilterToGrayData(picture.data(), 21, 5, kZVFilterNegativeFilm), 0);

    ASSERT_TRUE(applyPhotoEffect(page.data(), 24, 5, 21, 9));
    for (long y = 0; y < 5; ++y) {
        for (long x = 0; x < 24; ++x) {
            const unsigned char want = x < 21 ? picture[static_cast<size_t>(y * 21 + x)] : 255;
            ASSERT_EQ(page[static_cast<size_t>(y * 24 + x)], want) << x << "," << y;
        }
    }
    const std::vector<unsigned char> before = stripes(16, 4);
    std::vector<unsigned char> none = before;
    EXPECT_TRUE(applyPhotoEffect(none.data(), 16, 4, 16, 0));
    EXPECT_EQ(none, before);
}

TEST(PhotoEffectOption, NoMemoryKeepsThePageAndWarnsOnce) {
    unsigned char page[4] = {1, 2, 3, 4};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(applyPhotoEffect(page, 0xFFFFFFFFL, 0xFFFFFFFFL, 0xFFFFFFFFL, 5));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "WARNING: Not enough memory for the photo effect; the page is printed without it\n");
    EXPECT_EQ(std::vector<unsigned char>(page, page + 4), (std::vector<unsigned char>{1, 2, 3, 4}));
}

}  // namespace
