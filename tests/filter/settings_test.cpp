#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "core/lenient_number.h"
#include "core/printer_settings.h"
#include "filter/filter_main.h"
#include "filter/settings_reader.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(NumberParsing, ReadsLeadingDigitsLeniently) {
    struct Case {
        const char *text;
        int64_t value;
    } cases[] = {
        {"203dpi", 203}, {"abc", 0}, {"", 0}, {"  -12x", -12}, {"+7", 7}, {"\t42", 42}, {"-", 0}, {"12 34", 12},
    };
    for (const Case &c : cases) EXPECT_EQ(parseLeadingInt64(c.text), c.value) << c.text;
    EXPECT_EQ(parseLeadingInt64(nullptr), 0);
    EXPECT_EQ(parseLeadingInt16("70000"), static_cast<int16_t>(70000 & 0xFFFF));  // low 16 bits
    EXPECT_EQ(parseLeadingInt32("4294967297"), 1);                                // low 32 bits
    EXPECT_EQ(parseLeadingInt64("300000000000"), 300000000000LL);
}

TEST(DeviceUri, TransportIsClassifiedByPrefix) {
    struct Case {
        const char *uri;
        const char *format;
    } cases[] = {
        {"usb://Zorvan/L40", "URI=%s:使用USB传输"},
        {"bluetooth://00:11:22", "URI=%s:使用蓝牙传输"},
        {"socket://10.0.0.5:9100", "URI=%s:使用WiFi传输"},
        {"ipps://printer.local", "URI=%s:使用WiFi传输"},
        {"dnssd://x", "URI=%s:使用WiFi传输"},
        {"smb://host/q", "URI=%s:使用WiFi传输"},
        {"file:///dev/null", "URI=%s:其他传输方式"},
        {"usb:/missing-slash", "URI=%s:其他传输方式"},
    };
    for (const Case &c : cases) EXPECT_STREQ(transportLogFormat(c.uri), c.format) << c.uri;
}

class SettingsFromPpd : public ::testing::Test {
  protected:
    void SetUp() override { resetPrinterGlobals(); }
    void TearDown() override {
        closeDebugLog();
        ::unsetenv("PPD");
    }

    // Reads a PPD made of `lines` and the job options `options` (CUPS syntax).
    PrinterSettings read(const std::vector<std::string> &lines, const char *options = "") {
        ::setenv("PPD", zvtest::writePpd(dir.file("test.ppd"), lines).c_str(), 1);
        return readWithCurrentEnvironment(options);
    }
    PrinterSettings readWithCurrentEnvironment(const char *options) {
        PrinterSettings settings{};
        std::string opts = options;
        char *argv[] = {const_cast<char *>("rastertozorvan"),
                        const_cast<char *>("42"),
                        const_cast<char *>("ann"),
                        const_cast<char *>("label"),
                        const_cast<char *>("3"),
                        opts.data(),
                        nullptr};
        cups_option_t *parsed = nullptr;
        int count = cupsParseOptions(opts.c_str(), 0, &parsed);
        set_pstops_options(&settings, argv, count, parsed);
        cupsFreeOptions(count, parsed);
        return settings;
    }

    zvtest::TempDir dir;
    zvtest::ScopedLogDir logDir{dir.path()};
};

TEST_F(SettingsFromPpd, DefaultsThenPpdThenOptions) {
    PrinterSettings s = read(
        {
            "*DefaultDarkness: 8",
            "*DefaultPrintSpeed: 4",
            "*DefaultBeeper: 3",
            "*DefaultResolution: 203dpi",
            "*DefaultMediaTracking: 2",
            "*DefaultPrintMode: 1",
            "*DefaultCutting: 1",
        },
        "Darkness=12 Beeper=1 Resolution=300 PrintSpeed=5fast Horizontal=-16 FeedDist=junk");
    EXPECT_EQ(s.jobId, 42);
    EXPECT_STREQ(s.user, "ann");
    EXPECT_STREQ(s.title, "label");
    EXPECT_EQ(s.copies, 3);
    EXPECT_EQ(s.darkness, 12);     // option beats DefaultDarkness
    EXPECT_EQ(s.beeper, 1);        // option beats DefaultBeeper
    EXPECT_EQ(s.resolution, 203);  // an option never changes the resolution
    EXPECT_EQ(s.printSpeed, 5);    // leading digits
    EXPECT_EQ(s.horizontal, -16);
    EXPECT_EQ(s.feedDist, 0);  // no digits: 0
    EXPECT_EQ(s.mediaTracking, 2);
    EXPECT_EQ(s.printMode, 1);
    EXPECT_EQ(s.cutting, 1);
    EXPECT_EQ(s.maxWidthMM, -1);  // no limit once a PPD was read
    EXPECT_EQ(s.noCompressieLimit, 300000u);
    EXPECT_EQ(s.compressieLimit, 64000u);
    EXPECT_EQ(getDeviceType(), 1);  // nothing named a model
}

