// Receiving side of the packet protocol: frame decoder states, CRC and length
// errors, decryption for ODM printer type 163, every reply family's JSON keys
// and result codes, and the status-word texts.
#include "protocol/replies.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "protocol/protocol_state.h"
#include "tests/protocol/reply_frames.h"
#include "tests/support/golden.h"

using zvtest::hexBytes;
using zvtest::replyFrame;
using zvtest::textBytes;
using zvtest::tlvItem;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class RepliesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProtocolState();
        setODMType(28);
        setConnectedDeviceName("");
        HAL_ZVDecodeReset();
    }
    void TearDown() override {
        HAL_ZVDecodeReset();
        resetProtocolState();
    }
};

// Feeds every byte through getJsonString; returns the pack of the last byte
// and frees the others (which must report nothing).
struct Received {
    uint32_t result = 0;
    uint8_t head = 0, group = 0, command = 0, failed = 0;
    std::string json;
};

Received feedAll(const std::vector<uint8_t> &bytes) {
    Received last;
    for (size_t i = 0; i < bytes.size(); ++i) {
        ReceivePack pack = getJsonString(bytes[i]);
        if (i + 1 < bytes.size()) {
            EXPECT_EQ(pack.resultCode, 0u) << "byte " << i;
        }
        last.result = pack.resultCode;
        last.head = pack.headByte;
        last.group = pack.group;
        last.command = pack.command;
        last.failed = pack.failed;
        last.json = pack.json ? pack.json : "<null>";
        freeReceivePack(pack);
    }
    return last;
}

// The JSON object's members in order, all of which must be strings.
Pairs membersOf(const std::string &json) {
    Pairs pairs;
    cJSON *root = cJSON_Parse(json.c_str());
    if (root == nullptr || !cJSON_IsObject(root)) {
        ADD_FAILURE() << "not a JSON object: " << json;
        cJSON_Delete(root);
        return pairs;
    }
    for (cJSON *item = root->child; item != nullptr; item = item->next) {
        EXPECT_TRUE(cJSON_IsString(item)) << item->string;
        pairs.emplace_back(item->string, cJSON_IsString(item) ? item->valuestring : "");
    }
    cJSON_Delete(root);
    return pairs;
}

struct ReplyCase {
    const char *name;
    uint8_t head, group, command;
    std::vector<uint8_t> payload;
    uint32_t result;
    Pairs members;  // expected object; empty with result 1 means "{}"
};

void checkCase(const ReplyCase &c) {
    SCOPED_TRACE(c.name);
    const Received r = feedAll(replyFrame(28, c.head, c.group, c.command, c.payload));
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.group, c.group);
    EXPECT_EQ(r.command, c.command);
    EXPECT_EQ(r.head, c.head);
    EXPECT_EQ(r.failed, c.result > 1 ? 1 : 0);
    if (c.members.empty())
        EXPECT_EQ(r.json, "{}");
    else
        EXPECT_EQ(membersOf(r.json), c.members);
}

std::vector<uint8_t> cat(std::vector<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

// ---- frame decoder ---------------------------------------------------------

TEST_F(RepliesTest, PaperTypeReplyIsTheWorkedExampleExactly) {
    const Received r = feedAll(replyFrame(28, 0x21, 5, 16, hexBytes("01 2C 01")));
    EXPECT_EQ(r.result, 1u);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.json, "{\n\t\"paperType\":\t\"1\",\n\t\"paperLength\":\t\"30.0\"\n}");
}

TEST_F(RepliesTest, HandWrittenFrameWithItsCrcDecodes) {
    // The frame of the print-speed reply (5/6, value 3) written out in full:
    // body 21 05 06 01 00 03, CRC-32 continued from 0x76953521.
    const std::vector<uint8_t> body = hexBytes("21 05 06 01 00 03");
    const uint32_t crc = static_cast<uint32_t>(crc32(0x76953521u, body.data(), 6));
    std::vector<uint8_t> frame = hexBytes("A3 1E 1C 00 06 00 21 05 06 01 00 03");
    zvtest::appendLe32(frame, crc);
    EXPECT_EQ(frame, replyFrame(28, 0x21, 5, 6, {3}));
    EXPECT_EQ(membersOf(feedAll(frame).json), (Pairs{{"printSpeed", "3"}}));
}

