#include "encoders/zpl.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "encoders/gray_pack.h"
#include "encoders/sf_zpl.h"
#include "protocol/codecs.h"
#include "tests/encoders/encoder_fixture.h"
#include "tests/support/golden.h"

namespace zvtest {
namespace {

std::string zpl(GrayPage &page, PrinterSettings settings) {
    Output out(getZPLPrintData(page.data(), page.width, page.height, &settings));
    EXPECT_NE(out, nullptr);
    return textOfArray(out.get());
}

TEST(ZPLEncoder, WhiteSixteenByTwoLabelUncompressed) {
    GrayPage page(16, 2);
    EXPECT_EQ(zpl(page, labelSettings()),
              "^XA^LH0,0^MNW^LS0^POI^PW16^LL2\r\n"
              "^PR4\r\n"
              "~SD8\r\n"
              "^FO0,0,0\r\n"
              "^GFA,4,4,2,00000000\r\n"
              "^PQ1^XZ\r\n");
}

TEST(ZPLEncoder, BlackRowIsSentAsSetBitsAndOffsetsPlaceTheField) {
    GrayPage page(16, 2);
    page.fillRows(1, 1, 0);
    page.set(0, 0, 0);
    page.set(9, 0, 0);
    PrinterSettings s = labelSettings();
    s.horizontal = 12;
    s.vertical = -3;
    const std::string text = zpl(page, s);
    EXPECT_NE(text.find("^FO12,-3,0\r\n^GFA,4,4,2,8040FFFF\r\n"), std::string::npos) << text;
}

TEST(ZPLEncoder, MediaTrackingSelectsTheMediaCommand) {
    const struct {
        int32_t tracking;
        const char *expectedStart;
    } cases[] = {
        {0, "^XA^LH0,0^MNN^LS0"}, {1, "^XA^LH0,0^MNW^LS0"}, {2, "^XA^LH0,0^MNM^LS0"},
        {255, "^XA^LH0,0^LS0"},   {3, "^XA^LH0,0^LS0"},
    };
    for (const auto &c : cases) {
        GrayPage page(8, 1);
        PrinterSettings s = labelSettings();
        s.mediaTracking = c.tracking;
        EXPECT_EQ(zpl(page, s).rfind(c.expectedStart, 0), 0u) << "mediaTracking " << c.tracking;
    }
}

TEST(ZPLEncoder, SpeedDarknessAndQuantityLines) {
    GrayPage page(8, 1);
    PrinterSettings s = labelSettings();
    s.printSpeed = 6;
    s.darkness = 30;
    const std::string text = zpl(page, s);
    EXPECT_NE(text.find("^PR6\r\n~SD30\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 9), "^PQ1^XZ\r\n");
}

TEST(ZPLEncoder, CharToHex) {
    const std::string digits = "0123456789ABCDEF";
    for (unsigned v = 0; v < 16; ++v) EXPECT_EQ(charToHex(v), digits[v]);
    EXPECT_EQ(charToHex(16), '0');
    EXPECT_EQ(charToHex(255), '0');
}

TEST(ZPLEncoder, TenByteZ64BandWithItsCrcText) {
    // A white 16x1 page packs to 00 00, which zlib compresses to 10 bytes:
    // 16 Base64 characters ending in "==", checked by CRC-16/XMODEM 0xA0C7.
    GrayPage page(16, 1);
    PrinterSettings s = labelSettings();
    s.isCompressie = 1;
    EXPECT_EQ(zpl(page, s),
              "^XA^LH0,0^MNW^LS0^POI^PW16^LL1\r\n"
              "^PR4\r\n"
              "~SD8\r\n"
              "^FO0,0,0\r\n"
              "^GFA,2,2,2,:Z64:eJxjYAAAAAIAAQ==:A0C7\r\n"
              "^PQ1^XZ\r\n");
}

// --- compressed bands decode back to the packed bitmap ---------------------

std::vector<uint8_t> base64Decode(const std::string &text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const size_t v = alphabet.find(c);
        EXPECT_NE(v, std::string::npos) << "not Base64: " << c;
        buffer = (buffer << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(buffer >> bits));
        }
    }
    return out;
}

std::vector<uint8_t> inflateAll(const std::vector<uint8_t> &compressed, size_t expectedSize) {
    std::vector<uint8_t> out(expectedSize + 16);
    uLongf length = out.size();
    EXPECT_EQ(uncompress(out.data(), &length, compressed.data(), compressed.size()), Z_OK);
    out.resize(length);
    return out;
}

struct Band {
    long y;
    long bytes;
    long widthBytes;
    std::string base64;
    std::string crc;
};

// Every "^FO0,y,0\r\n^GFA,n,n,w,:Z64:<base64>:<crc>\r\n" field of the text,
// each checked for its exact layout.
std::vector<Band> parseBands(const std::string &text) {
    std::vector<Band> bands;
    for (size_t at = text.find("^FO"); at != std::string::npos; at = text.find("^FO", at + 1)) {
        long y = 0, bytes = 0, bytesAgain = 0, widthBytes = 0;
        int used = 0;
        const std::string rest = text.substr(at);
        if (std::sscanf(rest.c_str(), "^FO0,%ld,0\r\n^GFA,%ld,%ld,%ld,:Z64:%n", &y, &bytes, &bytesAgain, &widthBytes,
                        &used) != 4 ||
            used == 0) {
            ADD_FAILURE() << "malformed field at " << at << ": " << rest.substr(0, 40);
            continue;
        }
        EXPECT_EQ(bytes, bytesAgain);
        const size_t base64End = rest.find(':', static_cast<size_t>(used));
        EXPECT_NE(base64End, std::string::npos);
        const std::string base64 = rest.substr(static_cast<size_t>(used), base64End - static_cast<size_t>(used));
        EXPECT_EQ(base64.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        const std::string crc = rest.substr(base64End + 1, 4);
        EXPECT_EQ(crc.find_first_not_of("0123456789ABCDEF"), std::string::npos) << crc;
        EXPECT_EQ(rest.substr(base64End + 5, 2), "\r\n");
        bands.push_back({y, bytes, widthBytes, base64, crc});
    }
    return bands;
}

// A page with varied content so that bands compress to different sizes.
GrayPage patternPage(long width, long height) {
    GrayPage page(width, height);
    uint32_t state = 12345;
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            if ((y / 7 + x / 5) % 3 == 0 || (state >> 24) < 40) page.set(x, y, 0);
        }
    return page;
}

TEST(ZPLEncoder, Z64BandsInflateToThePackedBitmap) {
    const struct {
        long width, height;
        uint64_t rawLimit, compressedLimit;
        size_t minBands;
    } cases[] = {
        {64, 40, 300000, 64000, 1},  // one band
        {64, 40, 100, 64000, 4},     // raw limit: 40 rows -> 20 -> 10 rows of 8 bytes (80 < 100)
        {128, 37, 300000, 120, 2},   // compressed limit forces halving of an odd row count
    };
    for (const auto &c : cases) {
        GrayPage page = patternPage(c.width, c.height);
        PrinterSettings s = labelSettings();
        s.isCompressie = 1;
        s.vertical = 5;
        s.noCompressieLimit = c.rawLimit;
        s.compressieLimit = c.compressedLimit;
        const std::string text = zpl(page, s);

        const long widthBytes = c.width / 8;
        std::vector<uint8_t> packed(static_cast<size_t>(widthBytes * c.height), 0);
        Gray2Bytes(page.data(), packed.data(), widthBytes, c.height, s.printMode);

        const std::vector<Band> bands = parseBands(text);
        ASSERT_GE(bands.size(), c.minBands) << text;
        std::vector<uint8_t> joined;
        long rows = 0;
        for (const Band &band : bands) {
            EXPECT_EQ(band.y, 5 + rows) << "each band starts under the previous one";
            EXPECT_EQ(band.widthBytes, widthBytes);
            EXPECT_LT(static_cast<uint64_t>(band.bytes), c.rawLimit);
            char crcText[8];
            std::snprintf(crcText, sizeof crcText, "%04X",
                          CRC16(reinterpret_cast<const unsigned char *>(band.base64.data()),
                                static_cast<uint32_t>(band.base64.size())));
            EXPECT_EQ(band.crc, crcText);
            const std::vector<uint8_t> compressed = base64Decode(band.base64);
            EXPECT_LT(compressed.size(), c.compressedLimit);
            EXPECT_EQ(band.base64.size(), (compressed.size() + 2) / 3 * 4);
            const std::vector<uint8_t> raw = inflateAll(compressed, static_cast<size_t>(band.bytes));
            EXPECT_EQ(raw.size(), static_cast<size_t>(band.bytes));
            joined.insert(joined.end(), raw.begin(), raw.end());
            rows += band.bytes / widthBytes;
        }
        EXPECT_EQ(rows, c.height);
        EXPECT_TRUE(BytesEqual(packed, joined)) << "page " << c.width << "x" << c.height;
        // Nothing but the bands sits between the setup and the end line.
        EXPECT_EQ(std::count(text.begin(), text.end(), '^'), 8 + 2 * static_cast<long>(bands.size()) + 2);
    }
}

TEST(ZPLEncoder, LimitsNoRowCanMeetStillSendEveryRowOnce) {
    GrayPage page = patternPage(64, 6);
    PrinterSettings s = labelSettings();
    s.isCompressie = 1;
    s.noCompressieLimit = 1;  // no band can be smaller than one row
    const std::string text = zpl(page, s);
    const std::vector<Band> bands = parseBands(text);
    ASSERT_EQ(bands.size(), 6u) << text;
    for (size_t i = 0; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i].y, static_cast<long>(i));
        EXPECT_EQ(bands[i].bytes, 8);
    }
}

TEST(SFZPLEncoder, PrefixLineThenTheZplPage) {
    GrayPage page(16, 2);
    page.fillRows(0, 1, 0);
    for (int compressed : {0, 1}) {
        PrinterSettings s = labelSettings();
        s.isCompressie = static_cast<int16_t>(compressed);
        s.mediaTracking = 2;
        s.horizontal = 4;
        const std::string plain = zpl(page, s);
        Output sf(getSFZPLPrintData(page.data(), page.width, page.height, &s));
        ASSERT_NE(sf, nullptr);
        EXPECT_EQ(textOfArray(sf.get()), "^^XX\r\n" + plain) << "isCompressie " << compressed;
    }
}

}  // namespace
}  // namespace zvtest