TEST_F(SettingsFromPpd, ModelSelectionPrecedence) {
    struct Case {
        const char *name;
        std::vector<std::string> lines;
        int32_t deviceType;
        int odmType;
        int isHCRP;
    } cases[] = {
        {"PrinterSize beats ZVAttr",
         {"*ZVAttr PrinterModel: \"TSPL\"", "*ExtensionAttr PrinterSize: \"163.2.1\""},
         2,
         163,
         1},
        {"ODM type keeps the low byte", {"*ExtensionAttr PrinterSize: \"300.5\""}, 5, 44, 0},
        {"PrinterSize without a full stop is ignored",
         {"*ZVAttr PrinterModel: \"ZPL\"", "*ExtensionAttr PrinterSize: \"12\""},
         162,
         28,
         0},
        {"unknown model name changes nothing",
         {"*DefaultPrinterModel: 164", "*ZVAttr PrinterModel: \"L40X\""},
         164,
         28,
         0},
        {"ZVAttr beats DefaultPrinterModel",
         {"*DefaultPrinterModel: 7", "*ZVAttr PrinterModel: \"Two_Color_TSPL\""},
         193,
         28,
         0},
        {"later ZVAttr wins", {"*ZVAttr PrinterModel: \"CPCL\"", "*ZVAttr PrinterModel: \"ZV_SF_ZPL\""}, 191, 28, 0},
        {"BluetoothPrint sets isHCRP", {"*ZVAttr PrinterModel: \"L40_BU\"", "*ZVAttr BluetoothPrint: \"1\""}, 9, 28, 1},
        {"unnamed model through PrinterSize", {"*ExtensionAttr PrinterSize: \"31.12\""}, 12, 31, 0},
    };
    for (const Case &c : cases) {
        resetPrinterGlobals();
        PrinterSettings s = read(c.lines);
        EXPECT_EQ(getDeviceType(), c.deviceType) << c.name;
        EXPECT_EQ(getPpdOdmType(), c.odmType) << c.name;
        EXPECT_EQ(s.isHCRP, c.isHCRP) << c.name;
        closeDebugLog();
    }
}

TEST_F(SettingsFromPpd, ZVAttrLimitsAndCompression) {
    PrinterSettings s = read({
        "*DefaultMaxWidthMM: 72",
        "*DefaultIsCompressie: 0",
        "*ZVAttr PrinterMaxWidthMM: \"48\"",
        "*ZVAttr CompressiePrint: \"1\"",
        "*ZVAttr NoCompressie: \"5000000000\"",
        "*ZVAttr Compressie: \"1000\"",
    });
    EXPECT_EQ(s.maxWidthMM, 48);
    EXPECT_EQ(s.isCompressie, 1);
    EXPECT_EQ(s.noCompressieLimit, 5000000000ull);  // 64-bit value kept whole
    EXPECT_EQ(s.compressieLimit, 1000u);
    EXPECT_EQ(s.mediaTracking, 255);  // no DefaultMediaTracking in this PPD
}

TEST_F(SettingsFromPpd, MissingPpdKeepsDefaultsButAppliesOptions) {
    ::setenv("PPD", dir.file("does-not-exist.ppd").c_str(), 1);
    PrinterSettings s = readWithCurrentEnvironment("Darkness=9 MediaTracking=1");
    EXPECT_EQ(getDeviceType(), 1);
    EXPECT_EQ(getPpdOdmType(), 28);
    EXPECT_EQ(s.maxWidthMM, 0);
    EXPECT_EQ(s.noCompressieLimit, 0u);
    EXPECT_EQ(s.resolution, 0);
    EXPECT_EQ(s.darkness, 9);
    EXPECT_EQ(s.mediaTracking, 1);
    closeDebugLog();
    EXPECT_NE(zvtest::readFileText(dir.file("LxxLog.log")).find("can't param ppdfile"), std::string::npos);
}

}  // namespace

namespace {

// The log lines of the settings, without their time stamps.
std::vector<std::string> settingLogLines(const std::string &log) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find("\r\n", at);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(at, end - at);
        if (line.size() > 20) lines.push_back(line.substr(20));  // "YYYY-MM-DD hh:mm:ss "
        at = end + 2;
    }
    return lines;
}

