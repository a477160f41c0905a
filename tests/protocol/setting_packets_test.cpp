// The six setting builders of the print path: payloads, accepted and rejected texts.
#include "protocol/setting_packets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/packet.h"
#include "protocol/protocol_state.h"
#include "tests/support/golden.h"

using zvtest::BytesEqual;
using zvtest::hexBytes;

namespace {

class SettingPacketsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProtocolState();
        setODMType(28);
    }
    void TearDown() override { resetProtocolState(); }
};

// Command code and payload of a long-form plain packet; empty for the empty pack.
struct Command {
    int command = -1;
    std::vector<uint8_t> payload;
};

Command parse(SendPack pack) {
    Command c;
    if (!isEmptyProtocolPack(pack)) {
        EXPECT_EQ(pack.data[6], 0x11);
        EXPECT_EQ(pack.data[7], 5);
        c.command = pack.data[8];
        const size_t n = pack.data[9] | pack.data[10] << 8;
        EXPECT_EQ(pack.length, 15 + n);
        c.payload.assign(pack.data + 11, pack.data + 11 + n);
    }
    freeSendPack(pack);
    return c;
}

}  // namespace

TEST_F(SettingPacketsTest, DarknessTexts) {
    struct Case {
        const char *text;
        const char *payload;  // nullptr: the empty pack
    };
    const Case cases[] = {
        {"20,8", "03 0F 08"},
        {"5", "00 05 00"},
        {"7\xEF\xBC\x8C"
         "8",
         "03 07 08"},  // full-width comma
        {"10,8", "03 0A 08"},
        {",,4,,9,1", "03 04 09"},  // runs of commas count as one; a third number is ignored
        {" 3 , 2", "03 03 02"},
        {"-1,271", "03 0F 0F"},  // low 8 bits, then capped at 15
        {"x,8", "03 00 08"},     // no digits read as 0
        {"", nullptr},
        {",", nullptr},
        {"\xEF\xBC\x8C", nullptr},
        {nullptr, nullptr},
    };
    for (const Case &c : cases) {
        const Command got = parse(setPrinterPrintDarknessData(c.text));
        const std::string label = c.text ? c.text : "null";
        if (c.payload == nullptr) {
            EXPECT_EQ(got.command, -1) << label;
        } else {
            EXPECT_EQ(got.command, 4) << label;
            EXPECT_TRUE(BytesEqual(hexBytes(c.payload), got.payload)) << label;
        }
    }
}

TEST_F(SettingPacketsTest, FeedTexts) {
    struct Case {
        const char *text;
        const char *payload;
    };
    const Case cases[] = {
        {"1,300", "01 2C 01"},
        {"2\xEF\xBC\x8C"
         "14",
         "02 0E 00"},
        {"1,28", "01 1C 00"},
        {"257,65546", "01 0A 00"},
        {"3,10", nullptr},
        {"1", nullptr},
        {"0,10", nullptr},
        {"", nullptr},
        {nullptr, nullptr},
    };
    for (const Case &c : cases) {
        const Command got = parse(setPrinterPrintFeedData(c.text));
        const std::string label = c.text ? c.text : "null";
        if (c.payload == nullptr) {
            EXPECT_EQ(got.command, -1) << label;
        } else {
            EXPECT_EQ(got.command, 8) << label;
            EXPECT_TRUE(BytesEqual(hexBytes(c.payload), got.payload)) << label;
        }
    }
}

TEST_F(SettingPacketsTest, OneByteSettings) {
    struct Case {
        SendPack (*builder)(int);
        int value;
        int command;  // -1: the empty pack
        uint8_t byte;
    };
    const Case cases[] = {
        {setPrinterPrintPaperTypeData, 0, 17, 0}, {setPrinterPrintPaperTypeData, 2, 17, 2},
        {setPrinterPrintPaperTypeData, 3, -1, 0}, {setPrinterPrintPaperTypeData, 0x102, 17, 2},
        {setPrinterPrintSpeedData, 0x105, 7, 5},  {setPrinterPrintSilentModelData, 1, 35, 1},
        {setPrinterPrintInterfaceData, 0, 42, 0}, {setPrinterPrintSilentModelData, -1, 35, 0xFF},
    };
    for (const Case &c : cases) {
        const Command got = parse(c.builder(c.value));
        EXPECT_EQ(got.command, c.command) << c.value;
        if (c.command >= 0) {
            EXPECT_EQ(got.payload, std::vector<uint8_t>{c.byte}) << c.value;
        }
    }
}

TEST_F(SettingPacketsTest, EveryBuilderEncryptsUnderOdm163) {
    setODMType(163);
    testing::internal::CaptureStderr();
    const SendPack packs[] = {setPrinterPrintPaperTypeData(1),     setPrinterPrintSpeedData(3),
                              setPrinterPrintSilentModelData(0),   setPrinterPrintInterfaceData(0),
                              setPrinterPrintDarknessData("10,8"), setPrinterPrintFeedData("1,28")};
    testing::internal::GetCapturedStderr();
    for (const SendPack &pack : packs) {
        ASSERT_EQ(pack.length, 24u);  // 4 head bytes, one 16-byte block, CRC
        EXPECT_TRUE(BytesEqual(hexBytes("A3 20 10 00"), zvtest::bytesOf(pack.data, 4)));
        freeSendPack(pack);
    }
}

TEST(StrRepleceTest, ReplacesEveryOccurrenceInPlace) {
    struct Case {
        const char *text, *pattern, *replacement, *expected;
    };
    const Case cases[] = {
        {"7\xEF\xBC\x8C"
         "8\xEF\xBC\x8C"
         "9",
         "\xEF\xBC\x8C", ",", "7,8,9"},
        {"aaaa", "aa", "b", "bb"},  // matches do not overlap
        {"abc", "x", "y", "abc"},
        {"abc", "b", "", "ac"},
        {"abc", "b", "longer", "abc"},  // would not fit: left alone
        {"abc", "", "x", "abc"},
        {"", "a", "b", ""},
    };
    for (const Case &c : cases) {
        std::string buffer = c.text;
        std::vector<char> text(buffer.begin(), buffer.end());
        text.push_back('\0');
        strReplece(text.data(), c.pattern, c.replacement);
        EXPECT_STREQ(text.data(), c.expected) << c.text << " / " << c.pattern;
    }
}
