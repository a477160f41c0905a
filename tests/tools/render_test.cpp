// The render-back reader on hand-built streams: the worked examples of every
// printer language, and the malformed streams it must name by offset.
#include "tools/render/render.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/codecs.h"
#include "tests/support/golden.h"

using zvrender::Format;
using zvrender::RenderedPage;
using zvrender::RenderResult;
using zvrender::renderStream;
using zvtest::bytesOf;
using zvtest::hexBytes;
using zvtest::join;

namespace {

const char *kTsplSetup =
    "SIZE 49mm,31mm\r\nGAP 3 mm,0 mm\r\nSPEED 4\r\nDENSITY 8\r\n"
    "DIRECTION 0,0\r\nREFERENCE 0,0\r\nOFFSET 0.000\r\nSHIFT 0\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\n"
    "SET PARTIAL_CUTTER OFF\r\nSET TEAR ON\r\nCLS\r\n";

// Packed rows (1 = dot) to one byte per dot.
std::vector<uint8_t> unpack(const std::vector<uint8_t> &packed, int widthBytes) {
    std::vector<uint8_t> dots;
    for (size_t i = 0; i < packed.size(); ++i)
        for (int b = 7; b >= 0; --b) dots.push_back((packed[i] >> b) & 1);
    (void)widthBytes;
    return dots;
}

std::vector<uint8_t> inverted(std::vector<uint8_t> bytes) {
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(~b);
    return bytes;
}

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t> &raw) {
    uLongf size = compressBound(raw.size());
    std::vector<uint8_t> out(size);
    EXPECT_EQ(compress(out.data(), &size, raw.data(), raw.size()), Z_OK);
    out.resize(size);
    return out;
}

std::string hexText(const std::vector<uint8_t> &bytes) {
    std::string s;
    char buf[3];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
    }
    return s;
}

// ":Z64:<Base64>:CRC" of the zlib stream of `raw`, made with the filter's
// own codecs (the reader checks them with its own).
std::string z64(const std::vector<uint8_t> &raw) {
    std::vector<uint8_t> packed = zlibCompress(raw);
    std::string text(static_cast<size_t>(base64EncodedLength(static_cast<int64_t>(packed.size()))), '\0');
    Base64Encode(packed.data(), static_cast<int64_t>(packed.size()), text.data());
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X",
                  CRC16(reinterpret_cast<const unsigned char *>(text.data()), static_cast<uint32_t>(text.size())));
    return ":Z64:" + text + ":" + crc;
}

// A pattern with a different byte in every position, so that a row or byte
// out of place shows.
std::vector<uint8_t> pattern(size_t count, unsigned seed = 7) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((i * 37 + seed * 11 + (i >> 3)) & 0xFF);
    return bytes;
}

RenderResult renderOk(const std::vector<uint8_t> &stream, Format format = Format::Auto) {
    RenderResult r = renderStream(stream, format);
    EXPECT_TRUE(r.ok) << r.message();
    return r;
}

}  // namespace

// The TSPL worked example: 384 x 240 dots, one plain BITMAP of 48 bytes per
// row; TSPL prints 0 bits, so the bitmap is the inverse of the dots.
TEST(RenderTspl, PlainBitmapOfTheWorkedExample) {
    std::vector<uint8_t> dots = pattern(48 * 240);
    std::vector<uint8_t> stream =
        join({bytesOf(kTsplSetup), bytesOf("BITMAP 0,0,48,240,0,"), inverted(dots), bytesOf("\r\nPRINT 1,1\r\n")});
    RenderResult r = renderOk(stream);
    EXPECT_EQ(r.format, Format::Tspl);
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].width, 384);
    EXPECT_EQ(r.pages[0].height, 240);
    EXPECT_FALSE(r.pages[0].hasRed());
    EXPECT_EQ(r.pages[0].black, unpack(dots, 48));
}

