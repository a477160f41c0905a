// The encoders' shared helpers: the formatted append at and beyond its stack
// buffer, and the zlib band loop's cover of the bitmap.
#include "encoders/encoder_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/encoders/encoder_fixture.h"

namespace zvtest {
namespace {

TEST(AppendFormatted, AppendsTheWholeTextAtAnyLength) {
    // The stack buffer holds 159 characters and the terminator; longer text
    // takes the second formatting.
    for (const size_t length : {0u, 1u, 158u, 159u, 160u, 161u, 1000u}) {
        const std::string text(length, 'x');
        Output array(dynamic_array_init(2));
        dynamic_array_push_string(array.get(), "^");
        const size_t appended = zvenc::appendFormatted(array.get(), "%s|%d", text.c_str(), 42);
        EXPECT_EQ(appended, length + 3) << length;
        EXPECT_EQ(textOfArray(array.get()), "^" + text + "|42") << length;
    }
}

TEST(CutZlibBands, BandsCoverTheBitmapTopToBottomUnderTheLimits) {
    const struct {
        long width, height;
        uint64_t rawLimit, packedLimit;
    } cases[] = {
        {64, 40, 300000, 64000},  // one band
        {64, 40, 100, 64000},     // raw limit: 12 rows a band at most
        {64, 40, 8, 64000},       // tighter than one row: one row a band
        {832, 300, 4000, 300},    // both limits, noise that does not shrink
    };
    for (const auto &c : cases) {
        const long widthBytes = c.width / 8;
        std::vector<unsigned char> bitmap(static_cast<size_t>(widthBytes * c.height));
        uint32_t state = 7;
        for (auto &b : bitmap) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<unsigned char>(state >> 24);
        }
        PrinterSettings s = labelSettings();
        s.noCompressieLimit = c.rawLimit;
        s.compressieLimit = c.packedLimit;
        uint64_t next = 0;
        std::vector<unsigned char> inflated;
        const bool done =
            zvenc::cutZlibBands(c.width, c.height, widthBytes, bitmap.data(), &s, [&](const zvenc::ZlibBand &band) {
                EXPECT_EQ(band.firstByte, next);
                EXPECT_EQ(band.bytes, band.rows * widthBytes);
                EXPECT_GT(band.rows, 0);
                if (band.rows > 1) {
                    EXPECT_LT(static_cast<uint64_t>(band.bytes), c.rawLimit);
                    EXPECT_LT(band.compressedLength, c.packedLimit);
                }
                std::vector<unsigned char> rows(static_cast<size_t>(band.bytes));
                uLongf size = rows.size();
                EXPECT_EQ(Z_OK, uncompress(rows.data(), &size, band.compressed, band.compressedLength));
                inflated.insert(inflated.end(), rows.begin(), rows.end());
                next += static_cast<uint64_t>(band.bytes);
            });
        EXPECT_TRUE(done);
        EXPECT_EQ(next, bitmap.size()) << c.width << "x" << c.height;
        EXPECT_EQ(inflated, bitmap) << c.width << "x" << c.height;
    }
}

}  // namespace
}  // namespace zvtest
