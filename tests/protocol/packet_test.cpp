// Packet frame, CRC seeds, AES-128-CBC and the package-size rule.
#include "protocol/packet.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "protocol/aes.h"
#include "protocol/protocol_state.h"
#include "tests/support/golden.h"

using zvtest::BytesEqual;
using zvtest::hexBytes;

namespace {

class PacketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProtocolState();
        setODMType(28);
    }
    void TearDown() override { resetProtocolState(); }
};

PacketHead commandHead(uint8_t group, uint8_t command, uint16_t payloadLength) {
    PacketHead head{};
    head.group = group;
    head.command = command;
    head.encryptType = getEncryptType();
    head.attrHigh = 1;
    head.attrLow = 1;
    head.payloadLength = payloadLength;
    return head;
}

std::vector<uint8_t> take(SendPack pack) {
    std::vector<uint8_t> bytes;
    if (!isEmptyProtocolPack(pack)) bytes.assign(pack.data, pack.data + pack.length);
    freeSendPack(pack);
    return bytes;
}

std::vector<uint8_t> build(uint8_t group, uint8_t command, const std::vector<uint8_t> &payload) {
    return take(zvGetProtocolPack(commandHead(group, command, static_cast<uint16_t>(payload.size())),
                                  payload.empty() ? nullptr : payload.data()));
}

}  // namespace

TEST_F(PacketTest, PrintSpeedUnderOdm28IsTheWorkedPacket) {
    EXPECT_TRUE(BytesEqual(hexBytes("A3 1E 1C 00 06 00 11 05 07 01 00 03 C8 18 67 CB"), build(5, 7, {3})));
}

TEST_F(PacketTest, CommandWithoutPayloadIs15Bytes) {
    const std::vector<uint8_t> packet = build(5, 11, {});
    ASSERT_EQ(packet.size(), 15u);
    EXPECT_TRUE(BytesEqual(hexBytes("A3 1E 1C 00 05 00 11 05 0B 00 00"), {packet.begin(), packet.begin() + 11}));
    const uint8_t body[] = {0x11, 0x05, 0x0B, 0x00, 0x00};
    const uint32_t crc = static_cast<uint32_t>(crc32(kPacketCrcSeed, body, sizeof body));
    EXPECT_EQ(packet[11] | packet[12] << 8 | packet[13] << 16 | static_cast<uint32_t>(packet[14]) << 24, crc);
}

TEST_F(PacketTest, Odm31ChangesOnlyTheOdmByteAndTheCrcSeed) {
    const std::vector<uint8_t> odm28 = build(5, 7, {3});
    setODMType(31);
    const std::vector<uint8_t> odm31 = build(5, 7, {3});
    ASSERT_EQ(odm31.size(), 16u);
    std::vector<uint8_t> expected = odm28;
    expected[2] = 31;
    const uint32_t crc = static_cast<uint32_t>(crc32(kPacketCrcSeedOdm31, odm28.data() + 6, 6));
    for (int i = 0; i < 4; ++i) expected[12 + i] = static_cast<uint8_t>(crc >> (8 * i));
    EXPECT_TRUE(BytesEqual(expected, odm31));
    EXPECT_NE(odm28[12], odm31[12]);
}

TEST_F(PacketTest, CrcMatchesZlibContinuedFromTheSeed) {
    const uint8_t data[] = "123456789";
    EXPECT_EQ(HAL_ZV_crc32(0, data, 9), 0xCBF43926u);
    EXPECT_EQ(HAL_ZV_crc32(kPacketCrcSeed, data, 9), static_cast<uint32_t>(crc32(kPacketCrcSeed, data, 9)));
    EXPECT_EQ(HAL_ZV_crc32_twoBuff(kPacketCrcSeed, data, 4, data + 4, 5), HAL_ZV_crc32(kPacketCrcSeed, data, 9));
    EXPECT_EQ(HAL_ZV_crc32_twoBuff(kPacketCrcSeed, data, 9, nullptr, 0), HAL_ZV_crc32(kPacketCrcSeed, data, 9));
}

