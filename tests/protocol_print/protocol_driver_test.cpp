// The protocol models' print driver: the setting packets per model and job
// setting, their order around the image, the page padded to whole bytes, the
// routes by print mode, the encrypted printers, and pages that cannot print.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "protocol/protocol_state.h"
#include "protocol_print/printer_dots.h"
#include "protocol_print/protocol_print.h"
#include "tests/protocol/packet_stream.h"
#include "tests/support/filter_runner.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using zvtest::hexBytes;

// A page with a black block in its upper left quarter.
std::vector<uint8_t> blockPage(uint32_t w, uint32_t h) {
    std::vector<uint8_t> page(static_cast<size_t>(w) * h, 255);
    for (uint32_t y = h / 8; y < h / 2; ++y)
        for (uint32_t x = w / 8; x < w / 2; ++x) page[static_cast<size_t>(y) * w + x] = 0;
    return page;
}

PrinterSettings jobSettings() {
    PrinterSettings s{};
    s.darkness = 8;
    s.mediaTracking = 255;
    return s;
}

struct DriverRun {
    std::vector<uint8_t> out;  // empty when the driver sent nothing
    bool sent = false;
    std::string err;
};

DriverRun runDriver(int32_t model, PrinterSettings settings, std::vector<uint8_t> page, uint32_t w, uint32_t h) {
    DriverRun run;
    testing::internal::CaptureStderr();
    DynamicArrayPtr result(getZVProtocolPrintData(page.data(), w, h, &settings, model));
    run.err = testing::internal::GetCapturedStderr();
    run.sent = result != nullptr;
    if (result) run.out.assign(result->data, result->data + result->size);
    return run;
}

struct Command {
    int command;
    std::vector<uint8_t> payload;
};

// The packets before the image start and after the image end.
struct Framing {
    std::vector<Command> before, after;
    std::vector<int> imageCommands;
};

Framing framingOf(const std::vector<zvtest::ParsedPacket> &packets) {
    Framing f;
    bool image = false, done = false;
    for (const auto &p : packets) {
        EXPECT_EQ(5, p.group);
        if (p.command == 11) image = true;
        if (image && !done) {
            f.imageCommands.push_back(p.command);
            if (p.command == 12) done = true;
            continue;
        }
        (done ? f.after : f.before).push_back({p.command, p.payload});
    }
    return f;
}

class ProtocolDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        closeDebugLog();
        resetProtocolState();
        resetPrinterDotsState();
        setODMType(28);
    }
    void TearDown() override {
        closeDebugLog();
        resetProtocolState();
        resetPrinterDotsState();
    }
    zvtest::TempDir dir_;
    zvtest::ScopedLogDir logDir_{dir_.path()};
};

// Every model: its package length, silent mode or speed, and its feed.
TEST_F(ProtocolDriver, SettingsAndFeedOfEveryModel) {
    struct Model {
        uint32_t packageLength;
        bool silent;
        std::vector<uint8_t> feed;  // mode, distance (16-bit)
    };
    const Model models[13] = {
        {8192, false, hexBytes("01 0A 00")}, {2048, false, hexBytes("01 1C 00")}, {4096, false, hexBytes("01 0E 00")},
        {8192, false, hexBytes("01 1C 00")}, {4096, true, hexBytes("01 24 00")},  {4096, false, hexBytes("01 0E 00")},
        {4096, false, hexBytes("01 1C 00")}, {4096, false, hexBytes("01 13 00")}, {4096, false, hexBytes("01 10 00")},
        {4096, false, hexBytes("01 1C 00")}, {4096, false, hexBytes("01 13 00")}, {4096, true, hexBytes("01 24 00")},
        {4096, true, hexBytes("01 24 00")},
    };
    PrinterSettings settings = jobSettings();
    settings.printSpeed = 3;
    settings.silentPrint = 1;
    for (int32_t model = 0; model < 13; ++model) {
        const DriverRun run = runDriver(model, settings, blockPage(400, 600), 400, 600);
        ASSERT_TRUE(run.sent) << model << run.err;
        EXPECT_EQ(models[model].packageLength, getMaxDataLengthOnePackage()) << model;
        const Framing f = framingOf(zvtest::parsePackets(run.out));
        ASSERT_EQ(2u, f.before.size()) << model;
        EXPECT_EQ(models[model].silent ? 35 : 7, f.before[0].command) << model;
        EXPECT_EQ(models[model].silent ? hexBytes("01") : hexBytes("03"), f.before[0].payload) << model;
        EXPECT_EQ(4, f.before[1].command);
        EXPECT_EQ(hexBytes("03 08 08"), f.before[1].payload);
        ASSERT_EQ(1u, f.after.size()) << model;
        EXPECT_EQ(8, f.after[0].command);
        EXPECT_EQ(models[model].feed, f.after[0].payload) << model;
        EXPECT_EQ(11, f.imageCommands.front());
        EXPECT_EQ(14, f.imageCommands[1]);
        EXPECT_EQ(12, f.imageCommands.back());
    }
}