TEST_F(RepliesTest, NoiseBeforeTheFrameIsSkippedAndA3NotFollowedBy1EResets) {
    const std::vector<uint8_t> reply = replyFrame(28, 0x21, 5, 6, {9});
    // Noise, then A3 55 (reset), then the frame.
    EXPECT_EQ(membersOf(feedAll(cat({hexBytes("00 FF 13 A3 55"), reply})).json), (Pairs{{"printSpeed", "9"}}));
    // A3 A3 1E: the second A3 is taken as the byte after A3 and resets; the
    // 1E that follows does not start a frame, so the reply is missed.
    std::vector<uint8_t> doubled = reply;
    doubled.insert(doubled.begin(), 0xA3);
    const Received missed = feedAll(doubled);
    EXPECT_EQ(missed.result, 0u);
}

TEST_F(RepliesTest, FrameOfAnotherOdmTypeIsNotTaken) {
    const Received r = feedAll(replyFrame(31, 0x21, 5, 6, {3}));
    EXPECT_EQ(r.result, 0u);
    setODMType(31);
    HAL_ZVDecodeReset();
    EXPECT_EQ(membersOf(feedAll(replyFrame(31, 0x21, 5, 6, {3})).json), (Pairs{{"printSpeed", "3"}}));
}

TEST_F(RepliesTest, CrcMismatchDropsTheFrameWithErrorCode3AndTheNextFrameDecodes) {
    std::vector<uint8_t> bad = replyFrame(28, 0x21, 5, 6, {3});
    bad.back() ^= 0x01;
    const Received r = feedAll(bad);
    EXPECT_EQ(r.result, 0u);
    EXPECT_EQ(r.json, "{}");
    EXPECT_EQ(getReplyDecodeError(), kReceiveCrcMismatch);
    EXPECT_EQ(HAL_ZV_AckToAPP_Process(), 0);
    EXPECT_EQ(membersOf(feedAll(replyFrame(28, 0x21, 5, 6, {4})).json), (Pairs{{"printSpeed", "4"}}));
    EXPECT_EQ(getReplyDecodeError(), kReceiveNoError);
}

TEST_F(RepliesTest, BodyLongerThan2050GivesErrorCode5AndResets) {
    // Body length 2051 announced; the bytes that follow are not taken as a body.
    for (uint8_t b : hexBytes("A3 1E 1C 00 03 08")) HAL_ZV_Packet_Decode(b);
    EXPECT_EQ(getReplyDecodeError(), kReceiveBodyTooLong);
    EXPECT_FALSE(processReplyDecoder().inFrame());
    // 2050 itself is accepted.
    std::vector<uint8_t> payload(2045, 'x');
    const Received r = feedAll(replyFrame(28, 0x21, 1, 8, payload));
    EXPECT_EQ(r.result, 1u);
    EXPECT_EQ(membersOf(r.json), (Pairs{{"devName", std::string(2045, 'x')}}));
}

TEST_F(RepliesTest, EmptyBodyGoesStraightToTheCrcAndIsNoReply) {
    // Body length 0, CRC of no bytes (the seed): a frame, but no command head.
    std::vector<uint8_t> frame = hexBytes("A3 1E 1C 00 00 00");
    zvtest::appendLe32(frame, 0x76953521u);
    const Received r = feedAll(frame);
    EXPECT_EQ(r.result, 2u);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.json, "{}");
    // Body length 0 with a wrong CRC is a CRC mismatch.
    std::vector<uint8_t> wrong = hexBytes("A3 1E 1C 00 00 00 00 00 00 00");
    EXPECT_EQ(feedAll(wrong).result, 0u);
    EXPECT_EQ(getReplyDecodeError(), kReceiveCrcMismatch);
}

TEST_F(RepliesTest, PayloadLengthBeyondTheBodyIsMalformed) {
    // The command head claims 200 payload bytes; 2 arrived.
    const Received r = feedAll(replyFrame(28, 0x21, 1, 8, textBytes("ab"), nullptr, 200));
    EXPECT_EQ(r.result, 2u);
    EXPECT_EQ(r.json, "{}");
}

