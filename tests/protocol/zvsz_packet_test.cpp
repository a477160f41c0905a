// The second framing: the two requests byte for byte, the reply decoder's
// marks and lengths, and the two replies' JSON texts and result codes.
#include "protocol/zvsz_packet.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "protocol/replies.h"
#include "tests/support/golden.h"

using zvtest::BytesEqual;
using zvtest::bytesOf;
using zvtest::hexBytes;
using zvtest::join;

namespace {

class ZVSZTest : public ::testing::Test {
  protected:
    void SetUp() override { ZVSZ_DecodeReset(); }
    void TearDown() override { ZVSZ_DecodeReset(); }
};

std::vector<uint8_t> take(SendPack pack) {
    std::vector<uint8_t> bytes;
    if (!isEmptyProtocolPack(pack)) bytes.assign(pack.data, pack.data + pack.length);
    freeSendPack(pack);
    return bytes;
}

// A reply frame: marks, length, code, two bytes, status, payload.
std::vector<uint8_t> replyFrame(uint8_t code, uint8_t status, const std::vector<uint8_t> &payload) {
    std::vector<uint8_t> frame = hexBytes("19 73 10 19");
    const uint32_t length = static_cast<uint32_t>(payload.size()) + 4;
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(length >> (8 * i)));
    frame.insert(frame.end(), {code, 0x00, 0x00, status});
    frame.insert(frame.end(), payload.begin(), payload.end());
    const std::vector<uint8_t> tail = hexBytes("19 79 04 02");
    frame.insert(frame.end(), tail.begin(), tail.end());
    return frame;
}

