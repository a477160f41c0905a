// The device command catalogue: group, command and payload of every builder,
// rejected arguments, the connection's first request and the two download
// sequences.
#include "protocol/device_commands.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "protocol/packet.h"
#include "protocol/protocol_state.h"
#include "tests/protocol/packet_stream.h"
#include "tests/support/golden.h"

using zvtest::BytesEqual;
using zvtest::bytesOf;
using zvtest::hexBytes;
using zvtest::join;
using zvtest::ParsedPacket;
using zvtest::parsePackets;

namespace {

class DeviceCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProtocolState();
        resetDeviceCommandState();
        setODMType(28);
    }
    void TearDown() override {
        resetDeviceCommandState();
        resetProtocolState();
    }
};

std::vector<uint8_t> take(SendPack pack) {
    std::vector<uint8_t> bytes;
    if (!isEmptyProtocolPack(pack)) bytes.assign(pack.data, pack.data + pack.length);
    freeSendPack(pack);
    return bytes;
}

// The single packet of a pack, checked frame and CRC; group 0 for the empty pack.
ParsedPacket single(SendPack pack) {
    const std::vector<uint8_t> bytes = take(pack);
    if (bytes.empty()) return ParsedPacket{};
    std::vector<ParsedPacket> packets = parsePackets(bytes);
    EXPECT_EQ(packets.size(), 1u);
    if (packets.empty()) return ParsedPacket{};
    EXPECT_EQ(packets[0].attr, 0x11);
    return packets[0];
}

struct BuilderCase {
    const char *name;
    std::function<SendPack()> build;
    uint8_t group, command;  // group 0: the empty pack
    const char *payload;     // hexadecimal
};

void checkTable(const std::vector<BuilderCase> &cases) {
    for (const BuilderCase &c : cases) {
        SCOPED_TRACE(c.name);
        const ParsedPacket p = single(c.build());
        EXPECT_EQ(p.group, c.group);
        if (c.group == 0) continue;
        EXPECT_EQ(p.command, c.command);
        EXPECT_TRUE(BytesEqual(hexBytes(c.payload), p.payload));
    }
}

uint8_t *fakeDots(const uint8_t *argb, uint32_t width, uint32_t height) {
    // One dot per pixel whose red channel is below 128.
    const size_t count = static_cast<size_t>(width) * height;
    auto *dots = static_cast<uint8_t *>(std::calloc(count / 8 + 1, 1));
    for (size_t i = 0; i < count; ++i)
        if (argb[4 * i + 1] < 128) dots[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return dots;
}

}  // namespace

TEST_F(DeviceCommandsTest, QueriesAndActionsWithoutPayload) {
    const std::vector<BuilderCase> cases = {
        {"system", getPrinterInfoSystemData, 1, 3, ""},
        {"product", getPrinterInfoProductData, 1, 4, ""},
        {"max px", getPrinterInfoMaxPxData, 1, 5, ""},
        {"sn", getPrinterInfoSNData, 1, 6, ""},
        {"name", getPrinterInfoNameData, 1, 8, ""},
        {"hardware", getPrinterInfoHardwareData, 1, 10, ""},
        {"software", getPrinterInfoSoftwareData, 1, 11, ""},
        {"shutdown time", getPrinterInfoShutdownTimeData, 1, 12, ""},
        {"battery", getPrinterInfoBatteryData, 1, 14, ""},
        {"temperature", getPrinterInfoTEMPData, 1, 16, ""},
        {"state", getPrinterInfoStateData, 1, 19, ""},
        {"reset", setPrinterInfoResetData, 1, 20, ""},
        {"sleep", setPrinterInfoSleepData, 1, 21, ""},
        {"shutdown", setPrinterInfoShutdownData, 1, 22, ""},
        {"factory", setPrinterInfoRestoreFactorySettingsData, 1, 24, ""},
        {"ota", getPrinterInfoOTAPathData, 1, 35, ""},
        {"wifi list", getPrinterWiFiListData, 3, 1, ""},
        {"wifi state", getPrinterWiFiStateData, 3, 3, ""},
        {"wifi fw", getPrinterWiFiFWVersionData, 3, 5, ""},
        {"wifi config", getPrinterWiFiConfigData, 3, 6, ""},
        {"wifi info", getPrinterWiFiInfoData, 3, 7, ""},
        {"ble name", getPrinterBleNameData, 4, 1, ""},
        {"ble mac", getPrinterBleMacData, 4, 3, ""},
        {"ble pin", getPrinterBlePinCodeData, 4, 5, ""},
        {"ble uart", getPrinterBleUartRateData, 4, 7, ""},
        {"ble version", getPrinterBleVersionData, 4, 9, ""},
        {"ble state", getPrinterBleStateData, 4, 13, ""},
        {"colour", getPrinterPrintColorSupportData, 5, 1, ""},
        {"darkness", getPrinterPrintDarknessData, 5, 3, ""},
        {"speed", getPrinterPrintSpeedData, 5, 6, ""},
        {"self test", setPrinterPrintSelfTestData, 5, 9, ""},
        {"tph", getPrinterPrintTPHModelData, 5, 15, ""},
        {"paper type", getPrinterPrintPaperTypeData, 5, 16, ""},
        {"label learn", setPrinterPrintLabelLearnData, 5, 18, ""},
        {"lack paper learn", setPrinterPrintLackPaperLearnData, 5, 19, ""},
        {"lack paper", getPrinterPrintLackPaperData, 5, 20, ""},
        {"bad spot", getPrinterPrintBadSpotDetectionData, 5, 21, ""},
        {"mileage", getPrinterPrintMileageData, 5, 23, ""},
        {"clear mileage", setPrinterPrintClearMileageData, 5, 24, ""},
        {"fallback", getPrinterPrintFallbackData, 5, 28, ""},
        {"ad", getPrinterPrintADData, 5, 30, ""},
        {"busy", getPrinterPrinterBusyStateData, 5, 32, ""},
        {"cutting alert", getPrinterPrintManualCuttingAlertData, 5, 36, ""},
        {"canvas", getPrinterPrintCanvasShiftData, 5, 38, ""},
        {"mode", getPrinterPrintModeData, 5, 40, ""},
        {"nfc", getPrinterNFCInfoData, 7, 2, ""},
        {"inkjet", getPrinterInkjetInfoData, 9, 1, ""},
        {"offline print", getPrinterCustomOfflinePrintEnableData, 8, 2, ""},
    };
    checkTable(cases);
}