TEST_F(RepliesTest, Odm163RepliesAreShortFormAndDecryptedWithTheKey) {
    setODMType(163);
    HAL_ZVDecodeReset();
    zvtest::ReplyCipher cipher{};
    for (int i = 0; i < 16; ++i) {
        cipher.key[i] = static_cast<uint8_t>(0x10 + i);
        cipher.iv[i] = static_cast<uint8_t>(0xF0 - i);
    }
    setAES128Key(cipher.key);
    setAES128IV(cipher.iv);
    const std::vector<uint8_t> frame = replyFrame(163, 0x21, 5, 16, hexBytes("02 F4 01"), &cipher);
    ASSERT_EQ(frame.size(), 4u + 16 + 4);
    EXPECT_EQ(frame[0], 0xA3);
    EXPECT_EQ(frame[1], 0x20);
    EXPECT_EQ(membersOf(feedAll(frame).json), (Pairs{{"paperType", "2"}, {"paperLength", "50.0"}}));
    // A body of exactly 16 plain bytes travels as 32 cipher bytes.
    const std::vector<uint8_t> longer = replyFrame(163, 0x21, 1, 8, textBytes("ZV-N10-01AB"), &cipher);
    ASSERT_EQ(longer.size(), 4u + 32 + 4);
    EXPECT_EQ(membersOf(feedAll(longer).json), (Pairs{{"devName", "ZV-N10-01AB"}}));
    // Under another key the decrypted head is garbage: refused or unknown, never understood.
    zvtest::ReplyCipher other = cipher;
    other.key[0] ^= 0xFF;
    EXPECT_NE(feedAll(replyFrame(163, 0x21, 5, 16, hexBytes("02 F4 01"), &other)).result, 1u);
}

// ---- reply families ----------------------------------------------------

TEST_F(RepliesTest, DeviceGroupReplies) {
    const std::vector<ReplyCase> cases = {
        {"sn", 0x21, 1, 6, textBytes("SN0042"), 1, {{"sn", "SN0042"}}},
        {"name", 0x21, 1, 8, textBytes("ZV-P1"), 1, {{"devName", "ZV-P1"}}},
        {"name up to zero", 0x21, 1, 8, hexBytes("41 42 00 43"), 1, {{"devName", "AB"}}},
        {"firmware", 0x21, 1, 11, textBytes("V1.2.3"), 1, {{"firmware", "V1.2.3"}}},
        {"power off", 0x21, 1, 12, hexBytes("2C 01"), 1, {{"devAutoPowerOffTime", "300"}}},
        {"temperature", 0x21, 1, 16, hexBytes("7B 01"), 1, {{"devTemp", "37.9"}}},
        {"temperature notice", 0x10, 1, 17, hexBytes("64"), 1, {{"devTemp", "10.0"}}},
        {"ota", 0x21, 1, 35, textBytes("/ota/a.bin"), 1, {{"otaPath", "/ota/a.bin"}}},
        {"button enable", 0x21, 1, 80, hexBytes("01"), 1, {{"setBtnEnableState", "1"}}},
        {"button",
         0x21,
         1,
         81,
         hexBytes("01 02 03 04"),
         1,
         {{"btn", "1"}, {"btnState", "2"}, {"longClick", "3"}, {"shortClick", "4"}}},
        {"button short", 0x21, 1, 81, hexBytes("01 02 03"), 2, {}},
        {"set button", 0x21, 1, 82, hexBytes("00"), 1, {{"setBtnState", "0"}}},
        {"button function", 0x21, 1, 83, hexBytes("01 05"), 1, {{"btnState", "1"}, {"btnFunction", "5"}}},
        {"reset ack", 0x21, 1, 20, {}, 1, {}},
        {"shutdown time ack", 0x21, 1, 13, hexBytes("00"), 1, {}},
        {"wrong head", 0x10, 1, 8, textBytes("x"), 2, {}},
        {"notice with ordinary head", 0x21, 1, 17, hexBytes("64"), 2, {}},
        {"unknown command", 0x21, 1, 99, {}, 3, {}},
        {"unknown group", 0x21, 6, 1, {}, 3, {}},
    };
    for (const ReplyCase &c : cases) checkCase(c);
}