TEST_F(PacketTest, AesMatchesTheFips197KnownAnswers) {
    struct Case {
        const char *key, *plain, *cipher;
    };
    const Case cases[] = {
        // FIPS-197 appendix C.1 and appendix B.
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
    };
    for (const Case &c : cases) {
        const std::vector<uint8_t> key = hexBytes(c.key);
        std::vector<uint8_t> block = hexBytes(c.plain);
        AES_Init(key.data());
        BlockEncrypt(block.data());
        EXPECT_TRUE(BytesEqual(hexBytes(c.cipher), block));
        BlockDecrypt(block.data());
        EXPECT_TRUE(BytesEqual(hexBytes(c.plain), block));
    }
}

TEST_F(PacketTest, CbcMatchesTheSp800_38aVectorAndLeavesATailAlone) {
    const std::vector<uint8_t> key = hexBytes("2b7e151628aed2a6abf7158809cf4f3c");
    const std::vector<uint8_t> iv = hexBytes("000102030405060708090a0b0c0d0e0f");
    std::vector<uint8_t> data = hexBytes("6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51 0102");
    const std::vector<uint8_t> plain = data;
    AES_Init(key.data());
    std::vector<uint8_t> cipher(data.size());
    AES_Encrypt(data.data(), cipher.data(), static_cast<uint32_t>(data.size()), iv.data());
    EXPECT_TRUE(BytesEqual(hexBytes("7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2 0102"), cipher));
    AES_Decrypt(cipher.data(), cipher.data(), static_cast<uint32_t>(cipher.size()), iv.data());
    EXPECT_TRUE(BytesEqual(plain, cipher));
}

TEST_F(PacketTest, ZeroPaddingAlwaysAddsAtLeastOneByte) {
    struct Case {
        uint32_t length, padded;
    };
    for (const Case c : {Case{6, 16}, Case{15, 16}, Case{16, 32}, Case{17, 32}, Case{0, 16}}) {
        std::vector<uint8_t> buffer(c.length + 16, 0xEE);
        EXPECT_EQ(AES_add_zeros(buffer.data(), c.length), c.padded) << c.length;
        for (uint32_t i = c.length; i < c.padded; ++i) EXPECT_EQ(buffer[i], 0) << c.length << " at " << i;
    }
}

namespace {

// Decrypts the body of a short-form encrypted packet and checks its frame.
std::vector<uint8_t> plainBodyOf(const std::vector<uint8_t> &packet, const uint8_t key[16], const uint8_t iv[16]) {
    const uint32_t cipherLength = packet[2] | packet[3] << 8;
    EXPECT_EQ(packet.size(), 4u + cipherLength + 4u);
    const uint8_t *cipher = packet.data() + 4;
    const uint32_t crc = static_cast<uint32_t>(crc32(kPacketCrcSeed, cipher, cipherLength));
    const uint8_t *tail = cipher + cipherLength;
    EXPECT_EQ(tail[0] | tail[1] << 8 | tail[2] << 16 | static_cast<uint32_t>(tail[3]) << 24, crc)
        << "the CRC covers the cipher bytes";
    std::vector<uint8_t> plain(cipher, cipher + cipherLength);
    AES_Init(key);
    AES_Decrypt(plain.data(), plain.data(), cipherLength, iv);
    return plain;
}

}  // namespace

TEST_F(PacketTest, Odm163EncryptsAOneByteSettingInto24Bytes) {
    setODMType(163);
    const std::vector<uint8_t> key = hexBytes("000102030405060708090a0b0c0d0e0f");
    const std::vector<uint8_t> iv = hexBytes("f0e0d0c0b0a090807060504030201000");
    setAES128Key(key.data());
    setAES128IV(iv.data());
    const std::vector<uint8_t> packet = build(5, 7, {3});
    ASSERT_EQ(packet.size(), 24u);
    EXPECT_TRUE(BytesEqual(hexBytes("A3 20 10 00"), {packet.begin(), packet.begin() + 4}));
    EXPECT_TRUE(BytesEqual(hexBytes("11 05 07 01 00 03 00 00 00 00 00 00 00 00 00 00"),
                           plainBodyOf(packet, key.data(), iv.data())));
    // The cipher is CBC from the IV: the single block is E(k, body XOR IV).
    std::vector<uint8_t> block = hexBytes("11 05 07 01 00 03 00 00 00 00 00 00 00 00 00 00");
    for (int i = 0; i < 16; ++i) block[i] ^= iv[i];
    AES_Init(key.data());
    BlockEncrypt(block.data());
    EXPECT_TRUE(BytesEqual(block, {packet.begin() + 4, packet.begin() + 20}));
}