TEST_F(DeviceCommandsTest, BuildersWithAPayload) {
    const std::vector<BuilderCase> cases = {
        {"shutdown 300", [] { return setPrinterInfoShutdownTimeData(300); }, 1, 13, "2C 01"},
        {"shutdown too long", [] { return setPrinterInfoShutdownTimeData(70000); }, 1, 13, "FF FF"},
        {"shutdown negative", [] { return setPrinterInfoShutdownTimeData(-5); }, 1, 13, "00 00"},
        {"utc", [] { return setPrinterInfoUTCData(0x01020304); }, 1, 25, "04 03 02 01"},
        {"connect device", [] { return setPrinterInfoConnectDeviceData(0x102); }, 1, 30, "02"},
        {"button enable", [] { return setPrinterInfoButtonEnableData(1, 2, 3); }, 1, 80, "01 02 03"},
        {"get button enable", [] { return getPrinterInfoButtonEnableData(7); }, 1, 81, "07"},
        {"button", [] { return setPrinterInfoButtonData(1, 2, 3, 0x1234); }, 1, 82, "01 02 03 34 12"},
        {"get button", [] { return getPrinterInfoButtonData(4, 5, 6); }, 1, 83, "04 05 06"},
        {"wifi config", [] { return setPrinterWiFiConfigData("ab", "xyz"); }, 3, 2,
         "01 02 00 61 62 02 03 00 78 79 7A 00"},
        {"wifi config empty", [] { return setPrinterWiFiConfigData("", ""); }, 3, 2, "01 00 00 02 00 00 00"},
        {"wifi config missing", [] { return setPrinterWiFiConfigData(nullptr, "x"); }, 0, 0, ""},
        {"wifi mac", [] { return setPrinterWiFiMacData("1:2:3:4:5:300"); }, 3, 4, "01 02 03 04 05 2C"},
        {"wifi mac short", [] { return setPrinterWiFiMacData("1:2:3"); }, 3, 4, ""},
        {"ble name", [] { return setPrinterBleNameData("ZV-7"); }, 4, 2, "5A 56 2D 37"},
        {"ble name 32", [] { return setPrinterBleNameData(std::string(32, 'n').c_str()); }, 4, 2,
         "6E6E6E6E6E6E6E6E 6E6E6E6E6E6E6E6E 6E6E6E6E6E6E6E6E 6E6E6E6E6E6E6E6E"},
        {"ble name 33", [] { return setPrinterBleNameData(std::string(33, 'n').c_str()); }, 0, 0, ""},
        {"wifi cfg over bt", [] { return setPrinterWiFiCFGData("n", "p"); }, 4, 14, "01 01 00 6E 02 01 00 70 00"},
        {"qr code", [] { return setPrinterPrintQRcodeData(1); }, 5, 10, "01"},
        {"action 1", [] { return setPrinterPrintActionData(1); }, 5, 26, "01"},
        {"action 3", [] { return setPrinterPrintActionData(3); }, 5, 26, "03"},
        {"action 0", [] { return setPrinterPrintActionData(0); }, 0, 0, ""},
        {"action 4", [] { return setPrinterPrintActionData(4); }, 0, 0, ""},
        {"fallback", [] { return setPrinterPrintFallbackData(15); }, 5, 27, "0F 00"},
        {"fallback too long", [] { return setPrinterPrintFallbackData(1L << 20); }, 5, 27, "FF FF"},
        {"cutting alert", [] { return setPrinterPrintManualCuttingAlertData(1); }, 5, 37, "01"},
        {"canvas", [] { return setPrinterPrintCanvasShiftData("3,-2"); }, 5, 39, "01 02 00 FE FF 02 02 00 03 00"},
        {"canvas full-width comma",
         [] {
             return setPrinterPrintCanvasShiftData(
                 "5\xEF\xBC\x8C"
                 "6");
         },
         5, 39, "01 02 00 06 00 02 02 00 05 00"},
        {"canvas one number", [] { return setPrinterPrintCanvasShiftData("3"); }, 0, 0, ""},
        {"print mode", [] { return setPrinterPrintModeData(2); }, 5, 41, "02"},
        {"ink clean", [] { return setPrinterInkjetCleanData(1); }, 9, 3, "01"},
        {"ink clean capped", [] { return setPrinterInkjetCleanData(7); }, 9, 3, "02"},
        {"offline print", [] { return setPrinterCustomOfflinePrintEnableData(1); }, 8, 1, "01"},
        {"custom enable", [] { return setPrinterCustomCustomPrintEnableData(1, 2, 3); }, 8, 3, "01 02 03"},
        {"get custom enable", [] { return getPrinterCustomCustomPrintEnableData(1, 2); }, 8, 4, "01 02"},
        {"time format", [] { return setPrinterCustomTimeFormatPrintData(1, 2, 3, 4); }, 8, 5, "01 02 03 04"},
        {"get time format", [] { return getPrinterCustomTimeFormatPrintData(5, 6); }, 8, 6, "05 06"},
        {"time offset", [] { return setPrinterCustomTimePrintOffsetData(1, 2, 3, 0xAABBCCDD); }, 8, 7,
         "01 02 03 DD CC BB AA"},
        {"get time offset", [] { return getPrinterCustomTimePrintOffsetData(7, 8); }, 8, 8, "07 08"},
    };
    checkTable(cases);
}