TEST_F(RepliesTest, SystemInformationReplyIsParsedAsJson) {
    const std::string full = R"({"DevName":"ZV-P1","Firmware":"1.0.7","HWVer":"H2","SN":"A001"})";
    checkCase({"full",
               0x21,
               1,
               3,
               textBytes(full),
               1,
               {{"DevName", "ZV-P1"},
                {"Firmware", "1.0.7"},
                {"HWVer", "H2"},
                {"SN", "A001"},
                {"devName", "ZV-P1"},
                {"firmware", "1.0.7"},
                {"hwVer", "H2"},
                {"sn", "A001"},
                {"manufacturer", "Zorvan"}}});
    const std::string maker = R"({"DevName":"D","Firmware":"F","HWVer":"H","SN":"S","Manufacturer":"Acme"})";
    const Received r = feedAll(replyFrame(28, 0x21, 1, 3, textBytes(maker)));
    EXPECT_EQ(membersOf(r.json).back(), (std::pair<std::string, std::string>{"manufacturer", "Acme"}));
    // Without all four items the payload text itself is the output.
    const std::string partial = R"({"DevName":"D","Firmware":""})";
    EXPECT_EQ(feedAll(replyFrame(28, 0x21, 1, 3, textBytes(partial))).json, partial);
    EXPECT_EQ(feedAll(replyFrame(28, 0x21, 1, 3, textBytes("not json"))).json, "not json");
    // Other ODM types name no manufacturer.
    setODMType(30);
    HAL_ZVDecodeReset();
    EXPECT_EQ(membersOf(feedAll(replyFrame(30, 0x21, 1, 3, textBytes(full))).json).back(),
              (std::pair<std::string, std::string>{"manufacturer", ""}));
}

TEST_F(RepliesTest, DeviceGroupTlvReplies) {
    const std::vector<ReplyCase> cases = {
        {"product",
         0x21,
         1,
         4,
         cat({tlvItem(1, {7}), tlvItem(2, {3}), tlvItem(3, hexBytes("CB 00")), tlvItem(4, hexBytes("80 01"))}),
         1,
         {{"devProdType", "7"}, {"supportPaperSize", "3"}, {"dpi", "203"}, {"widthMaxDot", "384"}}},
        {"hardware",
         0x21,
         1,
         10,
         cat({tlvItem(1, textBytes("HW2")), tlvItem(2, textBytes("GD32")), tlvItem(3, {1}),
              tlvItem(4, hexBytes("D0 07"))}),
         1,
         {{"hwVer", "HW2"}, {"mcuChip", "GD32"}, {"powerMode", "1"}, {"powerVoltage", "2000"}}},
        {"battery",
         0x21,
         1,
         14,
         cat({tlvItem(1, hexBytes("9A 01")), tlvItem(2, hexBytes("55 03")), tlvItem(3, {2})}),
         1,
         {{"batteryVoltage", "4.10"}, {"batteryPercent", "85.3"}, {"batteryState", "2"}}},
        {"battery notice", 0x10, 1, 15, tlvItem(2, hexBytes("E8 03")), 1, {{"batteryPercent", "100.0"}}},
        {"battery with ordinary head refused", 0x21, 1, 15, tlvItem(2, hexBytes("E8 03")), 2, {}},
        {"state notice",
         0x10,
         1,
         18,
         cat({tlvItem(1, hexBytes("02 00")), tlvItem(2, {1})}),
         1,
         {{"printStatus", "2"}, {"batteryPowerStatus", "1"}}},
        {"state",
         0x21,
         1,
         19,
         cat({tlvItem(1, hexBytes("03 00 00 00")), tlvItem(2, {0})}),
         1,
         {{"printStatus", "3"}, {"batteryPowerStatus", "0"}}},
        {"buffer",
         0x10,
         1,
         31,
         cat({tlvItem(1, hexBytes("00 10")), tlvItem(2, {0x80})}),
         1,
         {{"devBuff", "4096"}, {"printStatus", "128"}}},
        {"unknown tag skipped",
         0x21,
         1,
         19,
         cat({tlvItem(9, textBytes("zz")), tlvItem(1, {1})}),
         1,
         {{"printStatus", "1"}}},
        {"repeated tag: the last wins",
         0x21,
         1,
         19,
         cat({tlvItem(1, {1}), tlvItem(1, {5})}),
         1,
         {{"printStatus", "5"}}},
        {"item value past the payload", 0x21, 1, 19, hexBytes("01 05 00 01 02"), 2, {}},
        {"item head past the payload", 0x21, 1, 19, cat({tlvItem(1, {1}), hexBytes("02 01")}), 2, {}},
    };
    for (const ReplyCase &c : cases) checkCase(c);
}