// The settings before the image by the job's paper type, speed, silent mode,
// darkness and interface.
TEST_F(ProtocolDriver, SettingPacketsFollowTheJob) {
    struct Case {
        int32_t model;
        int32_t mediaTracking;
        int16_t printSpeed, silentPrint, darkness, isHCRP;
        std::vector<Command> before;
    };
    const std::vector<Case> cases = {
        // No paper type for 255; no speed packet for speed 0.
        {1, 255, 0, 0, 8, 0, {{4, hexBytes("03 08 08")}}},
        {1, 0, 0, 0, 8, 0, {{17, hexBytes("00")}, {4, hexBytes("03 08 08")}}},
        {1, 1, 2, 0, 8, 0, {{17, hexBytes("01")}, {7, hexBytes("02")}, {4, hexBytes("03 08 08")}}},
        {1, 2, 0, 0, 8, 0, {{17, hexBytes("02")}, {4, hexBytes("03 08 08")}}},
        {1, 100, 0, 0, 8, 0, {{17, hexBytes("00")}, {4, hexBytes("03 08 08")}}},
        {1, 102, 0, 0, 8, 0, {{17, hexBytes("00")}, {4, hexBytes("03 08 08")}}},
        {1, 103, 0, 0, 8, 0, {{17, hexBytes("02")}, {4, hexBytes("03 08 08")}}},
        {1, 7, 0, 0, 8, 0, {{17, hexBytes("00")}, {4, hexBytes("03 08 08")}}},
        // The silent models send silent mode whatever its value, and no speed.
        {4, 255, 3, 0, 8, 0, {{35, hexBytes("00")}, {4, hexBytes("03 08 08")}}},
        {12, 255, 3, 0, 8, 0, {{35, hexBytes("00")}, {4, hexBytes("03 08 08")}}},
        // Darkness "10,8"; both numbers are limited to 15.
        {0, 255, 0, 0, 10, 0, {{4, hexBytes("03 0A 08")}}},
        {0, 255, 0, 0, 20, 0, {{4, hexBytes("03 0F 08")}}},
        // Bluetooth (HCRP) printers get the interface packet.
        {11, 255, 0, 1, 8, 2, {{35, hexBytes("01")}, {4, hexBytes("03 08 08")}, {42, hexBytes("00")}}},
    };
    for (const Case &c : cases) {
        PrinterSettings settings = jobSettings();
        settings.mediaTracking = c.mediaTracking;
        settings.printSpeed = c.printSpeed;
        settings.silentPrint = c.silentPrint;
        settings.darkness = c.darkness;
        settings.isHCRP = c.isHCRP;
        const DriverRun run = runDriver(c.model, settings, blockPage(400, 600), 400, 600);
        ASSERT_TRUE(run.sent) << run.err;
        const Framing f = framingOf(zvtest::parsePackets(run.out));
        ASSERT_EQ(c.before.size(), f.before.size()) << "model " << c.model << " media " << c.mediaTracking;
        for (size_t i = 0; i < c.before.size(); ++i) {
            EXPECT_EQ(c.before[i].command, f.before[i].command) << "model " << c.model << " packet " << i;
            EXPECT_EQ(c.before[i].payload, f.before[i].payload) << "model " << c.model << " packet " << i;
        }
    }
}

// The stream of a page starts with the first setting packet, byte for byte.
TEST_F(ProtocolDriver, FirstPacketIsTheSpeedSetting) {
    PrinterSettings settings = jobSettings();
    settings.printSpeed = 3;
    const DriverRun run = runDriver(1, settings, blockPage(200, 300), 200, 300);
    ASSERT_GE(run.out.size(), 16u);
    EXPECT_TRUE(zvtest::BytesEqual(hexBytes("A3 1E 1C 00 06 00 11 05 07 01 00 03 C8 18 67 CB"),
                                   std::vector<uint8_t>(run.out.begin(), run.out.begin() + 16)));
}