TEST_F(DeviceCommandsTest, ClockOfZeroIsTheLocalTime) {
    const std::time_t before = std::time(nullptr);
    const ParsedPacket p = single(setPrinterInfoUTCData(0));
    ASSERT_EQ(p.payload.size(), 4u);
    std::tm local{};
    localtime_r(&before, &local);
    const int64_t expected = static_cast<int64_t>(before) + local.tm_gmtoff;
    const int64_t sent = zvtest::le32(p.payload.data());
    EXPECT_LE(expected, sent);
    EXPECT_LE(sent, expected + 5);
}

TEST_F(DeviceCommandsTest, FirstRequestOfAConnection) {
    setMaxDataLengthOnePackage(4096);
    setMaxWidthDot_l(384);
    std::vector<ParsedPacket> packets = parsePackets(take(getProtocolData()));
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].command, 1);
    EXPECT_EQ(packets[1].command, 6);
    EXPECT_EQ(packets[2].command, 3);
    EXPECT_EQ(getMaxDataLengthOnePackage(), 0u);
    EXPECT_EQ(getMaxWidthDot_l(), 0);
    setODMType(30);
    packets = parsePackets(take(getProtocolData()));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].group, 1);
    EXPECT_EQ(packets[0].command, 1);
    // The encrypting printers get the single request too, in the short,
    // encrypted form.
    setODMType(163);
    const std::vector<uint8_t> encrypted = take(getProtocolData());
    ASSERT_EQ(encrypted.size(), 4u + 16 + 4);
    EXPECT_TRUE(BytesEqual(hexBytes("A3 20 10 00"), {encrypted.begin(), encrypted.begin() + 4}));
}