TEST_F(RepliesTest, WifiAndBluetoothReplies) {
    const std::vector<ReplyCase> cases = {
        {"wifi config",
         0x21,
         3,
         6,
         cat({tlvItem(1, textBytes("home")), tlvItem(2, textBytes("secret12"))}),
         1,
         {{"ssid", "home"}, {"pwd", "secret12"}}},
        {"wifi info",
         0x21,
         3,
         7,
         cat({tlvItem(1, hexBytes("C0 A8 01 17")), tlvItem(2, hexBytes("00 1A 2B 3C 4D 5E")),
              tlvItem(3, hexBytes("FF FF FF 00")), tlvItem(4, hexBytes("C0 A8 01 01")), tlvItem(5, hexBytes("8C 23")),
              tlvItem(6, {1})}),
         1,
         {{"ip", "192.168.1.23"},
          {"mac", "0:1a:2b:3c:4d:5e"},
          {"netmask", "255.255.255.0"},
          {"gateway", "192.168.1.1"},
          {"port", "9100"},
          {"DHCP", "1"}}},
        {"wifi info ip too short", 0x21, 3, 7, tlvItem(1, hexBytes("C0 A8 01")), 2, {}},
        {"wifi info mac too short", 0x21, 3, 7, tlvItem(2, hexBytes("00 1A 2B")), 2, {}},
        {"wifi notice", 0x10, 3, 8, {1}, 1, {{"wifiWillDisconnect", "1"}}},
        {"bt name", 0x21, 4, 1, textBytes("ZV-BT"), 1, {{"btName", "ZV-BT"}}},
        {"bt mac", 0x21, 4, 3, textBytes("DC:0D:30:00:11:22"), 1, {{"btMac", "DC:0D:30:00:11:22"}}},
        {"bt pin", 0x21, 4, 5, textBytes("0000"), 1, {{"btPinCode", "0000"}}},
        {"bt baud", 0x21, 4, 7, hexBytes("00 C2 01 00"), 1, {{"btUartBaudRate", "115200"}}},
        {"bt version", 0x21, 4, 9, textBytes("5.0"), 1, {{"btVer", "5.0"}}},
        {"bt notice", 0x10, 4, 12, {1}, 1, {{"bluetoothWillDisconnect", "1"}}},
        {"ble state",
         0x21,
         4,
         13,
         cat({tlvItem(1, {1}), tlvItem(2, {0})}),
         1,
         {{"bleConnectState", "1"}, {"bleCommunicationEnable", "0"}}},
        {"wifi cfg over bt", 0x21, 4, 14, {0}, 1, {{"setWiFiConfig", "0"}}},
        {"set bt name ack", 0x21, 4, 2, {}, 1, {}},
    };
    for (const ReplyCase &c : cases) checkCase(c);
}

