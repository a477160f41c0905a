// The render-back reader on packet-protocol streams: the worked image
// example, pages of the print driver in both head forms, and the malformed
// streams it must name by offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/image_transfer.h"
#include "protocol/protocol_state.h"
#include "protocol/setting_packets.h"
#include "tests/support/golden.h"
#include "tools/render/render.h"

using zvrender::Format;
using zvrender::RenderOptions;
using zvrender::RenderResult;
using zvrender::renderStream;
using zvtest::hexBytes;
using zvtest::join;

namespace {

std::vector<uint8_t> bytesOf(SendPack pack) {
    std::vector<uint8_t> bytes(pack.data, pack.data + pack.length);
    freeSendPack(pack);
    return bytes;
}

// The packets of one page image from packed rows (1 = dot).
std::vector<uint8_t> imagePackets(const std::vector<uint8_t> &packed, uint32_t width, uint32_t height) {
    ZVImage *image = creatZVImageWithPixByteData(packed.data(), width, height);
    const bool raw = getODMPrinterType() == 163;
    std::vector<uint8_t> out = bytesOf(raw ? getAllImageData(image, creatDefaultImageProtocolSetting())
                                           : getAllCompressImagePart(image, creatDefaultImageProtocolSetting()));
    freeZVImageData(image);
    std::free(image);
    return out;
}

std::vector<uint8_t> settings() { return join({bytesOf(setPrinterPrintDarknessData("8,8"))}); }
std::vector<uint8_t> feed() { return bytesOf(setPrinterPrintFeedData("1,28")); }

// Rows with a different pattern each, so that a lost or repeated row shows.
std::vector<uint8_t> pattern(uint32_t widthBytes, uint32_t rows) {
    std::vector<uint8_t> packed(static_cast<size_t>(widthBytes) * rows);
    for (size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<uint8_t>((i * 37 + i / widthBytes * 11) & 255);
    return packed;
}

std::vector<uint8_t> dotsOf(const std::vector<uint8_t> &packed) {
    std::vector<uint8_t> dots;
    for (uint8_t b : packed)
        for (int bit = 7; bit >= 0; --bit) dots.push_back((b >> bit) & 1);
    return dots;
}

RenderOptions keyOptions() {
    RenderOptions options;
    options.haveAesKey = true;
    for (int i = 0; i < 16; ++i) {
        options.aesKey[i] = static_cast<uint8_t>(i);
        options.aesIv[i] = static_cast<uint8_t>(0xF0 - 16 * (i % 16));
    }
    return options;
}

class RenderProtocol : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProtocolState();
        setODMType(28);
        setMaxDataLengthOnePackage(2048);
    }
    void TearDown() override { resetProtocolState(); }
    void encrypting() {
        setODMType(163);
        const RenderOptions o = keyOptions();
        setAES128Key(o.aesKey.data());
        setAES128IV(o.aesIv.data());
    }
};

// 384 dots x 100 rows without a dot, ODM 28, packets of 2048: the 684 bytes
// of start, tree, one part and end.
TEST_F(RenderProtocol, WorkedImageExample) {
    const std::vector<uint8_t> image = imagePackets(std::vector<uint8_t>(48 * 100, 0), 384, 100);
    ASSERT_EQ(684u, image.size());
    const RenderResult r = renderStream(join({settings(), image, feed()}));
    ASSERT_TRUE(r.ok) << r.message();
    EXPECT_EQ(Format::Protocol, r.format);
    ASSERT_EQ(1u, r.pages.size());
    EXPECT_EQ(384, r.pages[0].width);
    EXPECT_EQ(100, r.pages[0].height);
    EXPECT_EQ(0, std::count(r.pages[0].black.begin(), r.pages[0].black.end(), 1));
}

// Pages in both transfer forms, several parts and chunks each, two pages per
// stream: the rows come back in order.
TEST_F(RenderProtocol, PagesComeBackInBothForms) {
    struct Case {
        const char *name;
        uint32_t odm;
        uint32_t packageLength;
    };
    for (const Case &c :
         {Case{"compressed", 28, 2048}, Case{"compressed_odm31", 31, 4096}, Case{"encrypted_raw", 163, 4096}}) {
        if (c.odm == 163)
            encrypting();
        else
            setODMType(c.odm);
        setMaxDataLengthOnePackage(c.packageLength);
        // Many distinct byte values: the tree no longer fits one packet of
        // 2048, and the compressed page is cut into chunks.
        const std::vector<uint8_t> first = pattern(72, 300), second = pattern(16, 9);
        const std::vector<uint8_t> stream =
            join({settings(), imagePackets(first, 576, 300), feed(), settings(), imagePackets(second, 128, 9), feed()});
        const RenderResult r = renderStream(stream, Format::Auto, c.odm == 163 ? keyOptions() : RenderOptions());
        ASSERT_TRUE(r.ok) << c.name << ": " << r.message();
        ASSERT_EQ(2u, r.pages.size()) << c.name;
        EXPECT_EQ(576, r.pages[0].width);
        EXPECT_EQ(300, r.pages[0].height);
        EXPECT_EQ(dotsOf(first), r.pages[0].black) << c.name;
        EXPECT_EQ(128, r.pages[1].width);
        EXPECT_EQ(dotsOf(second), r.pages[1].black) << c.name;
    }
}