TEST_F(PacketTest, Odm163PadsASixteenByteBodyTo32) {
    setODMType(163);
    const uint8_t zeros[16] = {};
    setAES128Key(zeros);
    setAES128IV(zeros);
    const std::vector<uint8_t> payload = hexBytes("01 02 03 04 05 06 07 08 09 0A 0B");  // 5 + 11 = 16 body bytes
    const std::vector<uint8_t> packet = build(5, 4, payload);
    ASSERT_EQ(packet.size(), 4u + 32u + 4u);
    EXPECT_TRUE(BytesEqual(hexBytes("A3 20 20 00"), {packet.begin(), packet.begin() + 4}));
    const std::vector<uint8_t> plain = plainBodyOf(packet, zeros, zeros);
    EXPECT_TRUE(BytesEqual(zvtest::join({hexBytes("11 05 04 0B 00"), payload, std::vector<uint8_t>(16, 0)}), plain));
}

TEST_F(PacketTest, MissingKeyWarnsOncePerJobAndUsesZeroBytes) {
    setODMType(163);
    testing::internal::CaptureStderr();
    const std::vector<uint8_t> first = build(5, 7, {3});
    const std::vector<uint8_t> second = build(5, 7, {3});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("WARNING: ", 0), 0u) << err;
    EXPECT_EQ(err.find("WARNING: ", 1), std::string::npos) << "warned twice: " << err;
    EXPECT_EQ(first, second);
    const uint8_t zeros[16] = {};
    EXPECT_EQ(plainBodyOf(first, zeros, zeros)[5], 3);

    resetProtocolState();
    setODMType(163);
    ASSERT_TRUE(setAES128KeyHex("000102030405060708090A0B0C0D0E0F"));
    ASSERT_TRUE(setAES128IVHex(" 00000000000000000000000000000000\n"));
    testing::internal::CaptureStderr();
    const std::vector<uint8_t> keyed = build(5, 7, {3});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(keyed, first);
}

