// Two-colour TSPL encoder: the colour split, the plane orders, compressed planes
// and the row pitch of the page buffer.
#include "encoders/tspl_two_color.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/label_settings.h"
#include "tests/support/tspl_stream.h"

namespace {

using zvtest::BytesEqual;
using zvtest::bytesOf;
using zvtest::join;

using ArrayPtr = DynamicArrayPtr;

// A small two-colour label without a media line, so the expected setup stays short.
PrinterSettings labelSettings() {
    PrinterSettings s = zvtest::labelSettings();
    s.widthMM = 10;
    s.heightMM = 5;
    s.mediaTracking = 255;
    s.printSpeed = 3;
    s.darkness = 9;
    s.colourDarkness = 5;
    return s;
}

using Rgba = std::array<uint8_t, 4>;

std::vector<uint8_t> rgbaPage(long width, long height, Rgba fill) {
    std::vector<uint8_t> page(static_cast<size_t>(width * height * 4));
    for (size_t i = 0; i < page.size(); i += 4) std::copy(fill.begin(), fill.end(), page.begin() + i);
    return page;
}

void setPixel(std::vector<uint8_t> &page, long width, long x, long y, Rgba value) {
    std::copy(value.begin(), value.end(), page.begin() + (y * width + x) * 4);
}

std::vector<uint8_t> bytes(const dynamic_array *array) {
    return std::vector<uint8_t>(array->data, array->data + array->size);
}

std::vector<zvtest::TsplItem> encode(std::vector<uint8_t> &page, long bytesPerLine, long width, long height,
                                     const PrinterSettings &settings) {
    PrinterSettings s = settings;
    ArrayPtr out(getTSPLTwoColorPrintData(page.data(), bytesPerLine, width, height, &s));
    if (out == nullptr) return {};
    return zvtest::parseTspl(bytes(out.get()));
}

const std::string kSetup =
    "SIZE 10mm,5mm\r\nSPEED 3\r\nDENSITY 9\r\nDIRECTION 0,0\r\nREFERENCE 0,0\r\nOFFSET 0.000\r\nSHIFT 0\r\n"
    "SET PEEL OFF\r\nSET CUTTER OFF\r\nSET PARTIAL_CUTTER OFF\r\nSET TEAR ON\r\nCLS\r\n";

TEST(TsplTwoColor, PixelsGoToTheirPlanes) {
    struct Case {
        Rgba pixel;
        bool black, red;
    };
    const Case cases[] = {
        {{200, 30, 30, 255}, false, true},    {{100, 20, 20, 254}, true, true},  {{90, 90, 90, 255}, true, false},
        {{200, 200, 200, 255}, false, false}, {{0, 0, 0, 0}, false, false},      {{100, 104, 107, 255}, true, false},
        {{100, 20, 20, 255}, false, true},    {{140, 20, 20, 128}, false, true}, {{179, 179, 179, 1}, true, false},
        {{180, 185, 187, 255}, false, false},
    };
    for (const Case &c : cases) {
        // Pixel 0 is the case, the rest transparent; the page is one row of 8.
        auto page = rgbaPage(8, 1, {0, 0, 0, 0});
        setPixel(page, 8, 0, 0, c.pixel);
        const auto items = encode(page, 32, 8, 1, labelSettings());
        ASSERT_EQ(17u, items.size());
        const std::string where = std::to_string(c.pixel[0]) + "," + std::to_string(c.pixel[1]) + "," +
                                  std::to_string(c.pixel[2]) + "," + std::to_string(c.pixel[3]);
        EXPECT_EQ("SETCOLOR BLACK", items[12].line);
        EXPECT_EQ(std::vector<uint8_t>{static_cast<uint8_t>(c.black ? 0x7F : 0xFF)}, items[13].data) << where;
        EXPECT_EQ("SETCOLOR RED 5", items[14].line);
        EXPECT_EQ(std::vector<uint8_t>{static_cast<uint8_t>(c.red ? 0x7F : 0xFF)}, items[15].data) << where;
    }
}

TEST(TsplTwoColor, PlaneOrderFollowsColorPrintModel) {
    // 8 x 2: pixel 0 of row 0 black, pixel 7 of row 1 red, the rest white.
    auto page = rgbaPage(8, 2, {255, 255, 255, 255});
    setPixel(page, 8, 0, 0, {0, 0, 0, 255});
    setPixel(page, 8, 7, 1, {220, 0, 0, 255});
    const auto black =
        join({bytesOf("SETCOLOR BLACK\r\nBITMAP 0,0,1,2,0,"), zvtest::hexBytes("7F FF"), bytesOf("\r\n")});
    const auto red = join({bytesOf("SETCOLOR RED 5\r\nBITMAP 0,0,1,2,0,"), zvtest::hexBytes("FF FE"), bytesOf("\r\n")});
    const auto both =
        join({bytesOf("SETCOLOR BLACK\r\nBITMAP 0,0,1,2,0,"), zvtest::hexBytes("7F FE"), bytesOf("\r\n")});
    struct Case {
        int32_t model;
        std::vector<uint8_t> bitmaps;
    };
    const Case cases[] = {{0, join({black, red})}, {1, black}, {2, red}, {3, both}, {4, {}}};
    for (const Case &c : cases) {
        for (int mode = 0; mode <= 5; ++mode) {
            PrinterSettings s = labelSettings();
            s.colorPrintModel = c.model;
            s.printMode = static_cast<int16_t>(mode);
            ArrayPtr out(getTSPLTwoColorPrintData(page.data(), 32, 8, 2, &s));
            ASSERT_NE(nullptr, out);
            EXPECT_TRUE(BytesEqual(join({bytesOf(kSetup), c.bitmaps, bytesOf("PRINT 1,1\r\n")}), bytes(out.get())))
                << "colorPrintModel " << c.model << " printMode " << mode;
        }
    }
}

TEST(TsplTwoColor, CompressedPlanesSendAllBlackBandsThenAllRedBands) {
    // 64 x 32, black left half, red right half; a limit that cuts each plane in two.
    const long width = 64, height = 32;
    auto page = rgbaPage(width, height, {255, 255, 255, 255});
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            setPixel(page, width, x, y, x < 32 ? Rgba{0, 0, 0, 255} : Rgba{255, 0, 0, 255});
    PrinterSettings s = labelSettings();
    s.isCompressie = 1;
    s.vertical = 7;
    s.noCompressieLimit = 129;  // 16 rows of 8 bytes
    const auto items = encode(page, width * 4, width, height, s);
    ASSERT_EQ(12u + 1 + 2 + 1 + 2 + 1, items.size());
    EXPECT_EQ("SETCOLOR BLACK", items[12].line);
    EXPECT_EQ("SETCOLOR RED 5", items[15].line);
    const std::vector<uint8_t> blackRow = zvtest::hexBytes("00000000 FFFFFFFF");
    const std::vector<uint8_t> redRow = zvtest::hexBytes("FFFFFFFF 00000000");
    for (int plane = 0; plane < 2; ++plane) {
        for (int band = 0; band < 2; ++band) {
            const auto &item = items[13 + plane * 3 + band];
            ASSERT_TRUE(item.isBitmap);
            EXPECT_EQ(3, item.mode);
            EXPECT_EQ(7 + band * 16, item.y);
            EXPECT_EQ(16, item.height);
            std::vector<uint8_t> expected;
            for (int row = 0; row < 16; ++row) {
                const auto &r = plane == 0 ? blackRow : redRow;
                expected.insert(expected.end(), r.begin(), r.end());
            }
            EXPECT_TRUE(BytesEqual(expected, zvtest::inflateExactly(item.data, 128))) << plane << "/" << band;
        }
    }
    EXPECT_EQ("PRINT 1,1", items.back().line);
}

// The page loop hands the raster's bytes per line, but the buffer rows are
// 4 * width bytes apart: after rounding up to 8 pixels and after a width clip.
TEST(TsplTwoColor, RowsAreReadAtTheBufferPitch) {
    struct Case {
        const char *name;
        long bytesPerLine, width;
    };
    // A 13-pixel raster rounded up to 16; a 100-pixel raster clipped to 16.
    for (const Case &c : {Case{"rounded", 13 * 4, 16}, Case{"clipped", 100 * 4, 16}}) {
        const long height = 12;
        // Exactly the buffer's size, so a read past it shows under the sanitizer.
        auto page = rgbaPage(c.width, height, {255, 255, 255, 255});
        for (long y = 0; y < height; ++y) setPixel(page, c.width, y, y, {0, 0, 0, 255});   // a diagonal
        if (c.width * 4 > c.bytesPerLine) setPixel(page, c.width, 14, 0, {0, 0, 0, 255});  // padding: ignored
        PrinterSettings s = labelSettings();
        s.colorPrintModel = 1;
        const auto items = encode(page, c.bytesPerLine, c.width, height, s);
        ASSERT_EQ(15u, items.size()) << c.name;
        std::vector<uint8_t> expected;
        for (long y = 0; y < height; ++y) {
            const uint16_t row = static_cast<uint16_t>(~(0x8000u >> y));
            expected.push_back(static_cast<uint8_t>(row >> 8));
            expected.push_back(static_cast<uint8_t>(row & 0xFF));
        }
        EXPECT_TRUE(BytesEqual(expected, items[13].data)) << c.name;
    }
}

}  // namespace