TEST_F(SettingsFromPpd, LogBlocksNameEverySettingInTheirOwnOrder) {
    // Every value distinct, so a line that shows another setting's field stands
    // out; device type 150 has no printer language, so no option is clamped.
    read(
        {
            "*DefaultPageSize: w288h432", "*DefaultDarkness: 1",         "*DefaultPrintSpeed: 2",
            "*DefaultHorizontal: 3",      "*DefaultVertical: 4",         "*DefaultMediaTracking: 5",
            "*DefaultPrintMode: 6",       "*DefaultColourDarkness: 7",   "*DefaultColorPrintModel: 8",
            "*DefaultSilentPrint: 9",     "*DefaultPositioningMode: 10", "*DefaultResolution: 203dpi",
            "*DefaultCashDrawer: 11",     "*DefaultBlankSpace: 12",      "*DefaultFeedDist: 13",
            "*DefaultCutting: 14",        "*DefaultBeeper: 15",          "*DefaultPrinterModel: 150",
            "*DefaultMaxWidthMM: 48",     "*DefaultIsCompressie: 1",     "*ZVAttr BluetoothPrint: \"16\"",
        },
        "PageSize=w100h100 Darkness=21 PrintSpeed=22 Horizontal=23 Vertical=24 MediaTracking=25 PrintMode=26 "
        "ColourDarkness=27 ColorPrintModel=28 SilentPrint=29 PositioningMode=30 CashDrawer=31 BlankSpace=32 "
        "FeedDist=33 Cutting=34 Beeper=35");
    closeDebugLog();
    const std::vector<std::string> lines = settingLogLines(zvtest::readFileText(dir.file("LxxLog.log")));
    const std::vector<std::string> expected = {
        "module_number:7",
        "ppdfile DefaultPageSize:w288h432",
        "ppdfile DefaultDarkness:1",
        "ppdfile DefaultPrintSpeed:2",
        "ppdfile DefaultHorizontal:3",
        "ppdfile DefaultVertical:4",
        "ppdfile DefaultMediaTracking:5",
        "ppdfile DefaultPrintMode:6",
        "ppdfile DefaultColourDarkness:7",
        "ppdfile DefaultColorPrintModel:8",
        "ppdfile DefaultSilentPrint:9",
        "ppdfile DefaultPositioningMode:10",
        "ppdfile DefaultResolution:203dpi",
        "ppdfile DefaultCashDrawer:11",
        "ppdfile DefaultBlankSpace:12",
        "ppdfile DefaultFeedDist:13",
        "ppdfile DefaultCutting:14",
        "ppdfile DefaultBeeper:15",
        "Printer Model DefaultPrinterModel:150",
        "ppdfile DefaultMaxWidthMM:48",
        "ppdfile DefaultIsCompressie:1",
        "ZVAttr: [BluetoothPrint] = [16]",
        "Default PageSize:0x0",
        "Default Darkness:1",
        "Default Speed:2",
        "ppdfile Horizontal:3",
        "Default Vertical:4",
        "Default MediaTracking:5",
        "Default Mode:6",
        "Default ColourDarkness:7",
        "Default ColorPrintModel:8",
        "Default SilentPrint:9",
        "Default PositioningMode:10",
        "Default DefaultResolution:203",
        "Default isCompressie:1",
        "Default DefaultMaxWidthMM:48",
        "Default isHCRP:16",
        "Default Printer Model:150",
        "Default Cash Drawer:11",
        "Default Blank Space:12",
        "Default Feed Dist:13",
        "Default Cutting:14",
        "Default Beeper:15",
        // cupsParseOptions hands the options over sorted by name.
        "0、Beeper:35",
        "1、BlankSpace:32",
        "2、CashDrawer:31",
        "3、ColorPrintModel:28",
        "4、ColourDarkness:27",
        "5、Cutting:34",
        "6、Darkness:21",
        "7、FeedDist:33",
        "8、Horizontal:23",
        "9、MediaTracking:25",
        "10、PageSize:w100h100",
        "PageSize=PageSize",
        "page_size=w100h100",
        "11、PositioningMode:30",
        "12、PrintMode:26",
        "13、PrintSpeed:22",
        "14、SilentPrint:29",
        "15、Vertical:24",
        "User Choose PageSize:0x0",
        "User Choose Darkness:21",
        "User Choose Speed:22",
        "User Choose Horizontal:23",
        "User Choose Vertical:24",
        "User Choose MediaTracking:25",
        "User Choose Mode:26",
        "User Choose ColourDarkness:27",
        "User Choose ColorPrintModel:28",
        "User Choose SilentPrint:29",
        "User Choose PositioningMode:30",
        "User Choose  CashDrawer:31",
        "User Choose  BlankSpace:32",
        "User Choose  FeedDist:33",
        "User Choose  Cutting:34",
        "User Choose  Beeper:35",
    };
    // The block starts after the "PPD=" line, whose path differs per run.
    auto first = std::find(lines.begin(), lines.end(), "module_number:7");
    ASSERT_NE(first, lines.end());
    const std::vector<std::string> actual(first, lines.end());
    for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i)
        EXPECT_EQ(i < actual.size() ? actual[i] : "(none)", i < expected.size() ? expected[i] : "(none)")
            << "line " << i;
}

}  // namespace
