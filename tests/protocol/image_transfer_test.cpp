// Image transfer: compressed and uncompressed packet streams, decoded back.
#include "protocol/image_transfer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "imaging/zv_image.h"
#include "protocol/protocol_state.h"
#include "tests/protocol/packet_stream.h"
#include "tests/support/golden.h"
#include "tests/support/owned_handles.h"

using zvtest::BytesEqual;
using zvtest::hexBytes;

namespace {

class ImageTransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProtocolState();
        const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        const uint8_t iv[16] = {16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
        setAES128Key(key);
        setAES128IV(iv);
    }
    void TearDown() override { resetProtocolState(); }
};

using Image = zvtest::ImagePtr;

Image packedImage(const std::vector<uint8_t> &bytes, uint32_t width, uint32_t height) {
    return Image(creatZVImageWithPixByteData(bytes.data(), width, height));
}

std::vector<uint8_t> take(SendPack pack) {
    std::vector<uint8_t> bytes;
    if (!isEmptyProtocolPack(pack)) bytes.assign(pack.data, pack.data + pack.length);
    freeSendPack(pack);
    return bytes;
}

std::vector<uint8_t> randomPage(std::mt19937 &rng, size_t size, int kind) {
    std::vector<uint8_t> bytes(size);
    for (auto &b : bytes) {
        switch (kind) {
            case 0:
                b = static_cast<uint8_t>(rng());
                break;
            case 1:
                b = rng() % 8 == 0 ? static_cast<uint8_t>(rng()) : 0;
                break;
            default:
                b = static_cast<uint8_t>(rng() % 2 ? 0xFF : 0x0F);
                break;
        }
    }
    return bytes;
}

}  // namespace

TEST_F(ImageTransferTest, AllZero384x100PageIsThe684ByteStream) {
    setODMType(28);
    setMaxDataLengthOnePackage(2048);
    const std::vector<uint8_t> page(48 * 100, 0x00);
    Image image = packedImage(page, 384, 100);
    const std::vector<uint8_t> stream = take(getAllCompressImagePart(image.get(), creatDefaultImageProtocolSetting()));
    ASSERT_EQ(stream.size(), 684u);
    const auto packets = zvtest::parsePackets(stream);
    ASSERT_EQ(packets.size(), 4u);
    const size_t sizes[] = {15, 27, 627, 15};
    const uint8_t commands[] = {11, 14, 13, 12};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(packets[i].size, sizes[i]) << i;
        EXPECT_EQ(packets[i].group, 5) << i;
        EXPECT_EQ(packets[i].command, commands[i]) << i;
    }
    EXPECT_TRUE(BytesEqual(hexBytes("A3 1E 1C 00 05 00 11 05 0B 00 00"), {stream.begin(), stream.begin() + 11}));
    EXPECT_TRUE(BytesEqual(hexBytes("A3 1E 1C 00 11 00 11 05 0E 0C 00 00 01 01 00 00 00 01 00 00 01 00 00"),
                           {stream.begin() + 15, stream.begin() + 15 + 23}));
    EXPECT_TRUE(BytesEqual(hexBytes("A3 1E 1C 00 69 02 10 05 0D 64 02 00 00 60 02 11 30 00 00 00 00 00 00"),
                           {stream.begin() + 42, stream.begin() + 42 + 23}));
    EXPECT_EQ(std::vector<uint8_t>(stream.begin() + 65, stream.begin() + 665), std::vector<uint8_t>(600, 0xFF));
    EXPECT_TRUE(BytesEqual(hexBytes("A3 1E 1C 00 05 00 11 05 0C 00 00"), {stream.begin() + 669, stream.begin() + 680}));
    const zvtest::DecodedImage decoded = zvtest::decodeImagePackets(packets);
    EXPECT_TRUE(decoded.ok);
    EXPECT_TRUE(BytesEqual(page, decoded.bytes));
}

TEST_F(ImageTransferTest, PartIndicesStartAgainInEveryChunk) {
    setODMType(28);
    setMaxDataLengthOnePackage(2048);
    // Upper half: random values 0..199; lower half 56..255. The whole page has
    // 256 values, whose tree (2044 bytes) does not fit below 2023, so the page
    // is halved into two chunks of 200 values each; each chunk codes to more
    // than one part.
    std::mt19937 rng(3);
    const uint32_t widthBytes = 16, rows = 400;
    std::vector<uint8_t> page(widthBytes * rows);
    for (size_t i = 0; i < page.size(); ++i)
        page[i] = static_cast<uint8_t>((i < page.size() / 2 ? 0 : 56) + rng() % 200);
    Image image = packedImage(page, widthBytes * 8, rows);
    const auto packets =
        zvtest::parsePackets(take(getAllCompressImagePart(image.get(), creatDefaultImageProtocolSetting())));
    const zvtest::DecodedImage decoded = zvtest::decodeImagePackets(packets);
    EXPECT_TRUE(decoded.ok);
    EXPECT_TRUE(BytesEqual(page, decoded.bytes));
    ASSERT_EQ(decoded.partIndices.size(), 2u);
    for (const auto &indices : decoded.partIndices) {
        ASSERT_GE(indices.size(), 2u);
        for (size_t k = 0; k < indices.size(); ++k) EXPECT_EQ(indices[k], k);
    }
    for (const auto &p : packets) EXPECT_LE(p.size, 2048u);
}

