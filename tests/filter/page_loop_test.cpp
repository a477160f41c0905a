// The filter process as CUPS runs it: arguments, PPD, raster input, page loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using zvtest::FilterResult;
using zvtest::FilterRun;
using zvtest::hexBytes;
using zvtest::RasterPage;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class FilterProcess : public ::testing::Test {
  protected:
    std::string ppd(const std::vector<std::string> &lines) { return zvtest::writePpd(dir.file("p.ppd"), lines); }
    // Device type 150 selects no encoder: pages are read and reported, nothing is sent.
    std::string silentPpd(std::vector<std::string> extra = {}) {
        extra.push_back("*DefaultPrinterModel: 150");
        extra.push_back("*DefaultResolution: 203dpi");
        return ppd(extra);
    }
    std::string escPpd(std::vector<std::string> extra) {
        extra.push_back("*ZVAttr PrinterModel: \"ESC\"");
        extra.push_back("*DefaultResolution: 203dpi");
        return ppd(extra);
    }
    zvtest::TempDir dir;
};

TEST_F(FilterProcess, WrongArgumentCountPrintsUsageAndNothingElse) {
    for (std::vector<std::string> args : {std::vector<std::string>{"1", "u", "t", "1"},
                                          std::vector<std::string>{"1", "u", "t", "1", "", "f", "extra"}}) {
        FilterRun run;
        run.args = args;
        run.ppdPath = silentPpd();
        FilterResult r = zvtest::runFilter(run);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err, "ERROR: rastertozorvan job-id user title copies options [file]\n");
        EXPECT_TRUE(contains(r.logText, "Input param is not enough"));
    }
}

TEST_F(FilterProcess, ReportsEveryPageAndLogsTheGeometry) {
    RasterPage first = RasterPage::gray(101, 3);
    first.numCopies = 2;
    RasterPage second = RasterPage::gray(16, 5);
    FilterRun run;
    run.ppdPath = silentPpd();
    run.input = zvtest::makeRaster({first, second});
    run.deviceUri = "usb://Zorvan/TSPL";
    FilterResult r = zvtest::runFilter(run);
    // No encoder for this device type: the pages are read but not counted.
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(contains(r.err, "PAGE:")) << r.err;
    EXPECT_TRUE(contains(r.err, "ERROR: No pages were found.\n")) << r.err;
    // 101 bytes per row round up to 13 packed bytes: a pitch of 104 pixels.
    EXPECT_TRUE(contains(r.logText, "2、bytesPerLine = 104,header.cupsHeight = 3"));
    EXPECT_TRUE(contains(r.logText, "3、Width = 104,height = 3"));
    EXPECT_TRUE(contains(r.logText, "colorSpace = 0,CUPS_CSPACE_W"));
    EXPECT_TRUE(contains(r.logText, "URI=usb://Zorvan/TSPL:使用USB传输"));
    EXPECT_TRUE(contains(r.logText, "不是RGBA图片？ PPD被篡改？"));  // unknown type expects RGBA
    EXPECT_TRUE(contains(r.logText, "Exit main"));
}

// "PAGE:" lines count the pages that reached the printer, with the copies the
// raster asks for, each after its page's data.
TEST_F(FilterProcess, PageLinesFollowThePagesSent) {
    RasterPage first = RasterPage::gray(16, 3);
    first.numCopies = 2;
    FilterRun run;
    run.ppdPath = ppd(zvtest::modelPpdLines("TSPL"));
    run.input = zvtest::makeRaster({first, RasterPage::gray(16, 5)});
    FilterResult r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "PAGE: 1 2\nPAGE: 2 1\n");
    EXPECT_FALSE(r.out.empty());
}

TEST_F(FilterProcess, PrintModeFiveIsReplacedPerPrinterFamily) {
    struct Case {
        std::string model;
        int mode;
    } cases[] = {{"*ZVAttr PrinterModel: \"TSPL\"", 6},
                 {"*ExtensionAttr PrinterSize: \"28.10\"", 11},
                 {"*ZVAttr PrinterModel: \"L40\"", 9}};
    for (const Case &c : cases) {
        FilterRun run;
        run.ppdPath = ppd({c.model, "*DefaultResolution: 203dpi", "*DefaultPrintMode: 5"});
        run.input = zvtest::makeRaster({RasterPage::gray(8, 2), RasterPage::gray(8, 2)});
        FilterResult r = zvtest::runFilter(run);
        EXPECT_TRUE(contains(r.logText, "printMode 5 -> " + std::to_string(c.mode))) << c.model;
        // The replacement stays for the later pages: the second page sees no 5 any more.
        EXPECT_EQ(r.logText.find("printMode 5 ->"), r.logText.rfind("printMode 5 ->")) << c.model;
    }
}