TEST(RenderTspl, WhiteAndBlackPagesAndTwoLabels) {
    std::vector<uint8_t> stream =
        join({bytesOf(kTsplSetup), bytesOf("BITMAP 0,0,2,3,0,"), std::vector<uint8_t>(6, 0xFF),
              bytesOf("\r\nPRINT 1,1\r\n"), bytesOf(kTsplSetup), bytesOf("BITMAP 0,0,2,3,0,"),
              std::vector<uint8_t>(6, 0x00), bytesOf("\r\nPRINT 1,1\r\n")});
    RenderResult r = renderOk(stream, Format::Tspl);
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_EQ(r.pages[0].black, std::vector<uint8_t>(48, 0));
    EXPECT_EQ(r.pages[1].black, std::vector<uint8_t>(48, 1));
}

// Compressed bands land one under the other at vertical + rows sent; the
// page offset (horizontal, vertical) shifts the picture on the label.
TEST(RenderTspl, CompressedBandsStackAtTheirOffsets) {
    std::vector<uint8_t> dots = pattern(2 * 6);
    std::vector<uint8_t> top(dots.begin(), dots.begin() + 8), bottom(dots.begin() + 8, dots.end());
    std::vector<uint8_t> z1 = zlibCompress(inverted(top)), z2 = zlibCompress(inverted(bottom));
    std::vector<uint8_t> stream =
        join({bytesOf(kTsplSetup), bytesOf("BITMAP 3,5,2,4,3," + std::to_string(z1.size()) + ","), z1,
              bytesOf("\r\nBITMAP 3,9,2,2,3," + std::to_string(z2.size()) + ","), z2, bytesOf("\r\nPRINT 1,1\r\n")});
    RenderResult r = renderOk(stream);
    ASSERT_EQ(r.pages.size(), 1u);
    const RenderedPage &p = r.pages[0];
    ASSERT_EQ(p.width, 19);
    ASSERT_EQ(p.height, 11);
    std::vector<uint8_t> expected = unpack(dots, 2);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            bool inside = x >= 3 && y >= 5;
            uint8_t want = inside ? expected[static_cast<size_t>(y - 5) * 16 + static_cast<size_t>(x - 3)] : 0;
            ASSERT_EQ(p.dot(x, y), want) << "dot " << x << "," << y;
        }
}

// CLS clears the image buffer; a later BITMAP overwrites what lies under it.
TEST(RenderTspl, ClsClearsAndBitmapsOverwrite) {
    std::vector<uint8_t> stream = join({bytesOf("CLS\r\nBITMAP 0,0,1,1,0,"),
                                        {0x00},
                                        bytesOf("\r\nCLS\r\nBITMAP 0,0,1,1,0,"),
                                        {0x0F},
                                        bytesOf("\r\nBITMAP 0,0,1,1,0,"),
                                        {0x3F},
                                        bytesOf("\r\nPRINT 1\r\n")});
    RenderResult r = renderOk(stream);
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].black, (std::vector<uint8_t>{1, 1, 0, 0, 0, 0, 0, 0}));
}

// A negative offset puts part of the bitmap off the label: those dots are
// dropped, the rest keep their places.
TEST(RenderTspl, NegativeOffsetsClipAtTheLabelEdge) {
    std::vector<uint8_t> stream =
        join({bytesOf("CLS\r\nBITMAP -3,-1,1,2,0,"), inverted({0xFF, 0x96}), bytesOf("\r\nPRINT 1,1\r\n")});
    RenderResult r = renderOk(stream);
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].width, 5);
    EXPECT_EQ(r.pages[0].height, 1);
    EXPECT_EQ(r.pages[0].black, (std::vector<uint8_t>{1, 0, 1, 1, 0}));  // 0x96 = 10010110, from dot 3 on
}

