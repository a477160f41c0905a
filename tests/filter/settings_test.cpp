#include <gtest/gtest.h>

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
    void SetUp() override {
        ::setenv("ZORVAN_LOG_DIR", dir.path().c_str(), 1);
        resetPrinterGlobals();
    }
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
