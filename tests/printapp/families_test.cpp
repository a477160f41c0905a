// The families' settings as the application fills them, against what the CUPS
// filter reads from the same printer's PPD: the defaults of every family, and
// the device URIs the serial scheme takes and refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "filter/settings_reader.h"
#include "printapp/families.h"
#include "printapp/serial_device.h"
#include "tests/support/temp_dir.h"

namespace zvtest {
namespace {

// The PPD each driver stands for.
const std::pair<const char *, const char *> kPpds[] = {
    {"zorvan_tspl_203", "zorvan-tspl-203.ppd"},
    {"zorvan_tspl_300", "zorvan-tspl-300.ppd"},
    {"zorvan_tspl2c_203", "zorvan-tspl2c-203.ppd"},
    {"zorvan_zpl_203", "zorvan-zpl-203.ppd"},
    {"zorvan_zpl_300", "zorvan-zpl-300.ppd"},
    {"zorvan_sfzpl_203", "zorvan-sfzpl-203.ppd"},
    {"zorvan_cpcl_203", "zorvan-cpcl-203.ppd"},
    {"zorvan_escpos_58", "zorvan-escpos-58.ppd"},
    {"zorvan_escpos_80", "zorvan-escpos-80.ppd"},
    {"zorvan_lp40", "zorvan-lp40.ppd"},
    {"zorvan_l40", "zorvan-l40.ppd"},
    {"zorvan_l50", "zorvan-l50.ppd"},
    {"zorvan_l40a", "zorvan-l40a.ppd"},
    {"zorvan_l40s", "zorvan-l40s.ppd"},
    {"zorvan_l50a", "zorvan-l50a.ppd"},
    {"zorvan_l40s_normal", "zorvan-l40s-normal.ppd"},
    {"zorvan_l10", "zorvan-l10.ppd"},
    {"zorvan_l20", "zorvan-l20.ppd"},
    {"zorvan_l40_bu", "zorvan-l40-bu.ppd"},
    {"zorvan_l10_tattoo_xl", "zorvan-l10-tattoo-xl.ppd"},
    {"zorvan_m10", "zorvan-m10.ppd"},
    {"zorvan_l40s_tattoo_left", "zorvan-l40s-tattoo-left.ppd"},
};

TEST(Families, EveryDriverHasAPpdAndEveryPpdADriver) {
    EXPECT_EQ(zvapp::families().size(), std::size(kPpds));
    for (const auto &[driver, ppd] : kPpds) EXPECT_NE(zvapp::findFamily(driver), nullptr) << driver;
}

// A job without settings prints with exactly the record the filter builds
// from the PPD alone.
TEST(Families, DefaultsAreThePpdsDefaults) {
    TempDir dir;
    ScopedLogDir logDir(dir.path());
    for (const auto &[driver, ppd] : kPpds) {
        SCOPED_TRACE(driver);
        const zvapp::Family *family = zvapp::findFamily(driver);
        ASSERT_NE(family, nullptr);

        resetPrinterGlobals();
        const std::string path = std::string(ZV_BINARY_DIR) + "/ppd/" + ppd;
        ::setenv("PPD", path.c_str(), 1);
        PrinterSettings fromPpd{};
        set_pstops_with_ppd(&fromPpd);
        const int32_t ppdDeviceType = getDeviceType();
        const uint8_t ppdOdmType = getPpdOdmType();

        resetPrinterGlobals();
        PrinterSettings fromApp = zvapp::jobSettings(*family, {}, -1);
        fromApp.copies = 0;  // the filter sets it per page
        EXPECT_EQ(getDeviceType(), ppdDeviceType);
        EXPECT_EQ(getPpdOdmType(), ppdOdmType);
        EXPECT_EQ(fromApp.darkness, fromPpd.darkness);
        EXPECT_EQ(fromApp.printSpeed, fromPpd.printSpeed);
        EXPECT_EQ(fromApp.horizontal, fromPpd.horizontal);
        EXPECT_EQ(fromApp.vertical, fromPpd.vertical);
        EXPECT_EQ(fromApp.mediaTracking, fromPpd.mediaTracking);
        EXPECT_EQ(fromApp.printMode, fromPpd.printMode);
        EXPECT_EQ(fromApp.colourDarkness, fromPpd.colourDarkness);
        EXPECT_EQ(fromApp.isCompressie, fromPpd.isCompressie);
        EXPECT_EQ(fromApp.isHCRP, fromPpd.isHCRP);
        EXPECT_EQ(fromApp.resolution, fromPpd.resolution);
        EXPECT_EQ(fromApp.maxWidthMM, fromPpd.maxWidthMM);
        EXPECT_EQ(fromApp.noCompressieLimit, fromPpd.noCompressieLimit);
        EXPECT_EQ(fromApp.compressieLimit, fromPpd.compressieLimit);
        EXPECT_EQ(fromApp.silentPrint, fromPpd.silentPrint);
        EXPECT_EQ(fromApp.positioningMode, fromPpd.positioningMode);
        EXPECT_EQ(fromApp.cashDrawer, fromPpd.cashDrawer);
        EXPECT_EQ(fromApp.blankSpace, fromPpd.blankSpace);
        EXPECT_EQ(fromApp.feedDist, fromPpd.feedDist);
        EXPECT_EQ(fromApp.cutting, fromPpd.cutting);
        EXPECT_EQ(fromApp.beeper, fromPpd.beeper);
        EXPECT_EQ(fromApp.colorPrintModel, fromPpd.colorPrintModel);
        EXPECT_EQ(fromApp.odmType, fromPpd.odmType);
        EXPECT_EQ(fromApp.photoEffect, fromPpd.photoEffect);
        EXPECT_EQ(fromApp.processing, fromPpd.processing);
    }
    ::unsetenv("PPD");
    resetPrinterGlobals();
}

// Choices by keyword; a keyword a setting does not offer changes nothing.
TEST(Families, KeywordsBecomeTheFiltersNumbers) {
    const zvapp::Family *family = zvapp::findFamily("zorvan_escpos_80");
    ASSERT_NE(family, nullptr);
    const PrinterSettings settings = zvapp::jobSettings(
        *family, {{"cash-drawer", "both-after"}, {"beeper", "no-such-beep"}, {"paper-cut", "end-of-job"}}, -1);
    EXPECT_EQ(settings.cashDrawer, 6);
    EXPECT_EQ(settings.beeper, 0);
    EXPECT_EQ(settings.cutting, 2);
    resetPrinterGlobals();
}

// A device URI from the network names a device node and nothing else.
TEST(SerialDevice, UrisTakenAndRefused) {
    struct Case {
        const char *uri;
        bool taken;
        const char *path;
        int baud;
        bool bluetooth;
    };
    const Case cases[] = {
        {"zvserial:///dev/rfcomm0", true, "/dev/rfcomm0", 115200, true},
        {"zvserial:///dev/ttyUSB0?baud=9600", true, "/dev/ttyUSB0", 9600, false},
        {"zvserial:///dev/ttyACM1?baud=57600&bluetooth=1", true, "/dev/ttyACM1", 57600, true},
        {"zvserial:///etc/passwd", false, "", 0, false},
        {"zvserial:///dev/../etc/shadow", false, "", 0, false},
        {"file:///dev/rfcomm0", false, "", 0, false},
        {"zvserial://", false, "", 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.uri);
        std::string path;
        int baud = 0;
        EXPECT_EQ(zvapp::parseSerialUri(c.uri, &path, &baud), c.taken);
        EXPECT_EQ(zvapp::serialUriIsBluetooth(c.uri), c.bluetooth);
        if (!c.taken) continue;
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(baud, c.baud);
    }
}

}  // namespace
}  // namespace zvtest