std::vector<uint8_t> z(const std::string &text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

struct Received {
    uint32_t result = 0;
    uint8_t failed = 0, code = 0;
    std::string json;
};

Received feedAll(const std::vector<uint8_t> &bytes) {
    Received r;
    for (size_t i = 0; i < bytes.size(); ++i) {
        ZVSZReceivePack pack = getZVSZJsonString(bytes[i]);
        if (i + 1 < bytes.size()) {
            EXPECT_EQ(pack.resultCode, 0u) << "byte " << i;
        }
        r.result = pack.resultCode;
        r.failed = pack.failed;
        r.code = pack.replyCode;
        r.json = pack.json ? pack.json : "<null>";
        freeZVSZReceivePack(pack);
    }
    return r;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs membersOf(const std::string &json) {
    Pairs pairs;
    cJSON *root = cJSON_Parse(json.c_str());
    EXPECT_TRUE(cJSON_IsObject(root)) << json;
    for (cJSON *item = root ? root->child : nullptr; item != nullptr; item = item->next)
        pairs.emplace_back(item->string, cJSON_IsString(item) ? item->valuestring : "<not a string>");
    cJSON_Delete(root);
    return pairs;
}

const Pairs kInfo = {{"code", "0"},      {"msg", "ok"},    {"printerModel", "ZV-S1"}, {"sn", "S123"},
                     {"isSetWiFi", "1"}, {"ssid", "home"}, {"ip", "10.0.0.7"}};

std::vector<uint8_t> infoPayload() {
    return join({{0}, z("ok"), z("ZV-S1"), z("S123"), {1}, z("home"), z("10.0.0.7")});
}

}  // namespace

TEST_F(ZVSZTest, PrinterInformationRequestIs16Bytes) {
    const std::vector<uint8_t> request = take(ZVSZ_Get_PrinterInfoData());
    ASSERT_EQ(request.size(), 16u);
    std::vector<uint8_t> expected = hexBytes("19 73 10 19 04 00 00 00 02 00 00 00 19 79 04 02");
    expected[10] = request[10];  // the random byte
    EXPECT_TRUE(BytesEqual(expected, request));
}

TEST_F(ZVSZTest, WifiRequestCarriesBothTextsWithTheirZeros) {
    const std::vector<uint8_t> request = take(ZVSZ_Set_PrinterWiFi("home", "secret12"));
    ASSERT_EQ(request.size(), 30u);
    std::vector<uint8_t> expected =
        join({hexBytes("19 73 10 19 12 00 00 00 04 00 00 00"), z("home"), z("secret12"), hexBytes("19 79 04 02")});
    expected[10] = request[10];
    EXPECT_TRUE(BytesEqual(expected, request));
    EXPECT_TRUE(take(ZVSZ_Set_PrinterWiFi(nullptr, "x")).empty());
    // More than a frame holds.
    EXPECT_TRUE(take(ZVSZ_Set_PrinterWiFi(std::string(2030, 'n').c_str(), "p")).empty());
}

TEST_F(ZVSZTest, FrameBuilderFillsTheLengthAndRefusesOversizedData) {
    ZVSZPacket packet;
    creatDefaultZVSZPacket(&packet);
    const uint8_t data[3] = {7, 8, 9};
    packet.command = 0x105;
    packet.extra1 = 0xE1;
    packet.randomByte = 0x5A;
    packet.extra2 = 0xE2;
    packet.data = data;
    packet.dataLength = 3;
    EXPECT_TRUE(BytesEqual(hexBytes("19 73 10 19 07 00 00 00 05 E1 5A E2 07 08 09 19 79 04 02"),
                           take(ZVSZ_GetProtocolPack(packet))));
    std::vector<uint8_t> big(2033, 0);
    packet.data = big.data();
    packet.dataLength = 2033;
    EXPECT_TRUE(take(ZVSZ_GetProtocolPack(packet)).empty());
    packet.dataLength = 2032;
    EXPECT_EQ(take(ZVSZ_GetProtocolPack(packet)).size(), 2048u);
}

TEST_F(ZVSZTest, PrinterInformationReply) {
    const Received r = feedAll(join({hexBytes("00 19 73 19"), replyFrame(2, 1, infoPayload())}));
    EXPECT_EQ(r.result, 1u);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(membersOf(r.json), kInfo);
}

TEST_F(ZVSZTest, WifiReply) {
    const Received r = feedAll(replyFrame(4, 1, join({{3}, z("joined"), z("192.168.0.9")})));
    EXPECT_EQ(r.result, 1u);
    EXPECT_EQ(membersOf(r.json), (Pairs{{"code", "3"}, {"msg", "joined"}, {"ip", "192.168.0.9"}}));
}

TEST_F(ZVSZTest, RepliesThatAreRefusedUnknownOrMalformed) {
    struct Case {
        const char *name;
        std::vector<uint8_t> frame;
        uint32_t result;
    };
    const std::vector<Case> cases = {
        {"status 0", replyFrame(2, 0, infoPayload()), 2},
        {"unknown code", replyFrame(7, 1, {}), 3},
        {"bytes after the last text", replyFrame(4, 1, join({{0}, z("m"), z("ip"), {9}})), 2},
        {"text without its zero", replyFrame(4, 1, join({{0}, z("m"), bytesOf("10.0")})), 2},
        {"payload ends early", replyFrame(2, 1, join({{0}, z("ok")})), 2},
        {"length below the reply head", hexBytes("19 73 10 19 02 00 00 00 04 01 19 79 04 02"), 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Received r = feedAll(c.frame);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.failed, 1);
        EXPECT_EQ(r.json, "{}");
    }
    // Bytes left over: the JSON output is filled, the receive text is not.
    for (uint8_t b : replyFrame(4, 1, join({{0}, z("m"), z("ip"), {9}}))) ZVSZ_Packet_Decode(b);
    ASSERT_EQ(ZVSZ_AckToAppProcess(), 1);
    EXPECT_EQ(ZVSZ_AnalysisPack(), 2u);
    EXPECT_EQ(membersOf(getZVSZJson()), (Pairs{{"code", "0"}, {"msg", "m"}, {"ip", "ip"}}));
}

TEST_F(ZVSZTest, LengthsAndMarksThatDropTheFrame) {
    ZVSZDecoder decoder;
    // Length 2049: error code 4, nothing ready.
    for (uint8_t b : hexBytes("19 73 10 19 01 08 00 00")) decoder.feed(b);
    EXPECT_EQ(decoder.lastError(), kZVSZBodyTooLong);
    EXPECT_FALSE(decoder.replyReady());
    // Length 0 drops silently; a wrong end mark drops without a report.
    for (uint8_t b : hexBytes("19 73 10 19 00 00 00 00 19 79 04 02")) decoder.feed(b);
    EXPECT_FALSE(decoder.replyReady());
    std::vector<uint8_t> badTail = replyFrame(4, 1, join({{0}, z("m"), z("ip")}));
    badTail.back() = 0x03;
    for (uint8_t b : badTail) decoder.feed(b);
    EXPECT_FALSE(decoder.replyReady());
    // A frame of 2048 body bytes is taken whole.
    std::vector<uint8_t> payload = join({{0}, z(std::string(2041, 'm')), z("")});
    ASSERT_EQ(payload.size() + 4, 2048u);
    for (uint8_t b : replyFrame(4, 1, payload)) decoder.feed(b);
    ASSERT_TRUE(decoder.unpack());
    EXPECT_EQ(decoder.interpret(), 1u);
    EXPECT_EQ(decoder.payloadLength(), 2044u);
}