TEST_F(ImageTransferTest, CompressedStreamsDecodeBackToThePage) {
    std::mt19937 rng(11);
    struct Case {
        uint32_t odm, maxLength, width, height;
        int kind;
    };
    const Case cases[] = {
        {28, 2048, 384, 100, 0}, {28, 4096, 576, 240, 1}, {31, 8192, 1664, 60, 2},
        {28, 2048, 8, 300, 0},   {31, 4096, 2048, 7, 1},  {28, 8192, 832, 1, 0},
    };
    for (const Case &c : cases) {
        setODMType(c.odm);
        setMaxDataLengthOnePackage(c.maxLength);
        const std::vector<uint8_t> page = randomPage(rng, c.width / 8 * c.height, c.kind);
        Image image = packedImage(page, c.width, c.height);
        const std::vector<uint8_t> stream =
            take(getAllCompressImagePart(image.get(), creatDefaultImageProtocolSetting()));
        const auto packets = zvtest::parsePackets(stream);
        const zvtest::DecodedImage decoded = zvtest::decodeImagePackets(packets);
        EXPECT_TRUE(decoded.ok) << c.width << "x" << c.height;
        EXPECT_EQ(decoded.widthBytes, c.width / 8);
        EXPECT_TRUE(BytesEqual(page, decoded.bytes)) << c.width << "x" << c.height;
        for (const auto &p : packets) EXPECT_LE(p.size, c.maxLength) << c.width << "x" << c.height;
        EXPECT_EQ(image->width, c.width);
    }
}

TEST_F(ImageTransferTest, CompressedTransferRefusesWhatItCannotSend) {
    setODMType(28);
    setMaxDataLengthOnePackage(2048);
    const ImageProtocolSetting setting = creatDefaultImageProtocolSetting();
    EXPECT_TRUE(isEmptyProtocolPack(getAllCompressImagePart(nullptr, setting)));
    Image noPlane(creatZVImage(64, 4));
    EXPECT_TRUE(isEmptyProtocolPack(getAllCompressImagePart(noPlane.get(), setting)));
    Image odd = packedImage(std::vector<uint8_t>(12, 0), 20, 4);  // rows not whole bytes
    EXPECT_TRUE(isEmptyProtocolPack(getAllCompressImagePart(odd.get(), setting)));
    // A package so small that no tree of a varied row fits: the chunk halves
    // down to nothing and the whole page is refused, not half sent.
    setMaxDataLengthOnePackage(100);
    std::mt19937 rng(5);
    Image varied = packedImage(randomPage(rng, 32 * 8, 0), 256, 8);
    EXPECT_TRUE(isEmptyProtocolPack(getAllCompressImagePart(varied.get(), setting)));
}

TEST_F(ImageTransferTest, Odm163PartsCarry4032BytesWithRowCounts) {
    setODMType(163);
    setMaxDataLengthOnePackage(4096);
    setMaxWidthDot_l(384);
    std::mt19937 rng(1);
    const std::vector<uint8_t> page = randomPage(rng, 48 * 200, 0);
    Image image = packedImage(page, 384, 200);
    const auto packets = zvtest::parsePackets(take(getAllImageData(image.get(), creatDefaultImageProtocolSetting())));
    ASSERT_EQ(packets.size(), 5u);
    const size_t dataLengths[] = {4032, 4032, 1536};
    const uint32_t rowsBefore[] = {0, 84, 168};
    for (size_t i = 0; i < 3; ++i) {
        const auto &p = packets[1 + i];
        EXPECT_EQ(p.command, 13);
        ASSERT_EQ(p.payload.size(), 11 + dataLengths[i]);
        EXPECT_EQ(zvtest::le16(p.payload.data()), i);
        EXPECT_EQ(zvtest::le16(p.payload.data() + 2), dataLengths[i] + 7);
        EXPECT_EQ(p.payload[4], 1);
        EXPECT_EQ(zvtest::le16(p.payload.data() + 5), 48u);
        EXPECT_EQ(zvtest::le16(p.payload.data() + 7), rowsBefore[i]);
        EXPECT_LE(p.size, 4096u);
    }
    EXPECT_EQ(packets[1].size, 4u + 4064u + 4u);
    EXPECT_TRUE(BytesEqual(hexBytes("01 02 00 00 00 02 01 00 00"), packets[4].payload));
    const zvtest::DecodedImage decoded = zvtest::decodeImagePackets(packets);
    EXPECT_TRUE(decoded.ok);
    EXPECT_TRUE(BytesEqual(page, decoded.bytes));
}