// Model 12 scales an A4 page at 203 dpi to 1621 dots, padded with white on
// the right to 1624 (203 bytes a row) before it is converted.
TEST_F(ProtocolDriver, PageIsPaddedToWholeBytes) {
    const DriverRun run = runDriver(12, jobSettings(), std::vector<uint8_t>(1664 * 2400, 0), 1664, 2400);
    ASSERT_TRUE(run.sent) << run.err;
    const zvtest::DecodedImage image = zvtest::decodeImagePackets(zvtest::parsePackets(run.out));
    ASSERT_TRUE(image.ok);
    ASSERT_EQ(203u, image.widthBytes);
    ASSERT_EQ(203u * 2223, image.bytes.size());
    for (size_t row = 0; row < 2223; ++row) EXPECT_EQ(0, image.bytes[row * 203 + 202] & 0x07) << "row " << row;
    // The black page itself prints: the mirrored image lies inside the margins.
    EXPECT_EQ(0xFF, image.bytes[1000 * 203 + 100]);
}

TEST_F(ProtocolDriver, RouteByPrintMode) {
    struct Case {
        int16_t printMode, positioningMode;
        uint32_t grayType;
        bool threshold;
    };
    for (const Case &c : std::vector<Case>{{9, 0, 6, false},
                                           {9, 1, 6, false},
                                           {11, 0, 10, false},
                                           {11, 1, 11, false},
                                           {0, 0, 0, true},
                                           {3, 1, 0, true}}) {
        const ProtocolRoute route = protocolRouteFor(c.printMode, c.positioningMode);
        EXPECT_EQ(c.grayType, route.grayType) << c.printMode << " " << c.positioningMode;
        EXPECT_EQ(c.threshold, route.setsThreshold) << c.printMode << " " << c.positioningMode;
    }
    PrinterSettings settings = jobSettings();
    settings.printMode = 9;
    ASSERT_TRUE(runDriver(1, settings, blockPage(200, 300), 200, 300).sent);
    EXPECT_EQ(142, getImgThresholdValue());
    settings.printMode = 0;
    ASSERT_TRUE(runDriver(1, settings, blockPage(200, 300), 200, 300).sent);
    EXPECT_EQ(222, getImgThresholdValue());
}

// ODM printer type 163: short heads, every packet encrypted, the image in raw
// rows and the end packet with its two values.
TEST_F(ProtocolDriver, EncryptingPrinterSendsRawEncryptedRows) {
    setODMType(163);
    ASSERT_TRUE(setAES128KeyHex("000102030405060708090a0b0c0d0e0f"));
    ASSERT_TRUE(setAES128IVHex("f0e0d0c0b0a090807060504030201000"));
    const DriverRun run = runDriver(6, jobSettings(), blockPage(400, 600), 400, 600);
    ASSERT_TRUE(run.sent) << run.err;
    EXPECT_EQ(0xA3, run.out[0]);
    EXPECT_EQ(0x20, run.out[1]);
    const auto packets = zvtest::parsePackets(run.out);
    const Framing f = framingOf(packets);
    EXPECT_EQ(std::vector<int>({11, 13, 12}),
              std::vector<int>({f.imageCommands.front(), f.imageCommands[1], f.imageCommands.back()}));
    EXPECT_EQ(hexBytes("01 02 00 00 00 02 01 00 00"), packets[packets.size() - 2].payload);
    const zvtest::DecodedImage image = zvtest::decodeImagePackets(packets);
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(208u, image.widthBytes);
    EXPECT_GT(std::count(image.bytes.begin(), image.bytes.end(), 0xFF), 1000);
}

// Without a valid key and initial vector nothing is sent, rather than data
// encrypted with a key the printer does not have.
TEST_F(ProtocolDriver, EncryptingPrinterWithoutKeySendsNothing) {
    setODMType(163);
    ASSERT_TRUE(setAES128KeyHex("000102030405060708090a0b0c0d0e0f"));  // no initial vector
    const DriverRun first = runDriver(6, jobSettings(), blockPage(200, 300), 200, 300);
    EXPECT_FALSE(first.sent);
    EXPECT_NE(std::string::npos, first.err.find("ERROR: ")) << first.err;
    EXPECT_NE(std::string::npos, first.err.find("AES")) << first.err;
}