TEST_F(RepliesTest, PrintGroupReplies) {
    const std::vector<ReplyCase> cases = {
        {"colour",
         0x21,
         5,
         1,
         hexBytes("01 FF 00 00 00 80"),
         1,
         {{"supportColourful", "1"},
          {"colorR", "255"},
          {"colorG", "0"},
          {"colorB", "0"},
          {"supportGray", "0"},
          {"colorGray", "128"}}},
        {"colour short", 0x21, 5, 1, hexBytes("01 FF 00 00 00"), 2, {}},
        {"darkness", 0x21, 5, 3, hexBytes("07 08"), 1, {{"coarseDarkness", "7"}, {"fineDarkness", "8"}}},
        {"darkness short", 0x21, 5, 3, hexBytes("07"), 2, {}},
        {"speed", 0x21, 5, 6, {4}, 1, {{"printSpeed", "4"}}},
        {"tph",
         0x21,
         5,
         15,
         cat({tlvItem(1, {2}), tlvItem(2, textBytes("KYOCERA"))}),
         1,
         {{"tphFactory", "2"}, {"tphModel", "KYOCERA"}}},
        {"paper type", 0x21, 5, 16, hexBytes("01 2C 01"), 1, {{"paperType", "1"}, {"paperLength", "30.0"}}},
        {"paper type odd tenth", 0x21, 5, 16, hexBytes("00 7B 00"), 1, {{"paperType", "0"}, {"paperLength", "12.3"}}},
        {"paper type short", 0x21, 5, 16, hexBytes("01 2C"), 2, {}},
        {"label learn",
         0x21,
         5,
         18,
         hexBytes("01 02 00 F4 01"),
         1,
         {{"paperLearnState", "1"}, {"paperType", "2"}, {"paperHaveCarbonRibbon", "0"}, {"paperHeight", "50.0"}}},
        {"lack paper",
         0x21,
         5,
         20,
         hexBytes("00 01 00"),
         1,
         {{"correlationLackPaper", "0"}, {"reflexLackPaper", "1"}, {"FrontOptocouplerLackPaper", "0"}}},
        {"bad spot", 0x21, 5, 21, hexBytes("01 0A 01"), 1, {{"badSpotDetection", "1"}, {"badSpotNumber", "266"}}},
        {"mileage", 0x21, 5, 23, hexBytes("39 30 00 00"), 1, {{"printMileage", "1234.5"}}},
        {"fallback", 0x21, 5, 28, hexBytes("0F 00"), 1, {{"fallbackLength", "1.5"}}},
        {"paper notice", 0x10, 5, 29, {1}, 1, {{"paperType", "1"}}},
        {"ad", 0x21, 5, 30, hexBytes("00 02"), 1, {{"ADValue", "512"}}},
        {"task notice", 0x10, 5, 31, {2}, 1, {{"printTaskState", "2"}}},
        {"busy", 0x21, 5, 32, {0}, 1, {{"printerBusyState", "0"}}},
        {"cutting alert", 0x21, 5, 36, {1}, 1, {{"getManualCuttingAlert", "1"}}},
        {"set cutting alert", 0x21, 5, 37, {1}, 1, {{"setManualCuttingAlert", "1"}}},
        {"canvas",
         0x21,
         5,
         38,
         cat({tlvItem(1, hexBytes("05 00")), tlvItem(2, hexBytes("14 00")), tlvItem(3, hexBytes("00 00")),
              tlvItem(4, hexBytes("03 00")), tlvItem(5, hexBytes("0A 00")), tlvItem(6, hexBytes("00 00"))}),
         1,
         {{"yCurrentOffset", "5"},
          {"yMaxOffset", "20"},
          {"yMinOffset", "0"},
          {"xCurrentOffset", "3"},
          {"xMaxOffset", "10"},
          {"xMinOffset", "0"}}},
        {"set canvas", 0x21, 5, 39, {0}, 1, {{"setCanvasShift", "0"}}},
        {"print model", 0x21, 5, 40, {2}, 1, {{"printModel", "2"}}},
        {"set print mode", 0x21, 5, 41, {0}, 1, {{"setPrintMode", "0"}}},
        {"darkness ack", 0x21, 5, 4, {}, 1, {}},
        {"speed ack", 0x21, 5, 7, {}, 1, {}},
        {"paper type ack", 0x21, 5, 17, {}, 1, {}},
        {"interface ack", 0x21, 5, 42, {}, 1, {}},
        {"image start ack", 0x21, 5, 11, {}, 0, {}},
        {"image end ack", 0x21, 5, 12, {}, 0, {}},
        {"image end refused", 0x10, 5, 12, {}, 2, {}},
        {"tree ack", 0x21, 5, 14, {}, 0, {}},
        {"image part ack, any head", 0x10, 5, 13, {}, 0, {}},
        {"command 2", 0x21, 5, 2, {}, 3, {}},
        {"command 22", 0x21, 5, 22, {}, 3, {}},
        {"speed with notice head", 0x10, 5, 6, {4}, 2, {}},
    };
    for (const ReplyCase &c : cases) checkCase(c);
}