struct Malformed {
    const char *name;
    std::vector<uint8_t> stream;
    size_t offset;
    const char *reason;
    bool withKey = false;
};

TEST_F(RenderProtocol, MalformedStreamsNameTheOffset) {
    const std::vector<uint8_t> page = join({settings(), imagePackets(pattern(8, 4), 64, 4), feed()});
    const size_t darkness = settings().size();  // 15 + 3 bytes
    std::vector<Malformed> cases;
    {
        std::vector<uint8_t> s = page;
        s[darkness - 2] ^= 1;  // in the darkness packet's CRC
        cases.push_back({"crc", s, darkness - 4, "CRC"});
    }
    {
        std::vector<uint8_t> s = page;
        s[darkness + 2] = 29;  // the image start names another printer family
        cases.push_back({"odm_changes", s, darkness + 2, "ODM printer type 29 after 28"});
    }
    // Without the image end and the feed: the stream ends after the last part.
    const size_t cut = page.size() - feed().size() - 15;
    cases.push_back({"truncated", std::vector<uint8_t>(page.begin(), page.begin() + cut), cut,
                     "stream ends inside the page image"});
    cases.push_back({"cut_in_a_packet", std::vector<uint8_t>(page.begin(), page.begin() + cut + 5), cut + 5,
                     "stream ends inside"});
    {
        std::vector<uint8_t> s = page;
        s.insert(s.end(), {0x41, 0x42});
        cases.push_back({"garbage_after", s, page.size(), "expected a packet"});
    }
    {
        // A packet of another group, well framed.
        PacketHead head{};
        head.group = 1;
        head.command = 2;
        head.attrHigh = 1;
        head.attrLow = 1;
        const std::vector<uint8_t> s = join({bytesOf(zvGetProtocolPack(head, nullptr)), page});
        cases.push_back({"other_group", s, 7, "group 1"});
    }
    {
        PacketHead head{};
        head.group = 5;
        head.command = 99;
        head.attrHigh = 1;
        head.attrLow = 1;
        cases.push_back({"unknown_command", join({bytesOf(zvGetProtocolPack(head, nullptr)), page}), 8, "command 99"});
    }
    {
        // The part packets of the image without their tree.
        const std::vector<uint8_t> image = imagePackets(pattern(8, 4), 64, 4);
        const size_t treeSize = 11 + 4 + image[15 + 9] + (image[15 + 10] << 8);
        std::vector<uint8_t> s(image.begin(), image.begin() + 15);
        s.insert(s.end(), image.begin() + 15 + treeSize, image.end());
        cases.push_back({"part_without_tree", s, 15, "before its Huffman tree"});
    }
    setODMType(163);
    cases.push_back({"encrypted_without_key", bytesOf(setPrinterPrintSpeedData(3)), 0, "no AES key"});
    {
        RenderOptions wrong = keyOptions();
        wrong.aesKey[0] ^= 0xFF;
        encrypting();
        const std::vector<uint8_t> s = bytesOf(setPrinterPrintSpeedData(3));
        cases.push_back({"wrong_key", s, 4, "wrong AES key", true});
        const RenderResult r = renderStream(s, Format::Auto, wrong);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(4u, r.errorOffset) << r.message();
        EXPECT_NE(std::string::npos, r.error.find("wrong AES key")) << r.message();
        cases.pop_back();
    }
    for (const Malformed &c : cases) {
        const RenderResult r = renderStream(c.stream, Format::Protocol, c.withKey ? keyOptions() : RenderOptions());
        ASSERT_FALSE(r.ok) << c.name;
        EXPECT_EQ(c.offset, r.errorOffset) << c.name << ": " << r.message();
        EXPECT_NE(std::string::npos, r.error.find(c.reason)) << c.name << ": " << r.message();
    }
}

TEST_F(RenderProtocol, DetectionAndName) {
    for (const std::vector<uint8_t> &start : {hexBytes("A3 1E 1C 00"), hexBytes("A3 20 10 00"), hexBytes("A3 00")})
        EXPECT_EQ(Format::Protocol, zvrender::detectFormat(start.data(), start.size()));
    Format back = Format::Auto;
    ASSERT_TRUE(zvrender::parseFormatName("protocol", back));
    EXPECT_EQ(Format::Protocol, back);
}

}  // namespace
