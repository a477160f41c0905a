#include "encoders/escpos.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/encoders/encoder_fixture.h"
#include "tests/support/golden.h"

namespace zvtest {
namespace {

PrinterSettings receiptSettings() {
    PrinterSettings s = labelSettings();
    s.resolution = 203;
    return s;
}

std::vector<uint8_t> esc(GrayPage &page, PrinterSettings settings) {
    Output out(getESCPrintData(page.data(), page.width, page.height, &settings));
    EXPECT_NE(out, nullptr);
    return bytesOfArray(out.get());
}

std::vector<uint8_t> zeros(size_t count) { return std::vector<uint8_t>(count, 0); }
std::vector<uint8_t> ones(size_t count) { return std::vector<uint8_t>(count, 0xFF); }

TEST(ESCPOSEncoder, WhiteTopAndBottomRowsAreCutAway) {
    GrayPage page(384, 200);
    page.fillRows(10, 90, 0);
    const std::vector<uint8_t> out = esc(page, receiptSettings());
    EXPECT_TRUE(
        BytesEqual(join({hexBytes("00 1D 76 30 00 30 00 5A 00"), ones(48 * 90), hexBytes("0D 0A 0D 0A")}), out));
}

TEST(ESCPOSEncoder, AllWhitePageIsSentWhole) {
    GrayPage page(384, 200);
    const std::vector<uint8_t> out = esc(page, receiptSettings());
    EXPECT_TRUE(
        BytesEqual(join({hexBytes("00 1D 76 30 00 30 00 C8 00"), zeros(48 * 200), hexBytes("0D 0A 0D 0A")}), out));
}

TEST(ESCPOSEncoder, BlackBarIsDroppedOnlyWithBlankSpace) {
    GrayPage page(64, 20);
    page.set(3, 2, 0);       // row 2: 10 00 ...
    page.fillRows(8, 5, 0);  // rows 8..12 black across
    page.set(60, 17, 0);     // row 17: ... 08
    std::vector<uint8_t> row2 = zeros(8), row17 = zeros(8);
    row2[0] = 0x10;
    row17[7] = 0x08;

    PrinterSettings s = receiptSettings();
    const std::vector<uint8_t> kept = join({zeros(8 * 5), ones(8 * 5), zeros(8 * 4)});
    EXPECT_TRUE(BytesEqual(join({hexBytes("00 1D 76 30 00 08 00 10 00"), row2, kept, row17, hexBytes("0D 0A 0D 0A")}),
                           esc(page, s)));

    s.blankSpace = 1;
    EXPECT_TRUE(
        BytesEqual(join({hexBytes("00 1D 76 30 00 08 00 0B 00"), row2, zeros(8 * 9), row17, hexBytes("0D 0A 0D 0A")}),
                   esc(page, s)));
}

// Row trimming on packed rows; each case lists one marker byte per row, spread
// over a row of `widthBytes` bytes as described by the row kinds.
TEST(ESCPOSEncoder, TrimRowsCases) {
    // Row kinds: 'w' white, 'b' black across, 'e' black but for the first and
    // last byte (still black), 'm' marked (one dot in the middle), 'x' marked
    // in the first byte only.
    const struct {
        const char *rows;
        long widthBytes;
        bool dropBlack;
        const char *expected;
    } cases[] = {
        {"wwmwmww", 4, false, "mwm"}, {"wwmwmww", 4, true, "mwm"},
        {"bbmbbmbb", 4, true, "mm"},  {"bbmbbmbb", 4, false, "bbmbbmbb"},
        {"wembxbw", 4, true, "mx"},   {"wbwbmw", 4, true, "wm"},  // white rows freed by the removal stay at the top
        {"mbbbbbbw", 3, true, "m"},   {"wwww", 4, true, "wwww"},  // all white: nothing cut
        {"bbbb", 4, true, ""},                                    // every row black: nothing left
        {"mxm", 2, true, ""},                                     // rows of two bytes always count as black
        {"mm", 1, false, "mm"},
    };
    for (const auto &c : cases) {
        const long height = static_cast<long>(std::string(c.rows).size());
        const long w = c.widthBytes;
        auto makeRow = [w](char kind) {
            std::vector<unsigned char> row(static_cast<size_t>(w), 0);
            switch (kind) {
                case 'b':
                    std::fill(row.begin(), row.end(), 0xFF);
                    break;
                case 'e':
                    std::fill(row.begin() + 1, row.end() - 1, 0xFF);
                    break;
                case 'm':
                    row[static_cast<size_t>(w / 2)] = 0x24;
                    break;
                case 'x':
                    row[0] = 0x80;
                    break;
                default:
                    break;
            }
            return row;
        };
        std::vector<unsigned char> bitmap;
        for (const char *p = c.rows; *p; ++p) {
            const auto row = makeRow(*p);
            bitmap.insert(bitmap.end(), row.begin(), row.end());
        }
        std::vector<unsigned char> expected;
        for (const char *p = c.expected; *p; ++p) {
            const auto row = makeRow(*p);
            expected.insert(expected.end(), row.begin(), row.end());
        }
        const long kept = trimESCRows(bitmap.data(), w, height, c.dropBlack);
        bitmap.resize(static_cast<size_t>(kept * w));
        EXPECT_TRUE(BytesEqual(expected, bitmap)) << "rows " << c.rows << " width " << w << " drop " << c.dropBlack;
    }
}

TEST(ESCPOSEncoder, FeedBlocksFollowTheResolution) {
    const struct {
        int32_t dpi;
        int32_t feedDist;
        unsigned blocks;
        uint8_t rows;
    } cases[] = {
        {203, 2, 2, 24}, {200, 1, 1, 24}, {300, 1, 1, 36}, {0, 3, 3, 36}, {203, 256, 0, 24}, {203, 258, 2, 24},
    };
    for (const auto &c : cases) {
        GrayPage page(576, 1);
        PrinterSettings s = receiptSettings();
        s.resolution = c.dpi;
        s.feedDist = c.feedDist;
        std::vector<std::vector<uint8_t>> parts{hexBytes("00 1D 76 30 00 48 00 01 00"), zeros(72),
                                                hexBytes("0D 0A 0D 0A")};
        for (unsigned i = 0; i < c.blocks; ++i) {
            parts.push_back({0x1D, 0x76, 0x30, 0x30, 0x48, 0x00, c.rows, 0x00});
            parts.push_back(zeros(72u * c.rows));
        }
        EXPECT_TRUE(BytesEqual(join(parts), esc(page, s))) << "dpi " << c.dpi << " feedDist " << c.feedDist;
    }
}

TEST(ESCPOSEncoder, WideRowsCarryTheirWidthInSixteenBits) {
    // 2400 dots = 300 bytes per row (0x012C): raster and feed blocks alike.
    GrayPage page(2400, 1, 0);
    PrinterSettings s = receiptSettings();
    s.feedDist = 1;
    EXPECT_TRUE(BytesEqual(join({hexBytes("00 1D 76 30 00 2C 01 01 00"), ones(300), hexBytes("0D 0A 0D 0A"),
                                 hexBytes("1D 76 30 30 2C 01 18 00"), zeros(300 * 24)}),
                           esc(page, s)));
}

TEST(ESCPOSEncoder, BeeperAndCutterAroundThePage) {
    const struct {
        int32_t beeper, cutting;
        const char *before, *after;
    } cases[] = {
        {1, 1, "", "1D 56 42 00 1B 42 04 01"},
        {2, 0, "1B 42 04 01", ""},
        {2, 1, "1B 42 04 01", "1D 56 42 00"},
        {3, 2, "", ""},  // job-end options: nothing per page
        {4, 0, "", ""},
    };
    for (const auto &c : cases) {
        GrayPage page(16, 1, 0);
        PrinterSettings s = receiptSettings();
        s.beeper = c.beeper;
        s.cutting = c.cutting;
        s.feedDist = 1;
        EXPECT_TRUE(BytesEqual(join({hexBytes("00"), hexBytes(c.before), hexBytes("1D 76 30 00 02 00 01 00 FF FF"),
                                     hexBytes("0D 0A 0D 0A 1D 76 30 30 02 00 18 00"), zeros(48), hexBytes(c.after)}),
                               esc(page, s)))
            << "beeper " << c.beeper << " cutting " << c.cutting;
    }
}

TEST(ESCPOSEncoder, PageTallerThanOneCommandIsSentInSeveral) {
    // 70000 rows cannot be counted in GS v 0's 16 bits: 65535 rows, then 4465.
    GrayPage page(16, 70000, 0);
    const std::vector<uint8_t> out = esc(page, receiptSettings());
    EXPECT_TRUE(BytesEqual(join({hexBytes("00 1D 76 30 00 02 00 FF FF"), ones(2 * 65535),
                                 hexBytes("1D 76 30 00 02 00 71 11"), ones(2 * 4465), hexBytes("0D 0A 0D 0A")}),
                           out));
}

}  // namespace
}  // namespace zvtest