TEST_F(RepliesTest, NfcAndInkjetReplies) {
    const std::vector<ReplyCase> cases = {
        {"nfc notice",
         0x10,
         7,
         1,
         cat({tlvItem(1, {1}), tlvItem(2, textBytes("TAG-9")), tlvItem(3, hexBytes("E8 03"))}),
         1,
         {{"NFCStatus", "1"}, {"NFCCode", "TAG-9"}, {"NFCMileage", "1000"}}},
        {"nfc", 0x21, 7, 2, tlvItem(1, {0}), 1, {{"NFCStatus", "0"}}},
        {"ink",
         0x21,
         9,
         1,
         cat({tlvItem(2, hexBytes("04 03 02 01")), tlvItem(3, {30}), tlvItem(4, hexBytes("EF BE AD DE")),
              tlvItem(5, hexBytes("0A 00 00 00"))}),
         1,
         {{"inkCartridgeVolumeK", "1"},
          {"inkCartridgeVolumeC", "2"},
          {"inkCartridgeVolumeM", "3"},
          {"inkCartridgeVolumeY", "4"},
          {"inkCartridgeTemp", "30"},
          {"inkCartridgeID", "DEADBEEF"},
          {"inkCartridgeASD", "0000000A"}}},
        {"ink clean", 0x21, 9, 3, {1}, 1, {{"inkCartridgeSetClean", "1"}}},
    };
    for (const ReplyCase &c : cases) checkCase(c);
}

TEST_F(RepliesTest, InkCartridgeTypeSetsThePrintWidthByFamily) {
    struct WidthCase {
        const char *device;
        uint8_t type;
        int64_t width;
    } cases[] = {{"N10-0042", 1, 5103}, {"n10 mini", 2, 5067}, {"N20-1", 1, 1140},
                 {"N30", 2, 1140},      {"P1", 1, 1140},       {"N10", 3, 0}};
    for (const WidthCase &c : cases) {
        SCOPED_TRACE(c.device);
        resetProtocolState();
        setODMType(28);
        setConnectedDeviceName(c.device);
        const Received r = feedAll(replyFrame(28, 0x21, 9, 2, tlvItem(1, {c.type})));
        EXPECT_EQ(membersOf(r.json), (Pairs{{"inkCartridgeType", std::to_string(c.type)}}));
        EXPECT_EQ(getMaxWidthDot_l(), c.width);
    }
    setConnectedDeviceName("N20X");
    EXPECT_TRUE(isN20());
    EXPECT_TRUE(isInkjetPrinter());
    EXPECT_FALSE(isN10());
    setConnectedDeviceName("N1");
    EXPECT_FALSE(isInkjetPrinter());
}

TEST_F(RepliesTest, DownloadProgressReplies) {
    struct DownloadCase {
        const char *name;
        uint8_t head, command;
        std::vector<uint8_t> payload;
        uint32_t result;
        const char *state;
        const char *progress;
    };
    // 1000 bytes in all; the part in flight starts at 250 and carries 250.
    const std::vector<DownloadCase> cases = {
        {"start accepted", 0x21, 1, hexBytes("01 00"), 1, "1", "0.000"},
        {"start code 2", 0x21, 1, hexBytes("02 00"), 1, "4", "0.000"},
        {"start code 3", 0x21, 1, hexBytes("03 00"), 1, "5", "0.000"},
        {"start code 9", 0x21, 1, hexBytes("09 00"), 2, "9", "0.000"},
        {"start refused", 0x10, 1, hexBytes("01 00"), 2, "6", "0.000"},
        {"end", 0x21, 2, {}, 1, "3", "1.000"},
        {"end refused", 0x10, 2, {}, 2, "6", "1.000"},
        {"next part", 0x21, 3, hexBytes("01 00"), 1, "2", "0.500"},
        {"next part code 3", 0x21, 3, hexBytes("03 00"), 1, "6", "0.500"},
        {"next part code 7", 0x21, 3, hexBytes("07 00"), 2, "7", "0.500"},
        {"next part refused", 0x10, 3, hexBytes("01 00"), 2, "6", "0.500"},
    };
    // The counters as the frame builder leaves them for such a transfer.
    const uint8_t start[12] = {1, 0, 0, 0, 0, 0, 0, 0, 0xE8, 0x03, 0, 0};
    updateFileTransferCounters(1, start, sizeof start);
    const uint8_t first[8] = {1, 0, 0xFA, 0, 0, 0, 0, 0};
    updateFileTransferCounters(3, first, sizeof first);
    const uint8_t second[8] = {2, 0, 0xFA, 0, 0xFA, 0, 0, 0};
    updateFileTransferCounters(3, second, sizeof second);
    for (const DownloadCase &c : cases) {
        SCOPED_TRACE(c.name);
        const Received r = feedAll(replyFrame(28, c.head, 2, c.command, c.payload));
        EXPECT_EQ(r.result, c.result);
        // Refused download replies still say how far the download got.
        EXPECT_EQ(membersOf(r.json), (Pairs{{"downFileState", c.state}, {"downFileProgress", c.progress}}));
    }
    // Before any transfer there is no total to divide by.
    resetProtocolState();
    setODMType(28);
    EXPECT_EQ(membersOf(feedAll(replyFrame(28, 0x21, 2, 3, hexBytes("01 00"))).json),
              (Pairs{{"downFileState", "2"}, {"downFileProgress", "0.000"}}));
    EXPECT_EQ(feedAll(replyFrame(28, 0x21, 2, 1, hexBytes("01"))).result, 2u) << "code cut short";
}