// Two-colour TSPL: black plane first, then the red plane after SETCOLOR RED.
TEST(RenderTspl, TwoColourPlanes) {
    std::vector<uint8_t> stream = join({bytesOf(kTsplSetup),
                                        bytesOf("SETCOLOR BLACK\r\nBITMAP 0,0,1,2,0,"),
                                        {0x7F, 0xFF},
                                        bytesOf("\r\nSETCOLOR RED 5\r\nBITMAP 0,0,1,2,0,"),
                                        {0xFF, 0xFE},
                                        bytesOf("\r\nPRINT 1,1\r\n")});
    for (Format f : {Format::Auto, Format::TwoColorTspl}) {
        RenderResult r = renderOk(stream, f);
        EXPECT_EQ(r.format, Format::TwoColorTspl);
        ASSERT_EQ(r.pages.size(), 1u);
        const RenderedPage &p = r.pages[0];
        ASSERT_TRUE(p.hasRed());
        EXPECT_EQ(p.dot(0, 0), 1);
        EXPECT_EQ(p.redDot(0, 0), 0);
        EXPECT_EQ(p.dot(7, 1), 0);
        EXPECT_EQ(p.redDot(7, 1), 1);
        EXPECT_EQ(std::count(p.black.begin(), p.black.end(), 1), 1);
        EXPECT_EQ(std::count(p.red.begin(), p.red.end(), 1), 1);
    }
    // Two-colour mode without SETCOLOR still gives a (white) red plane.
    RenderResult plain = renderOk(join({bytesOf("CLS\r\nBITMAP 0,0,1,1,0,"), {0x00}, bytesOf("\r\nPRINT 1,1\r\n")}),
                                  Format::TwoColorTspl);
    ASSERT_EQ(plain.pages.size(), 1u);
    EXPECT_EQ(plain.pages[0].red, std::vector<uint8_t>(8, 0));
}

// The ZPL worked example, then the same label with a pattern.
TEST(RenderZpl, HexGraphicOfTheWorkedExample) {
    std::string head = "^XA^LH0,0^MNW^LS0^POI^PW16^LL2\r\n^PR4\r\n~SD8\r\n^FO0,0,0\r\n^GFA,4,4,2,";
    RenderResult white = renderOk(bytesOf(head + "00000000\r\n^PQ1^XZ\r\n"));
    EXPECT_EQ(white.format, Format::Zpl);
    ASSERT_EQ(white.pages.size(), 1u);
    EXPECT_EQ(white.pages[0].width, 16);
    EXPECT_EQ(white.pages[0].height, 2);
    EXPECT_EQ(white.pages[0].black, std::vector<uint8_t>(32, 0));

    RenderResult r = renderOk(bytesOf(head + "FFFF80A5\r\n^PQ1^XZ\r\n"));
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].black, unpack(hexBytes("FF FF 80 A5"), 2));
}

// Compressed ZPL: Base64 zlib bands with their CRC, placed at ^FO; the label
// keeps the size ^PW/^LL declare even where no graphic reaches.
TEST(RenderZpl, Z64BandsAndSfPrefix) {
    std::vector<uint8_t> dots = pattern(3 * 5);
    std::vector<uint8_t> top(dots.begin(), dots.begin() + 9), bottom(dots.begin() + 9, dots.end());
    std::string label = "^XA^LH0,0^LS0^POI^PW32^LL7\r\n^PR4\r\n~SD8\r\n^FO0,1,0\r\n^GFA,9,9,3," + z64(top) +
                        "\r\n^FO0,4,0\r\n^GFA,6,6,3," + z64(bottom) + "\r\n^PQ1^XZ\r\n";
    for (bool sf : {false, true}) {
        std::string stream = sf ? "^^XX\r\n" + label + "^^XX\r\n" + label : label;
        RenderResult r = renderOk(bytesOf(stream));
        EXPECT_EQ(r.format, sf ? Format::SfZpl : Format::Zpl);
        ASSERT_EQ(r.pages.size(), sf ? 2u : 1u);
        const RenderedPage &p = r.pages.back();
        ASSERT_EQ(p.width, 32);
        ASSERT_EQ(p.height, 7);
        std::vector<uint8_t> expected = unpack(dots, 3);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 32; ++x) {
                uint8_t want = (y >= 1 && y < 6 && x < 24) ? expected[static_cast<size_t>(y - 1) * 24 + x] : 0;
                ASSERT_EQ(p.dot(x, y), want) << x << "," << y;
            }
    }
}