TEST_F(FilterProcess, WidthIsClippedToTheMaximumPrintableWidth) {
    struct Case {
        std::string maxWidth;
        unsigned width;
        std::string clipped;
    } cases[] = {
        {"*DefaultMaxWidthMM: 48", 576, "4、Width = 384,height = 2"},
        {"*DefaultMaxWidthMM: 48", 384, "4、Width = 384,height = 2"},
        {"*DefaultMaxWidthMM: 0", 576, "4、Width = 576,height = 2"},
        {"*DefaultPrinterModel: 3", 576, "4、Width = 576,height = 2"},  // protocol models are never clipped
    };
    for (const Case &c : cases) {
        FilterRun run;
        const bool protocolModel = c.maxWidth.find("PrinterModel") != std::string::npos;
        run.ppdPath = protocolModel
                          ? ppd({c.maxWidth, "*DefaultResolution: 203dpi", "*ZVAttr PrinterMaxWidthMM: \"48\""})
                          : ppd({"*DefaultPrinterModel: 150", "*DefaultResolution: 203dpi", c.maxWidth});
        run.input = zvtest::makeRaster({RasterPage::gray(c.width, 2)});
        FilterResult r = zvtest::runFilter(run);
        EXPECT_TRUE(contains(r.logText, c.clipped)) << c.maxWidth << " " << c.width << "\n" << r.logText;
    }
}

TEST_F(FilterProcess, MillimetreSizeUsesPpdThenRasterThenDefaultResolution) {
    struct Case {
        std::string resolutionLine;
        unsigned rasterDpi;
        std::string sizeLine;
        std::string note;
    } cases[] = {
        {"*DefaultResolution: 203dpi", 203, "5、widthMM = 49, heightMM = 13", ""},
        // A raster that states no resolution is taken as the printer's.
        {"*DefaultResolution: 203dpi", 0, "5、widthMM = 49, heightMM = 13", ""},
        {"", 300, "5、widthMM = 33, heightMM = 9", "using 300 dpi from the raster header"},
        {"", 0, "5、widthMM = 49, heightMM = 13", "using 203 dpi from the default"},
    };
    for (const Case &c : cases) {
        RasterPage page = RasterPage::gray(384, 100);
        page.dpi = c.rasterDpi;
        FilterRun run;
        run.ppdPath = ppd({"*DefaultPrinterModel: 150", c.resolutionLine});
        run.input = zvtest::makeRaster({page});
        FilterResult r = zvtest::runFilter(run);
        EXPECT_TRUE(contains(r.logText, c.sizeLine)) << c.sizeLine << "\n" << r.logText;
        if (!c.note.empty()) {
            EXPECT_TRUE(contains(r.logText, c.note)) << c.note;
        }
    }
}

TEST_F(FilterProcess, EscPosPrologueAndEpilogueFollowTheOptions) {
    struct Case {
        std::string options;
        std::string expected;
    } cases[] = {
        {"", "1B 40 1B 40"},
        {"Beeper=4 CashDrawer=3", "1B 40 1B 42 04 01 1B 70 00 19 FF 1B 70 01 19 FF 1B 40"},
        {"CashDrawer=1", "1B 40 1B 70 00 19 FF 1B 40"},
        {"CashDrawer=2", "1B 40 1B 70 01 19 FF 1B 40"},
        {"CashDrawer=6 Cutting=2 Beeper=3", "1B 40 1B 70 00 19 FF 1B 70 01 19 FF 1D 56 42 00 1B 42 04 01 1B 40"},
        {"CashDrawer=4", "1B 40 1B 70 00 19 FF 1B 40"},
        {"CashDrawer=5 Cutting=1 Beeper=1", "1B 40 1B 70 01 19 FF 1B 40"},  // per-page choices add nothing here
    };
    for (const Case &c : cases) {
        FilterRun run;
        run.ppdPath = escPpd({});
        run.options = c.options;
        run.input = zvtest::makeRaster({});  // a raster stream without pages
        FilterResult r = zvtest::runFilter(run);
        EXPECT_EQ(r.status, 1) << "no pages";
        EXPECT_TRUE(zvtest::BytesEqual(hexBytes(c.expected), r.out)) << c.options;
        EXPECT_TRUE(r.dump.empty()) << "the prologue and epilogue are not dumped";
    }
}

TEST_F(FilterProcess, InputThatIsNotARasterStillGetsPrologueAndEpilogue) {
    FilterRun run;
    run.ppdPath = escPpd({});
    run.input = zvtest::bytesOf("%PDF-1.4 this is not a raster stream");
    FilterResult r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(zvtest::BytesEqual(hexBytes("1B 40 1B 40"), r.out));
    EXPECT_EQ(r.err.find("PAGE:"), std::string::npos);
    EXPECT_TRUE(contains(r.err, "ERROR: No pages were found.\n")) << r.err;

    run.input.clear();  // empty standard input
    r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "ERROR: No pages were found.\n")) << r.err;
    EXPECT_TRUE(zvtest::BytesEqual(hexBytes("1B 40 1B 40"), r.out));
}