TEST_F(ImageTransferTest, Odm163CropsOrCentresToTheKnownPrintWidth) {
    setODMType(163);
    setMaxDataLengthOnePackage(4096);
    setMaxWidthDot_l(384);
    std::mt19937 rng(2);
    struct Case {
        uint32_t width;
        uint32_t offsetIn, offsetOut, copy;  // bytes of each row kept and where they land
    };
    for (const Case c : {Case{576, 0, 0, 48}, Case{192, 0, 12, 24}, Case{384, 0, 0, 48}}) {
        const uint32_t rows = 30, win = c.width / 8;
        const std::vector<uint8_t> page = randomPage(rng, win * rows, 0);
        std::vector<uint8_t> expected(48 * rows, 0);
        for (uint32_t y = 0; y < rows; ++y)
            std::copy(page.begin() + y * win + c.offsetIn, page.begin() + y * win + c.offsetIn + c.copy,
                      expected.begin() + y * 48 + c.offsetOut);
        Image image = packedImage(page, c.width, rows);
        const auto packets =
            zvtest::parsePackets(take(getAllImageData(image.get(), creatDefaultImageProtocolSetting())));
        const zvtest::DecodedImage decoded = zvtest::decodeImagePackets(packets);
        EXPECT_TRUE(decoded.ok) << c.width;
        EXPECT_EQ(decoded.widthBytes, 48u) << c.width;
        EXPECT_TRUE(BytesEqual(expected, decoded.bytes)) << c.width;
        EXPECT_EQ(image->width, 384u) << c.width;
        EXPECT_TRUE(BytesEqual(expected, zvtest::bytesOf(image->pixByteData, expected.size()))) << c.width;
    }
}

TEST_F(ImageTransferTest, Odm163WithoutAKnownWidthSendsThePageAsItIs) {
    setODMType(163);
    setMaxDataLengthOnePackage(4096);
    std::mt19937 rng(4);
    for (const uint32_t width : {576u, 192u}) {
        const std::vector<uint8_t> page = randomPage(rng, width / 8 * 50, 1);
        Image image = packedImage(page, width, 50);
        const auto packets =
            zvtest::parsePackets(take(getAllImageData(image.get(), creatDefaultImageProtocolSetting())));
        const zvtest::DecodedImage decoded = zvtest::decodeImagePackets(packets);
        EXPECT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.widthBytes, width / 8);
        EXPECT_TRUE(BytesEqual(page, decoded.bytes));
        EXPECT_EQ(image->width, width);
    }
}

TEST_F(ImageTransferTest, Odm163EndPacketCarriesTheSettingValues) {
    setODMType(163);
    ImageProtocolSetting setting = creatDefaultImageProtocolSetting();
    EXPECT_EQ(setting.endValue16, 0);
    EXPECT_EQ(setting.endValue8, 0);
    EXPECT_EQ(setting.spareWord3, 1);
    setting.endValue16 = 0x1234;
    setting.endValue8 = 7;
    const auto packets = zvtest::parsePackets(take(getSendImageEndData(setting)));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].command, 12);
    EXPECT_TRUE(BytesEqual(hexBytes("01 02 00 34 12 02 01 00 07"), packets[0].payload));
    setODMType(28);
    EXPECT_EQ(take(getSendImageEndData(setting)).size(), 15u);
}

TEST_F(ImageTransferTest, UncompressedPartsRefuseRowsThatFitNoPacket) {
    setODMType(28);
    const std::vector<uint8_t> data(100, 0);
    EXPECT_TRUE(isEmptyProtocolPack(getSendImageData(data.data(), 50, 100, 50)));  // 43 bytes per part
    EXPECT_TRUE(isEmptyProtocolPack(getSendImageData(data.data(), 0, 100, 500)));
    EXPECT_TRUE(isEmptyProtocolPack(getSendImageData(data.data(), 10, 0, 500)));
    const auto packets = zvtest::parsePackets(take(getSendImageData(data.data(), 10, 100, 57)));  // 50 per part
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(zvtest::le16(packets[1].payload.data() + 7), 5u);
}

TEST_F(ImageTransferTest, TreePackIsPreorderThenInorder) {
    const std::vector<uint8_t> chunk(10, 0x00);
    const std::vector<uint8_t> tree = take(getTreePack(chunk.data(), 10));
    EXPECT_TRUE(BytesEqual(hexBytes("00 01 01 00 00 00 01 00 00 01 00 00"), tree));
    EXPECT_TRUE(isEmptyProtocolPack(getTreePack(chunk.data(), 0)));
    EXPECT_TRUE(isEmptyProtocolPack(getTreePack(nullptr, 10)));
}