// The CPCL worked example in both graphics forms.
TEST(RenderCpcl, HexAndBinaryGraphics) {
    std::string head = "! 0 200 200 2 1\r\nPW 16\r\nNO-PACE\r\nGAP-SENSE\r\nTONE 0\r\nSPEED 3.0\r\n";
    std::string tail = "\r\n\r\nFORM\r\nPRINT\r\n";
    RenderResult white = renderOk(bytesOf(head + "EG 2 2 0 0 \r\n00000000" + tail));
    EXPECT_EQ(white.format, Format::Cpcl);
    ASSERT_EQ(white.pages.size(), 1u);
    EXPECT_EQ(white.pages[0].width, 16);
    EXPECT_EQ(white.pages[0].height, 2);
    EXPECT_EQ(white.pages[0].black, std::vector<uint8_t>(32, 0));

    std::vector<uint8_t> bits = hexBytes("0D 0A 1B 40");  // binary bytes that look like control text
    std::vector<uint8_t> stream = join({bytesOf(head + "CG 2 2 0 0 \r\n"), bits, bytesOf(tail),
                                        bytesOf(head + "EG 2 2 0 0 \r\n"), bytesOf(hexText(bits)), bytesOf(tail)});
    RenderResult r = renderOk(stream);
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_EQ(r.pages[0].black, unpack(bits, 2));
    EXPECT_EQ(r.pages[1].black, unpack(bits, 2));
}

// ESC/POS: prologue, per page a NUL, the raster, CR LF CR LF, feed blocks,
// cut and beep; epilogue. Pages split at the NUL; feed blocks are white rows.
TEST(RenderEscPos, PagesWithFeedBlocksAndJobFrame) {
    std::vector<uint8_t> marks = pattern(48 * 90);
    std::vector<uint8_t> page1 = join({{0x00}, hexBytes("1D 76 30 00 30 00 5A 00"), marks, hexBytes("0D 0A 0D 0A")});
    std::vector<uint8_t> feed = join({hexBytes("1D 76 30 30 02 00 18 00"), std::vector<uint8_t>(2 * 24, 0)});
    std::vector<uint8_t> page2 = join({{0x00},
                                       hexBytes("1B 42 04 01 1D 76 30 00 02 00 01 00 80 01 0D 0A 0D 0A"),
                                       feed,
                                       feed,
                                       hexBytes("1D 56 42 00 1B 42 04 01")});
    std::vector<uint8_t> stream = join(
        {hexBytes("1B 40 1B 42 04 01 1B 70 00 19 FF 1B 70 01 19 FF"), page1, page2, hexBytes("1D 56 42 00 1B 40")});
    RenderResult r = renderOk(stream);
    EXPECT_EQ(r.format, Format::EscPos);
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_EQ(r.pages[0].width, 384);
    EXPECT_EQ(r.pages[0].height, 90);
    EXPECT_EQ(r.pages[0].black, unpack(marks, 48));
    EXPECT_EQ(r.pages[1].width, 16);
    EXPECT_EQ(r.pages[1].height, 1 + 48);
    std::vector<uint8_t> expected(16 * 49, 0);
    expected[0] = 1;
    expected[15] = 1;
    EXPECT_EQ(r.pages[1].black, expected);

    // A page whose every row was dropped still counts, with its width.
    RenderResult noRows = renderOk(hexBytes("1B 40 00 1D 76 30 00 02 00 00 00 0D 0A 0D 0A 1B 40"));
    ASSERT_EQ(noRows.pages.size(), 1u);
    EXPECT_EQ(noRows.pages[0].width, 16);
    EXPECT_EQ(noRows.pages[0].height, 0);

    // A job without pages is the prologue and the epilogue alone.
    RenderResult empty = renderOk(hexBytes("1B 40 1B 40"));
    EXPECT_TRUE(empty.pages.empty());
}