TEST_F(ProtocolDriver, EmptyPageSendsNothing) {
    const DriverRun run = runDriver(1, jobSettings(), std::vector<uint8_t>(1, 0), 0, 0);
    EXPECT_FALSE(run.sent);
    EXPECT_EQ(0u, run.err.find("ERROR: ")) << run.err;
}

// A page whose conversion to dots fails (here the text route's diffusion
// cannot have its buffer) sends no setting or feed packet: the printer would
// feed a blank page for it. The scaling still fits in the memory given.
TEST_F(ProtocolDriver, FailedConversionSendsNoBlankPage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator does not honour an address-space limit";
#else
    auto run = [] {
        const rlimit limit{1ull << 29, 1ull << 29};
        setrlimit(RLIMIT_AS, &limit);
        // A narrow, very long black strip: the L40 page is 1664 x 120000
        // (200 MB); the diffusion would need twice as much again.
        const uint32_t w = 8, h = 122000;
        std::vector<uint8_t> page(static_cast<size_t>(w) * h, 0);
        PrinterSettings settings = jobSettings();
        settings.printMode = 9;
        settings.printSpeed = 2;
        dynamic_array *out = getZVProtocolPrintData(page.data(), w, h, &settings, 1);
        std::exit(out == nullptr ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0),
                "ERROR: The page could not be converted to printer dots; nothing was sent");
#endif
}

// A job of two pages through the filter: two complete page streams, one
// after the other.
TEST_F(ProtocolDriver, MultiPageJobThroughTheFilter) {
    zvtest::FilterRun run;
    run.ppdPath = zvtest::writePpd(dir_.file("l40.ppd"), zvtest::modelPpdLines("L40"));
    zvtest::RasterPage first = zvtest::RasterPage::gray(400, 600);
    first.fillRect(50, 50, 100, 100, 0);
    zvtest::RasterPage second = zvtest::RasterPage::gray(400, 600);
    second.fillRect(200, 300, 150, 200, 0);
    run.input = zvtest::makeRaster({first, second});
    const zvtest::FilterResult result = zvtest::runFilter(run);
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("PAGE: 2 1")) << result.err;
    EXPECT_EQ(std::string::npos, result.err.find("ERROR")) << result.err;
    const auto packets = zvtest::parsePackets(result.out);
    std::vector<int> commands;
    for (const auto &p : packets)
        if (p.command != 13) commands.push_back(p.command);
    EXPECT_EQ(std::vector<int>({4, 11, 14, 12, 8, 4, 11, 14, 12, 8}), commands);
    EXPECT_EQ(result.out, result.dump);
}

}  // namespace

namespace {

// An encrypting printer whose PPD has no valid key and initial vector: the job
// ends with an "ERROR:" line before its first page, and nothing is sent.
TEST(ProtocolJob, EncryptingPrinterWithoutValidKeyEndsTheJob) {
    zvtest::TempDir dir;
    const std::string iv = "*ZVAttr AESIV: \"f0e0d0c0b0a090807060504030201000\"";
    for (const std::vector<std::string> &keys :
         std::vector<std::vector<std::string>>{{},
                                               {iv},
                                               {"*ZVAttr AESKey: \"0011\"", iv},
                                               {"*ZVAttr AESKey: \"000102030405060708090a0b0c0d0e0g\"", iv}}) {
        std::vector<std::string> lines = {"*DefaultResolution: 203dpi", "*ExtensionAttr PrinterSize: \"163.6\""};
        lines.insert(lines.end(), keys.begin(), keys.end());
        zvtest::FilterRun run;
        run.ppdPath = zvtest::writePpd(dir.file("odm163.ppd"), lines);
        run.input = zvtest::makeRaster({zvtest::RasterPage::gray(200, 300, 0), zvtest::RasterPage::gray(200, 300, 0)});
        const zvtest::FilterResult result = zvtest::runFilter(run);
        EXPECT_EQ(1, result.status) << keys.size();
        EXPECT_TRUE(result.out.empty());
        EXPECT_NE(std::string::npos, result.err.find("ERROR: This printer encrypts its data")) << result.err;
        EXPECT_EQ(std::string::npos, result.err.find("PAGE:")) << result.err;
    }
}

}  // namespace