TEST_F(PacketTest, PlainOdmTypesNeverWarnAboutTheKey) {
    testing::internal::CaptureStderr();
    take(zvGetProtocolPack(commandHead(5, 7, 0), nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(PacketTest, HexKeysMustBeExactly32Digits) {
    for (const char *bad : std::initializer_list<const char *>{"", "0001", "000102030405060708090a0b0c0d0e0",
                                                               "000102030405060708090a0b0c0d0e0f00",
                                                               "000102030405060708090a0b0c0d0eXX", nullptr})
        EXPECT_FALSE(setAES128KeyHex(bad)) << (bad ? bad : "null");
    EXPECT_FALSE(hasAES128Key());
    EXPECT_TRUE(setAES128KeyHex("ffEEddccbbaa99887766554433221100"));
    uint8_t key[16];
    getAES128Key(key);
    EXPECT_TRUE(BytesEqual(hexBytes("ffeeddccbbaa99887766554433221100"), zvtest::bytesOf(key, 16)));
}

TEST_F(PacketTest, EncryptionFollowsTheOdmType) {
    EXPECT_EQ(getEncryptType(), 0);
    setODMType(31);
    EXPECT_EQ(getEncryptType(), 0);
    setODMType(163);
    EXPECT_EQ(getEncryptType(), 2);
}

TEST_F(PacketTest, ShortHeadPlainPacketIs13PlusPayload) {
    setODMType(163);
    PacketHead head = commandHead(5, 7, 1);
    head.encryptType = 0;
    const uint8_t payload = 3;
    const std::vector<uint8_t> packet = take(zvGetProtocolPack(head, &payload));
    ASSERT_EQ(packet.size(), 14u);
    EXPECT_TRUE(BytesEqual(hexBytes("A3 00 06 00 11 05 07 01 00 03"), {packet.begin(), packet.begin() + 10}));
}

TEST_F(PacketTest, MissingPayloadWithALengthIsRejected) {
    EXPECT_TRUE(isEmptyProtocolPack(zvGetProtocolPack(commandHead(5, 7, 4), nullptr)));
}

TEST_F(PacketTest, BodyTooLongForItsLengthFieldIsRejected) {
    std::vector<uint8_t> payload(65531, 0);
    EXPECT_TRUE(build(5, 13, payload).empty());
    payload.resize(65530);
    EXPECT_EQ(build(5, 13, payload).size(), 65530u + 15u);
}

TEST_F(PacketTest, ImagePackageLengthRule) {
    struct Case {
        uint32_t odm, maxLength, widthBytes, expected;
    };
    const Case cases[] = {
        {28, 4096, 72, 4032},                      // 4060 down to a multiple of 72
        {163, 4096, 48, 4032},                     // 4062 -> 4032
        {28, 2048, 48, 1968},    {28, 47, 1, 10},  // 11 bytes left: ten rows instead
        {28, 4096, 5000, 50000},                   // not even one row fits
        {28, 0, 48, 480},                          // never set: no room, ten rows
    };
    for (const Case &c : cases) {
        setODMType(c.odm);
        setMaxDataLengthOnePackage(c.maxLength);
        EXPECT_EQ(getPrintImageOnePackageWithImageWidthByte(c.widthBytes), c.expected)
            << c.odm << "/" << c.maxLength << "/" << c.widthBytes;
        EXPECT_EQ(getPrintImageOnePackageLength(), c.expected);
    }
    EXPECT_EQ(getPrintImageOnePackageWithImageWidthByte(0), 0u);
}

TEST_F(PacketTest, MaxWidthReadsZeroUntilSet) {
    EXPECT_EQ(getMaxWidthDot_l(), 0);
    setMaxWidthDot_l(4294967295u);
    EXPECT_EQ(getMaxWidthDot_l(), 4294967295LL);
    setMaxWidthDot_l(384);
    EXPECT_EQ(getMaxWidthDot_l(), 384);
}

TEST_F(PacketTest, FileTransferCountersFollowGroup2Packets) {
    // Start: total length at payload offset 8.
    build(2, 1, hexBytes("00 00 00 00 00 00 00 00 10 27 00 00"));
    EXPECT_EQ(getFileTransferTotalLength(), 10000u);
    EXPECT_EQ(getFileTransferCurrentLength(), 0u);
    // First data block (01 00) sets the offset index.
    build(2, 3, hexBytes("01 00 00 04 E8 03 00 00"));
    EXPECT_EQ(getFileTransferOffsetIndex(), 1000u);
    EXPECT_EQ(getFileTransferCurrentLength(), 0u);
    EXPECT_EQ(getFileTransferCurrentSendLength(), 1024u);
    build(2, 3, hexBytes("02 00 00 02 E8 07 00 00"));
    EXPECT_EQ(getFileTransferOffsetIndex(), 1000u);
    EXPECT_EQ(getFileTransferCurrentLength(), 1024u);
    EXPECT_EQ(getFileTransferCurrentSendLength(), 512u);
    // Too short for its fields, other commands, other groups: nothing changes.
    build(2, 3, hexBytes("01 00 00 02"));
    build(2, 5, hexBytes("01 00 00 02 00 00 00 00"));
    build(5, 3, hexBytes("01 00 00 02 00 00 00 00"));
    EXPECT_EQ(getFileTransferOffsetIndex(), 1000u);
    EXPECT_EQ(getFileTransferCurrentLength(), 1024u);
    EXPECT_EQ(getFileTransferTotalLength(), 10000u);
}
