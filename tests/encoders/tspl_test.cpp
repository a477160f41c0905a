// TSPL encoder: setup lines, plain and compressed bitmaps, the band search.
#include "encoders/tspl.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoders.h"
#include "encoders/gray_pack.h"
#include "tests/support/golden.h"
#include "tests/support/label_settings.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tspl_stream.h"

namespace {

using zvtest::BytesEqual;
using zvtest::bytesOf;
using zvtest::join;
using zvtest::labelSettings;

using ArrayPtr = DynamicArrayPtr;

std::vector<uint8_t> bytes(const dynamic_array *array) {
    return std::vector<uint8_t>(array->data, array->data + array->size);
}

const std::string kFixedLines =
    "DIRECTION 0,0\r\nREFERENCE 0,0\r\nOFFSET 0.000\r\nSHIFT 0\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\n"
    "SET PARTIAL_CUTTER OFF\r\nSET TEAR ON\r\nCLS\r\n";

// The label bitmap as the printer expects it: packed, then inverted.
std::vector<uint8_t> printerBitmap(const std::vector<uint8_t> &gray, long width, long height, int mode) {
    std::vector<uint8_t> packed(static_cast<size_t>(width / 8 * height), 0);
    Gray2Bytes(gray.data(), packed.data(), width / 8, height, mode);
    for (uint8_t &b : packed) b = static_cast<uint8_t>(~b);
    return packed;
}

// A page with something in every band: a gray ramp across, black bars down.
std::vector<uint8_t> rampPage(long width, long height) {
    std::vector<uint8_t> gray(static_cast<size_t>(width * height));
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            gray[y * width + x] = (y / 16) % 5 == 0 ? 0 : static_cast<uint8_t>(x * 255 / width);
    return gray;
}

TEST(Tspl, WorkedExample384x240IsExact) {
    struct Case {
        uint8_t gray;
        uint8_t sent;
    };
    for (const Case &c : {Case{255, 0xFF}, Case{0, 0x00}}) {
        std::vector<uint8_t> page(384 * 240, c.gray);
        PrinterSettings s = labelSettings();
        ArrayPtr out(getTSPLPrintData(page.data(), 384, 240, &s));
        ASSERT_NE(nullptr, out);
        const auto expected = join({bytesOf("SIZE 49mm,31mm\r\nGAP 3 mm,0 mm\r\nSPEED 4\r\nDENSITY 8\r\n" +
                                            kFixedLines + "BITMAP 0,0,48,240,0,"),
                                    std::vector<uint8_t>(11520, c.sent), bytesOf("\r\nPRINT 1,1\r\n")});
        EXPECT_TRUE(BytesEqual(expected, bytes(out.get()))) << "gray " << int(c.gray);
    }
}

TEST(Tspl, PlainBitmapIsThePackedPageInverted) {
    // Left half black, right half white, first row all black; offsets and a
    // different copy count go into BITMAP and PRINT.
    const long width = 64, height = 3;
    std::vector<uint8_t> page(width * height, 255);
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            if (x < 32 || y == 0) page[y * width + x] = 0;
    PrinterSettings s = labelSettings();
    s.horizontal = 12;
    s.vertical = -3;
    s.copies = 2;
    ArrayPtr out(getTSPLPrintData(page.data(), width, height, &s));
    ASSERT_NE(nullptr, out);
    const auto items = zvtest::parseTspl(bytes(out.get()));
    ASSERT_EQ(15u, items.size());
    EXPECT_EQ("BITMAP 12,-3,8,3,0,", items[13].line);
    EXPECT_EQ(zvtest::hexBytes("00000000 00000000  00000000 FFFFFFFF  00000000 FFFFFFFF"), items[13].data);
    EXPECT_EQ("PRINT 1,2", items[14].line);
}

TEST(Tspl, MediaLineFollowsMediaTracking) {
    struct Case {
        int32_t tracking;
        const char *line;  // nullptr: no media line
    };
    const Case cases[] = {
        {0, "GAP 0 mm,0 mm"}, {1, "GAP 3 mm,0 mm"}, {2, "BLINE 3 mm,0 mm"}, {255, nullptr}, {3, nullptr}};
    std::vector<uint8_t> page(8, 255);
    for (const Case &c : cases) {
        PrinterSettings s = labelSettings();
        s.mediaTracking = c.tracking;
        ArrayPtr out(getTSPLPrintData(page.data(), 8, 1, &s));
        const auto items = zvtest::parseTspl(bytes(out.get()));
        ASSERT_GE(items.size(), 3u);
        EXPECT_EQ("SIZE 49mm,31mm", items[0].line);
        if (c.line != nullptr) {
            EXPECT_EQ(c.line, items[1].line) << c.tracking;
            EXPECT_EQ("SPEED 4", items[2].line);
        } else {
            EXPECT_EQ("SPEED 4", items[1].line) << c.tracking;
        }
    }
}

TEST(Tspl, CompressedPageSplitsInHalvesUnderTheRawLimit) {
    // 832 x 3000: 312000 bytes are not below 300000, so two bands of 1500 rows.
    const long width = 832, height = 3000;
    const auto page = rampPage(width, height);
    PrinterSettings s = labelSettings();
    s.isCompressie = 1;
    s.horizontal = 5;
    s.vertical = 10;
    s.printMode = 2;
    ArrayPtr out(getTSPLPrintData(const_cast<uint8_t *>(page.data()), width, height, &s));
    ASSERT_NE(nullptr, out);
    const auto items = zvtest::parseTspl(bytes(out.get()));
    ASSERT_EQ(16u, items.size());
    const auto bitmap = printerBitmap(page, width, height, 2);
    const size_t half = bitmap.size() / 2;
    for (int band = 0; band < 2; ++band) {
        const auto &item = items[13 + band];
        ASSERT_TRUE(item.isBitmap);
        EXPECT_EQ(
            "BITMAP 5," + std::to_string(10 + 1500 * band) + ",104,1500,3," + std::to_string(item.data.size()) + ",",
            item.line);
        EXPECT_LT(item.data.size(), 64000u);
        const std::vector<uint8_t> expected(bitmap.begin() + band * half, bitmap.begin() + (band + 1) * half);
        EXPECT_TRUE(BytesEqual(expected, zvtest::inflateExactly(item.data, half))) << "band " << band;
    }
    EXPECT_EQ("PRINT 1,1", items[15].line);
}

// Bands from any limits: contiguous, top to bottom, each under both limits,
// and together they inflate back to exactly the packed bitmap.
TEST(Tspl, CompressedBandsInflateBackToTheBitmapInEveryMode) {
    const long width = 200 * 8, height = 203;
    std::mt19937 random(7);
    auto page = rampPage(width, height);
    for (long i = 0; i < width * height; i += 3) page[i] = static_cast<uint8_t>(random());
    for (int mode = 0; mode <= 5; ++mode) {
        PrinterSettings s = labelSettings();
        s.isCompressie = 1;
        s.printMode = static_cast<int16_t>(mode);
        s.noCompressieLimit = 100000;
        s.compressieLimit = 8000;
        ArrayPtr out(getTSPLPrintData(page.data(), width, height, &s));
        ASSERT_NE(nullptr, out);
        const auto items = zvtest::parseTspl(bytes(out.get()));
        const auto bitmap = printerBitmap(page, width, height, mode);
        std::vector<uint8_t> inflated;
        long nextRow = 0;
        int bands = 0;
        for (const auto &item : items) {
            if (!item.isBitmap) continue;
            ++bands;
            EXPECT_EQ(3, item.mode);
            EXPECT_EQ(nextRow, item.y);
            EXPECT_EQ(200, item.widthBytes);
            EXPECT_LT(static_cast<unsigned long>(item.widthBytes * item.height), s.noCompressieLimit);
            EXPECT_LT(item.data.size(), s.compressieLimit);
            const auto rows = zvtest::inflateExactly(item.data, static_cast<size_t>(item.widthBytes * item.height));
            ASSERT_FALSE(rows.empty()) << "band at row " << item.y;
            inflated.insert(inflated.end(), rows.begin(), rows.end());
            nextRow += item.height;
        }
        EXPECT_GT(bands, 2) << "mode " << mode;
        EXPECT_EQ(height, nextRow);
        EXPECT_TRUE(BytesEqual(bitmap, inflated)) << "mode " << mode;
    }
}

TEST(Tspl, CompressedSingleRowPageIsOneBand) {
    std::vector<uint8_t> page(384, 255);
    page[0] = 0;
    PrinterSettings s = labelSettings();
    s.isCompressie = 1;
    ArrayPtr out(getTSPLPrintData(page.data(), 384, 1, &s));
    const auto items = zvtest::parseTspl(bytes(out.get()));
    ASSERT_EQ(15u, items.size());
    EXPECT_EQ("BITMAP 0,0,48,1,3," + std::to_string(items[13].data.size()) + ",", items[13].line);
    std::vector<uint8_t> row(48, 0xFF);
    row[0] = 0x7F;
    EXPECT_EQ(row, zvtest::inflateExactly(items[13].data, 48));
}

// Limits that not even one row meets must still end, one row per band.
TEST(Tspl, LimitsNoRowMeetsSendOneRowPerBand) {
    struct Case {
        const char *name;
        uint64_t raw, packed;
    };
    const Case cases[] = {{"raw limit at the row size", 48, 64000}, {"compressed limit below a row", 300000, 5}};
    zvtest::TempDir logDir;
    for (const Case &c : cases) {
        closeDebugLog();
        zvtest::ScopedLogDir scoped(logDir.path());
        std::vector<uint8_t> page(384 * 5, 128);
        PrinterSettings s = labelSettings();
        s.isCompressie = 1;
        s.vertical = 100;
        s.noCompressieLimit = c.raw;
        s.compressieLimit = c.packed;
        ArrayPtr out(getTSPLPrintData(page.data(), 384, 5, &s));
        closeDebugLog();
        ASSERT_NE(nullptr, out) << c.name;
        const auto items = zvtest::parseTspl(bytes(out.get()));
        ASSERT_EQ(19u, items.size()) << c.name;
        for (int row = 0; row < 5; ++row) {
            EXPECT_EQ(100 + row, items[13 + row].y) << c.name;
            EXPECT_EQ(1, items[13 + row].height) << c.name;
            EXPECT_EQ(std::vector<uint8_t>(48, 0x00), zvtest::inflateExactly(items[13 + row].data, 48)) << c.name;
        }
        EXPECT_NE(std::string::npos, zvtest::readFileText(logDir.file("LxxLog.log")).find("one row per band"))
            << c.name;
    }
}

TEST(TsplBandSearch, HalvesUntilBothLimitsHoldAndReportsTheBand) {
    const long width = 80, rows = 100;  // 10 bytes a row
    std::mt19937 random(3);
    std::vector<uint8_t> bitmap(10 * rows);
    for (uint8_t &b : bitmap) b = static_cast<uint8_t>(random());
    std::vector<uint8_t> buffer(compressBound(bitmap.size()));
    PrinterSettings s = labelSettings();
    struct Case {
        uint64_t raw, packed;
        long bytes;
    };
    // 1000 raw bytes: below 1001 in one go; below 1000 after one halving (500);
    // random bytes do not compress, so 300 compressed bytes need 250 raw.
    for (const Case &c : {Case{1001, 64000, 1000}, Case{1000, 64000, 500}, Case{300000, 300, 250}}) {
        s.noCompressieLimit = c.raw;
        s.compressieLimit = c.packed;
        unsigned long packed = buffer.size();
        EXPECT_EQ(c.bytes, getCutImageLength(width, rows, bitmap.data(), buffer.data(), &packed, &s));
        ASSERT_GT(packed, 0u);
        EXPECT_LT(packed, c.packed);
        const std::vector<uint8_t> head(bitmap.begin(), bitmap.begin() + c.bytes);
        EXPECT_EQ(head, zvtest::inflateExactly(std::vector<uint8_t>(buffer.begin(), buffer.begin() + packed), c.bytes));
    }
}

TEST(TsplBandSearch, NothingToSendGivesZero) {
    std::vector<uint8_t> bitmap(16, 0);
    std::vector<uint8_t> buffer(64);
    PrinterSettings s = labelSettings();
    unsigned long packed = buffer.size();
    EXPECT_EQ(0, getCutImageLength(64, 0, bitmap.data(), buffer.data(), &packed, &s));
    EXPECT_EQ(0u, packed);
}

#if defined(__SANITIZE_ADDRESS__)
#define ZV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_ASAN 1
#endif
#endif

TEST(Tspl, UnallocatableBitmapSkipsThePage) {
#ifdef ZV_ASAN
    GTEST_SKIP() << "AddressSanitizer aborts on impossible allocations instead of failing them";
#else
    // 2^37 bytes a row times 2^20 rows: no machine has that; the page is never read.
    unsigned char page[8] = {0};
    PrinterSettings s = labelSettings();
    testing::internal::CaptureStderr();
    dynamic_array *out = getTSPLPrintData(page, 1L << 40, 1L << 20, &s);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(nullptr, out);
    dynamic_array_destroy(out);
    EXPECT_EQ(0u, err.rfind("ERROR: ", 0)) << err;

    // The compression buffer of the band cutter likewise: nothing is appended.
    ArrayPtr array(dynamic_array_init(2));
    testing::internal::CaptureStderr();
    EXPECT_EQ(2, TSPL_Zlib_CutImage(array.get(), 1L << 40, 1L << 20, 1L << 37, page, &s));
    EXPECT_EQ(0u, testing::internal::GetCapturedStderr().rfind("ERROR: ", 0));
    EXPECT_EQ(0u, array->size);
#endif
}

}  // namespace