TEST_F(FilterProcess, RasterFileArgumentIsReadAndAMissingOneSendsNothing) {
    FilterRun run;
    run.ppdPath = escPpd({});
    run.input = zvtest::makeRaster({RasterPage::gray(8, 1)});
    run.inputAsFile = true;
    FilterResult r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "PAGE: 1 1"));

    run.args = {"1", "u", "t", "1", "", dir.file("no-such.ras")};
    r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << "no prologue either when the file cannot be opened";
    EXPECT_TRUE(contains(r.err, "ERROR: Unable to open raster file"));
}

TEST_F(FilterProcess, MissingPpdIsReportedAndTheJobGoesOn) {
    FilterRun run;
    run.ppdPath = dir.file("absent.ppd");
    run.input = zvtest::makeRaster({RasterPage::gray(8, 1)});
    FilterResult r = zvtest::runFilter(run);
    EXPECT_TRUE(contains(r.err, "ERROR: Unable to read the PPD file"));
    // The default printer is protocol model 1: its page is read, and counted
    // once its driver sends something.
    EXPECT_TRUE(contains(r.logText, "4、Width = 8,height = 1")) << r.logText;
    EXPECT_EQ(r.status, r.out.empty() ? 1 : 0);
    EXPECT_EQ(contains(r.err, "PAGE: 1 1"), !r.out.empty());
    EXPECT_TRUE(contains(r.logText, "can't param ppdfile"));
    EXPECT_TRUE(contains(r.logText, "Default Printer Model:1") == false);  // the summary is only logged for a read PPD
}

TEST_F(FilterProcess, GarbageOptionNumbersUseTheirLeadingDigits) {
    FilterRun run;
    run.ppdPath = silentPpd({"*DefaultDarkness: 3"});
    run.options = "Darkness=12abc PrintSpeed=fast Vertical=-8mm";
    run.input = zvtest::makeRaster({});
    FilterResult r = zvtest::runFilter(run);
    EXPECT_TRUE(contains(r.logText, "User Choose Darkness:12"));
    EXPECT_TRUE(contains(r.logText, "User Choose Speed:0"));
    EXPECT_TRUE(contains(r.logText, "User Choose Vertical:-8"));
}

TEST_F(FilterProcess, ShortRasterKeepsTheMissingRowsWhite) {
    RasterPage page = RasterPage::gray(16, 10, 0);
    page.rowsToWrite = 4;
    FilterRun run;
    run.ppdPath = ppd(zvtest::modelPpdLines("TSPL"));
    run.input = zvtest::makeRaster({page}, /*compressed=*/false);
    FilterResult r = zvtest::runFilter(run);
    // What arrived is printed, and the user is told the page is incomplete.
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "WARNING: page 1 was cut short\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "PAGE: 1 1"));
    EXPECT_TRUE(contains(r.logText, "short raster: 4 of 10 rows read")) << r.logText;
    // TSPL prints 0 bits: four black rows, then six white ones.
    const std::string out(r.out.begin(), r.out.end());
    const std::string bitmap = "BITMAP 0,0,2,10,0,";
    const size_t at = out.find(bitmap);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string expected = std::string(8, '\x00') + std::string(12, '\xFF');
    EXPECT_EQ(out.substr(at + bitmap.size(), 20), expected);
}

TEST_F(FilterProcess, AbsurdPageIsSkippedAndTheNextPagePrints) {
    std::vector<uint8_t> stream = zvtest::compressedSync();
    // 65536 x 4200 bytes is more than a label page may occupy.
    const std::vector<uint8_t> huge = zvtest::uniformRasterPage(65536, 4200, {0xFF});
    const std::vector<uint8_t> small = zvtest::uniformRasterPage(16, 2, {0x00});
    stream.insert(stream.end(), huge.begin(), huge.end());
    stream.insert(stream.end(), small.begin(), small.end());

    FilterRun run;
    run.ppdPath = escPpd({});
    run.input = stream;
    FilterResult r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "ERROR: Page 1:")) << r.err;
    EXPECT_TRUE(contains(r.err, "page skipped"));
    EXPECT_EQ(r.err.find("PAGE: 1 "), std::string::npos);
    EXPECT_TRUE(contains(r.err, "PAGE: 2 1")) << r.err;
    EXPECT_TRUE(contains(r.logText, "3、Width = 16,height = 2"));
    // Standard output still carries only the job frame and the second page's data.
    ASSERT_GE(r.out.size(), 4u);
    EXPECT_EQ(r.out[0], 0x1B);
    EXPECT_EQ(r.out[1], 0x40);
}

}  // namespace