TEST_F(DeviceCommandsTest, FileDownloadSequence) {
    std::vector<uint8_t> file(10);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(single(getStartDownFileData(0, "f", file.data(), 10, 0)).group, 0);
    EXPECT_EQ(single(getStartDownFileData(5, "f", file.data(), 10, 0)).group, 0);
    EXPECT_EQ(single(getStartDownFileData(1, "f", nullptr, 10, 0)).group, 0);
    EXPECT_EQ(single(getStartDownFileData(1, "f", file.data(), 0, 0)).group, 0);

    const ParsedPacket start = single(getStartDownFileData(2, "", file.data(), 10, 100));
    EXPECT_EQ(start.group, 2);
    EXPECT_EQ(start.command, 1);
    EXPECT_TRUE(BytesEqual(join({hexBytes("01 02 00 02 00  02 04 00 0A 00 00 00  03 07 00"), bytesOf("binName")}),
                           start.payload));
    EXPECT_EQ(getFileTransferTotalLength(), 10u);

    setDownFileOnePackage(4);
    const char *parts[] = {"01 00 04 00 64 00 00 00 A0 A1 A2 A3", "02 00 04 00 68 00 00 00 A4 A5 A6 A7",
                           "03 00 02 00 6C 00 00 00 A8 A9"};
    for (const char *part : parts) {
        const ParsedPacket p = single(getDownFileNextPackData());
        EXPECT_EQ(p.command, 3);
        EXPECT_TRUE(BytesEqual(hexBytes(part), p.payload));
    }
    EXPECT_EQ(getFileTransferCurrentLength() + getFileTransferCurrentSendLength(), 10u);
    const ParsedPacket end = single(getDownFileNextPackData());
    EXPECT_EQ(end.group, 2);
    EXPECT_EQ(end.command, 2);
    EXPECT_TRUE(end.payload.empty());
    // After the end nothing is left to send.
    EXPECT_EQ(single(getDownFileNextPackData()).command, 2);
}

TEST_F(DeviceCommandsTest, DownloadWithoutAPartLengthEndsInsteadOfSendingEmptyParts) {
    const uint8_t file[3] = {1, 2, 3};
    ASSERT_EQ(single(getStartDownFileData(1, "fw.bin", file, 3, 0)).command, 1);
    EXPECT_EQ(single(getDownFileNextPackData()).command, 2);
}

TEST_F(DeviceCommandsTest, DownloadNameIsCutTo256Bytes) {
    const uint8_t file[1] = {9};
    const std::string name(300, 'q');
    const ParsedPacket start = single(getStartDownFileData(3, name.c_str(), file, 1, 0));
    ASSERT_EQ(start.payload.size(), 5u + 7 + 3 + 256);
    EXPECT_EQ(zvtest::le16(start.payload.data() + 13), 256u);
}

TEST_F(DeviceCommandsTest, ImageDownloadsNeedAConverterAndAPrintWidth) {
    // A 16 x 2 A,R,G,B picture: the left half dark.
    std::vector<uint8_t> argb(16 * 2 * 4, 0xFF);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x) argb[(y * 16 + x) * 4 + 1] = 0;
    EXPECT_EQ(single(getStartDownFileData(4, "", argb.data(), 128, 0)).group, 0) << "no print width";
    setMaxWidthDot_l(16);
    EXPECT_EQ(single(getStartDownFileData(4, "", argb.data(), 128, 0)).group, 0) << "no converter";
    EXPECT_EQ(single(getStartDownCustomPrintData(1, 2, argb.data(), 16, 2)).group, 0) << "no converter";
    setDownloadDotsConverter(fakeDots);

    const ParsedPacket start = single(getStartDownFileData(4, "", argb.data(), 128, 0));
    EXPECT_TRUE(BytesEqual(join({hexBytes("01 02 00 04 00  02 04 00 04 00 00 00  03 0A 00"), bytesOf("imageModel"),
                                 hexBytes("04 02 00 10 00  05 02 00 02 00")}),
                           start.payload));
    setDownFileOnePackage(100);
    EXPECT_TRUE(BytesEqual(hexBytes("01 00 04 00 00 00 00 00 FF 00 FF 00"), single(getDownFileNextPackData()).payload));

    const ParsedPacket custom = single(getStartDownCustomPrintData(1, 2, argb.data(), 16, 2));
    EXPECT_EQ(custom.group, 8);
    EXPECT_EQ(custom.command, 9);
    EXPECT_TRUE(BytesEqual(hexBytes("01 01 00 01  02 01 00 02  03 02 00 10 00  04 02 00 02 00"), custom.payload));
    setDownFileOnePackage(3);
    ParsedPacket part = single(getDownCustomPrintNextPackData());
    EXPECT_EQ(part.command, 11);
    EXPECT_TRUE(BytesEqual(hexBytes("00 00 03 00 FF 00 FF"), part.payload));
    part = single(getDownCustomPrintNextPackData());
    EXPECT_TRUE(BytesEqual(hexBytes("01 00 01 00 00"), part.payload));
    part = single(getDownCustomPrintNextPackData());
    EXPECT_EQ(part.command, 10);
    EXPECT_TRUE(part.payload.empty());
}