struct MalformedCase {
    const char *name;
    Format format;
    std::vector<uint8_t> stream;
    size_t offset;
    const char *reason;  // a part of the message
};

class RenderMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(RenderMalformed, NamesTheOffset) {
    const MalformedCase &c = GetParam();
    RenderResult r = renderStream(c.stream, c.format);
    ASSERT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.errorOffset, c.offset) << r.message();
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.message();
    EXPECT_EQ(r.message(), "offset " + std::to_string(c.offset) + ": " + r.error);
}

std::vector<MalformedCase> malformedCases() {
    std::vector<uint8_t> good = zlibCompress(std::vector<uint8_t>(4, 0xFF));
    std::vector<uint8_t> badZ = good;
    badZ[3] ^= 0x55;
    std::string z = z64(std::vector<uint8_t>(4, 0));
    std::string badCrc = z.substr(0, z.size() - 4) + (z.back() == '0' ? "0001" : "0000");
    std::string zl = "^XA^FO0,0,0\r\n^GFA,4,4,2,";  // 24 bytes
    std::string corruptHead = "CLS\r\nBITMAP 0,0,2,2,3," + std::to_string(badZ.size()) + ",";
    std::string longHead = "CLS\r\nBITMAP 0,0,2,1,3," + std::to_string(good.size()) + ",";
    return {
        {"tspl_short_data", Format::Tspl, join({bytesOf("CLS\r\nBITMAP 0,0,2,2,0,"), {1, 2, 3}}), 22, "needs 4 bytes"},
        {"tspl_zero_width", Format::Tspl, bytesOf("CLS\r\nBITMAP 0,0,0,2,0,\r\n"), 16, "out of range"},
        {"tspl_no_print", Format::Tspl,
         join({bytesOf("SIZE 2mm,1mm\r\nCLS\r\nBITMAP 0,0,1,1,0,"), {0}, bytesOf("\r\n")}), 0, "not finished by PRINT"},
        {"tspl_unknown", Format::Tspl, bytesOf("CLS\r\nPRINTX 1\r\n"), 5, "unknown TSPL command"},
        {"tspl_lone_lf", Format::Tspl, bytesOf("CLS\nPRINT 1\r\n"), 3, "LF alone"},
        {"tspl_colour_in_mono", Format::Tspl, bytesOf("CLS\r\nSETCOLOR RED 5\r\n"), 5, "SETCOLOR"},
        {"tspl_bad_mode", Format::Tspl, bytesOf("CLS\r\nBITMAP 0,0,1,1,2,x\r\n"), 20, "mode 2"},
        {"tspl_no_crlf_after_data", Format::Tspl,
         join({bytesOf("CLS\r\nBITMAP 0,0,1,1,0,"), {0}, bytesOf("PRINT 1\r\n")}), 23, "CR LF after the BITMAP data"},
        {"tspl_corrupt_zlib", Format::Tspl, join({bytesOf(corruptHead), badZ, bytesOf("\r\nPRINT 1\r\n")}),
         corruptHead.size(), "compressed data"},
        {"tspl_zlib_size", Format::Tspl, join({bytesOf(longHead), good, bytesOf("\r\nPRINT 1\r\n")}), longHead.size(),
         "more than the 2 bytes"},
        {"tspl_zlib_length_past_end", Format::Tspl, bytesOf("CLS\r\nBITMAP 0,0,2,2,3,99,ab"), 22, "past the end"},
        {"tspl_huge", Format::Tspl, bytesOf("CLS\r\nBITMAP 0,0,100000,100000,0,"), 16, "too large"},
        {"zpl_bad_hex", Format::Zpl, bytesOf(zl + "00G00000\r\n^XZ\r\n"), 26, "hexadecimal"},
        {"zpl_short_hex", Format::Zpl, bytesOf(zl + "000000"), 24, "needs 8 hexadecimal digits"},
        {"zpl_run_on", Format::Zpl, bytesOf(zl + "0000000000\r\n^XZ\r\n"), 32, "runs on"},
        {"zpl_counts_differ", Format::Zpl, bytesOf("^XA^GFA,4,6,2,000000000000\r\n^XZ"), 8, "differs"},
        {"zpl_partial_row", Format::Zpl, bytesOf("^XA^GFA,5,5,2,0000000000\r\n^XZ"), 10, "whole number of rows"},
        {"zpl_crc", Format::Zpl, bytesOf(zl + badCrc + "\r\n^XZ\r\n"), zl.size() + badCrc.size() - 4, "CRC"},
        {"zpl_no_xz", Format::Zpl, bytesOf("^XA^PW16\r\n"), 0, "not closed by ^XZ"},
        {"zpl_unknown", Format::Zpl, bytesOf("^XA^ZZ1\r\n^XZ"), 3, "unknown ZPL command ^ZZ"},
        {"zpl_format_b", Format::Zpl, bytesOf("^XA^GFB,4,4,2,\r\n^XZ"), 6, "format"},
        {"sfzpl_missing_prefix", Format::SfZpl, bytesOf("^^XX\r\n^XA^XZ\r\n^XA^XZ\r\n"), 15, "prefix line"},
        {"cpcl_no_print", Format::Cpcl, bytesOf("! 0 200 200 2 1\r\nPW 16\r\n"), 0, "not finished by PRINT"},
        {"cpcl_short_eg", Format::Cpcl, bytesOf("! 0 200 200 2 1\r\nEG 2 2 0 0 \r\n0000"), 30, "needs 8"},
        {"cpcl_unknown", Format::Cpcl, bytesOf("! 0 200 200 2 1\r\nBOX 0 0 1 1 1\r\n"), 17, "unknown CPCL command"},
        {"cpcl_header", Format::Cpcl, bytesOf("! 0 200 200 x 1\r\nPRINT\r\n"), 12, "label height"},
        {"escpos_unknown_byte", Format::EscPos, hexBytes("1B 40 00 41"), 3, "unexpected byte"},
        {"escpos_short_raster", Format::EscPos, hexBytes("00 1D 76 30 00 02 00 02 00 FF FF FF"), 9, "needs 4 bytes"},
        {"escpos_scaled_raster", Format::EscPos, hexBytes("00 1D 76 30 01 01 00 01 00 FF"), 4, "scale mode"},
        {"escpos_cut_mode", Format::EscPos, hexBytes("1D 56 07"), 2, "cut mode"},
        {"auto_unknown", Format::Auto, bytesOf("hello"), 0, "no known printer language"},
        {"auto_empty", Format::Auto, {}, 0, "empty stream"},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, RenderMalformed, ::testing::ValuesIn(malformedCases()),
                         [](const ::testing::TestParamInfo<MalformedCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(RenderFormat, DetectionAndNames) {
    struct {
        const char *start;
        Format format;
    } cases[] = {{"SIZE 49mm,31mm\r\n", Format::Tspl},  {"^XA^LH0,0", Format::Zpl}, {"^^XX\r\n^XA", Format::SfZpl},
                 {"! 0 200 200 2 1\r\n", Format::Cpcl}, {"\x1b@", Format::EscPos},  {"hello", Format::Auto}};
    for (const auto &c : cases) {
        std::vector<uint8_t> bytes = bytesOf(c.start);
        EXPECT_EQ(zvrender::detectFormat(bytes.data(), bytes.size()), c.format) << c.start;
    }
    for (Format f :
         {Format::Auto, Format::Tspl, Format::TwoColorTspl, Format::Zpl, Format::SfZpl, Format::Cpcl, Format::EscPos}) {
        Format back = Format::Auto;
        ASSERT_TRUE(zvrender::parseFormatName(zvrender::formatName(f), back));
        EXPECT_EQ(back, f);
    }
}