TEST_F(RepliesTest, DocumentedStepsAgreeWithTheReceiveStep) {
    for (uint8_t b : replyFrame(28, 0x21, 1, 14, tlvItem(3, {1}))) HAL_ZV_Packet_Decode(b);
    ASSERT_EQ(HAL_ZV_AckToAPP_Process(), 1);
    EXPECT_EQ(HAL_ZV_AckToAPP_Process(), 0) << "unpacked once";
    EXPECT_EQ(analysisPack(), 1u);
    EXPECT_EQ(membersOf(getReplyJson()), (Pairs{{"batteryState", "1"}}));
    // The TLV reader alone, for the group and command last unpacked.
    EXPECT_EQ(analysisDatas(hexBytes("03 01 00 02").data(), 4), 1);
    EXPECT_EQ(membersOf(getReplyJson()), (Pairs{{"batteryState", "2"}}));
    EXPECT_EQ(analysisDatas(hexBytes("03 09 00 02").data(), 4), 2);
    EXPECT_STREQ(getReplyJson(), "");
    EXPECT_EQ(analysisDatas(nullptr, 0), 1);
}

TEST_F(RepliesTest, SeparateDecodersKeepTheirOwnFrames) {
    ReplyDecoder a, b;
    const std::vector<uint8_t> fa = replyFrame(28, 0x21, 4, 1, textBytes("A"));
    const std::vector<uint8_t> fb = replyFrame(28, 0x21, 4, 1, textBytes("B"));
    for (size_t i = 0; i < fa.size(); ++i) {
        a.feed(fa[i]);
        b.feed(fb[i]);
    }
    ASSERT_TRUE(a.unpack());
    ASSERT_TRUE(b.unpack());
    EXPECT_EQ(a.interpret(), 1u);
    EXPECT_EQ(b.interpret(), 1u);
    EXPECT_EQ(membersOf(a.json()), (Pairs{{"btName", "A"}}));
    EXPECT_EQ(membersOf(b.json()), (Pairs{{"btName", "B"}}));
}

// ---- status texts ------------------------------------------------------

TEST_F(RepliesTest, StatusWordTexts) {
    struct StatusCase {
        uint32_t word;
        const char *chinese;
        const char *english;
    } cases[] = {
        {0x0000, "", ""},
        {0x0003, "开盖;缺纸;", "Lid Opened;Lack Paper;"},
        {0x0084, "卡纸;打印中;", "Paper Jammed;Printing;"},
        {0x0400, "PSRAM 异常;", "Psram Error;"},
        {0x3800, "未缺纸学习;即将关机;关机中;", "No Lack Paper Learn;Will Shut Down;Shutting Down;"},
        {0xC000, "", ""},
    };
    for (const StatusCase &c : cases) {
        char chinese[kPrinterStatusTextMax] = {};
        char english[kPrinterStatusTextMax] = {};
        PrinterStatusFill(c.word, chinese, english);
        EXPECT_STREQ(chinese, c.chinese) << c.word;
        EXPECT_STREQ(english, c.english) << c.word;
        EXPECT_EQ(printerStatusText(c.word, true), c.english);
    }
    char all[kPrinterStatusTextMax] = {};
    char allEnglish[kPrinterStatusTextMax] = {};
    PrinterStatusFill(0xFFFFFFFFu, all, allEnglish);
    EXPECT_LT(std::strlen(all), kPrinterStatusTextMax);
    EXPECT_EQ(std::string(allEnglish).rfind("Lid Opened;Lack Paper;Paper Jammed;Over Heated;", 0), 0u);
}
