// One job per command-language printer through the built filter: a real CUPS
// raster on standard input, a PPD naming the printer, the bytes on standard
// output compared with what the printer language prescribes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace zvtest {
namespace {

class LanguagePrinter : public ::testing::Test {
  protected:
    FilterResult run(const std::string &model, std::vector<std::string> ppdLines, const std::vector<RasterPage> &pages,
                     const std::string &options = "") {
        ppdLines.push_back("*ZVAttr PrinterModel: \"" + model + "\"");
        FilterRun job;
        job.ppdPath = writePpd(dir.file(model + ".ppd"), ppdLines);
        job.options = options;
        job.input = makeRaster(pages);
        FilterResult result = runFilter(job);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err.find("ERROR"), std::string::npos) << result.err;
        return result;
    }
    TempDir dir;
};

const std::vector<std::string> kLabelDefaults = {"*DefaultResolution: 203dpi", "*DefaultMediaTracking: 1",
                                                 "*DefaultPrintSpeed: 4", "*DefaultDarkness: 8"};

// 16 x 2 page: the top row black from dot 0 to 11, the bottom row white,
// rendered at the printer's resolution.
RasterPage smallLabel(unsigned dpi = 203) {
    RasterPage page = RasterPage::gray(16, 2);
    page.dpi = dpi;
    page.fillRect(0, 0, 12, 1, 0);
    return page;
}

TEST_F(LanguagePrinter, ZPL) {
    FilterResult r = run("ZPL", kLabelDefaults, {smallLabel()});
    const std::string expected =
        "^XA^LH0,0^MNW^LS0^POI^PW16^LL2\r\n^PR4\r\n~SD8\r\n^FO0,0,0\r\n^GFA,4,4,2,FFF00000\r\n^PQ1^XZ\r\n";
    EXPECT_TRUE(BytesEqual(bytesOf(expected), r.out));
    EXPECT_TRUE(BytesEqual(r.out, r.dump));

    // Job options override the PPD; no DefaultMediaTracking means no ^MN.
    r = run("ZPL", {"*DefaultResolution: 300dpi", "*DefaultPrintSpeed: 4", "*DefaultDarkness: 8"}, {smallLabel(300)},
            "Darkness=12 PrintSpeed=2 Horizontal=3 Vertical=1");
    EXPECT_TRUE(BytesEqual(
        bytesOf("^XA^LH0,0^LS0^POI^PW16^LL2\r\n^PR2\r\n~SD12\r\n^FO3,1,0\r\n^GFA,4,4,2,FFF00000\r\n^PQ1^XZ\r\n"),
        r.out));
}

TEST_F(LanguagePrinter, ZPLCompressed) {
    std::vector<std::string> lines = kLabelDefaults;
    lines.push_back("*ZVAttr CompressiePrint: \"1\"");
    FilterResult r = run("ZPL", lines, {RasterPage::gray(16, 1)});
    EXPECT_TRUE(BytesEqual(bytesOf("^XA^LH0,0^MNW^LS0^POI^PW16^LL1\r\n^PR4\r\n~SD8\r\n^FO0,0,0\r\n"
                                   "^GFA,2,2,2,:Z64:eJxjYAAAAAIAAQ==:A0C7\r\n^PQ1^XZ\r\n"),
                           r.out));
}

TEST_F(LanguagePrinter, SFZPLTwoPagesEachBehindThePrefix) {
    RasterPage second = RasterPage::gray(16, 1, 0);
    FilterResult r = run("ZV_SF_ZPL", kLabelDefaults, {smallLabel(), second});
    const std::string expected =
        "^^XX\r\n^XA^LH0,0^MNW^LS0^POI^PW16^LL2\r\n^PR4\r\n~SD8\r\n^FO0,0,0\r\n^GFA,4,4,2,FFF00000\r\n^PQ1^XZ\r\n"
        "^^XX\r\n^XA^LH0,0^MNW^LS0^POI^PW16^LL1\r\n^PR4\r\n~SD8\r\n^FO0,0,0\r\n^GFA,2,2,2,FFFF\r\n^PQ1^XZ\r\n";
    EXPECT_TRUE(BytesEqual(bytesOf(expected), r.out));
    EXPECT_TRUE(BytesEqual(r.out, r.dump)) << "the dump holds the same bytes in the same order";

    // The prefix is also found through the printer-size attribute alone.
    r = run("TSPL", {"*DefaultResolution: 203dpi", "*ExtensionAttr PrinterSize: \"28.191\""}, {RasterPage::gray(8, 1)});
    EXPECT_TRUE(BytesEqual(
        bytesOf("^^XX\r\n^XA^LH0,0^LS0^POI^PW8^LL1\r\n^PR0\r\n~SD0\r\n^FO0,0,0\r\n^GFA,1,1,1,00\r\n^PQ1^XZ\r\n"),
        r.out));
}

TEST_F(LanguagePrinter, CPCL) {
    const std::vector<std::string> lines = {"*DefaultResolution: 203dpi", "*DefaultPrintSpeed: 3",
                                            "*DefaultDarkness: 0", "*DefaultMediaTracking: 0"};
    FilterResult r = run("CPCL", lines, {smallLabel()});
    EXPECT_TRUE(BytesEqual(bytesOf("! 0 200 200 2 1\r\nPW 16\r\nNO-PACE\r\nGAP-SENSE\r\nTONE 0\r\nSPEED 3.0\r\n"
                                   "EG 2 2 0 0 \r\nFFF00000\r\n\r\nFORM\r\nPRINT\r\n"),
                           r.out));
    EXPECT_TRUE(BytesEqual(r.out, r.dump));

    std::vector<std::string> binary = {"*DefaultResolution: 300dpi", "*ZVAttr CompressiePrint: \"1\""};
    r = run("CPCL", binary, {smallLabel(300)}, "Darkness=5 Horizontal=2");
    EXPECT_TRUE(BytesEqual(join({bytesOf("! 0 300 300 2 1\r\nPW 16\r\nNO-PACE\r\nGAP-SENSE\r\nTONE 5\r\nSPEED 0.0\r\n"
                                         "CG 2 2 2 0 \r\n"),
                                 hexBytes("FF F0 00 00"), bytesOf("\r\n\r\nFORM\r\nPRINT\r\n")}),
                           r.out));
}

// A receipt page 32 dots wide: 3 white rows, 2 marked rows, a black bar of 2
// rows, 1 marked row, 4 white rows.
RasterPage receipt() {
    RasterPage page = RasterPage::gray(32, 12);
    page.fillRect(8, 3, 8, 2, 0);
    page.fillRect(0, 5, 32, 2, 0);
    page.fillRect(24, 7, 1, 1, 0);
    return page;
}

TEST_F(LanguagePrinter, ESCPOSPageBetweenPrologueAndEpilogue) {
    const std::vector<uint8_t> marked = hexBytes("00 FF 00 00 00 FF 00 00");
    const std::vector<uint8_t> bar = hexBytes("FF FF FF FF FF FF FF FF");
    const std::vector<uint8_t> last = hexBytes("00 00 00 80");
    const std::vector<uint8_t> feed = join({hexBytes("1D 76 30 30 04 00 18 00"), std::vector<uint8_t>(96, 0)});
    const struct {
        const char *options;
        std::vector<uint8_t> expected;
    } cases[] = {
        {"", join({hexBytes("1B 40 00 1D 76 30 00 04 00 05 00"), marked, bar, last, hexBytes("0D 0A 0D 0A 1B 40")})},
        {"Beeper=4 CashDrawer=3 BlankSpace=1",
         join({hexBytes("1B 40 1B 42 04 01 1B 70 00 19 FF 1B 70 01 19 FF 00 1D 76 30 00 04 00 03 00"), marked, last,
               hexBytes("0D 0A 0D 0A 1B 40")})},
        {"Beeper=2 Cutting=1 FeedDist=1", join({hexBytes("1B 40 00 1B 42 04 01 1D 76 30 00 04 00 05 00"), marked, bar,
                                                last, hexBytes("0D 0A 0D 0A"), feed, hexBytes("1D 56 42 00 1B 40")})},
        {"Beeper=1 Cutting=1", join({hexBytes("1B 40 00 1D 76 30 00 04 00 05 00"), marked, bar, last,
                                     hexBytes("0D 0A 0D 0A 1D 56 42 00 1B 42 04 01 1B 40")})},
        {"CashDrawer=6 Cutting=2 Beeper=3",
         join({hexBytes("1B 40 00 1D 76 30 00 04 00 05 00"), marked, bar, last,
               hexBytes("0D 0A 0D 0A 1B 70 00 19 FF 1B 70 01 19 FF 1D 56 42 00 1B 42 04 01 1B 40")})},
    };
    for (const auto &c : cases) {
        FilterResult r = run("ESC", {"*DefaultResolution: 203dpi"}, {receipt()}, c.options);
        EXPECT_TRUE(BytesEqual(c.expected, r.out)) << c.options;
    }
}

TEST_F(LanguagePrinter, ESCPOSTwoPagesShareOnePrologueAndEpilogue) {
    FilterResult r = run("ESC", {"*DefaultResolution: 203dpi", "*DefaultCutting: 1"},
                         {RasterPage::gray(8, 1, 0), RasterPage::gray(8, 2)}, "CashDrawer=2");
    EXPECT_TRUE(BytesEqual(hexBytes("1B 40 1B 70 01 19 FF"
                                    " 00 1D 76 30 00 01 00 01 00 FF 0D 0A 0D 0A 1D 56 42 00"
                                    " 00 1D 76 30 00 01 00 02 00 00 00 0D 0A 0D 0A 1D 56 42 00"
                                    " 1B 40"),
                           r.out));
    EXPECT_TRUE(BytesEqual(hexBytes("00 1D 76 30 00 01 00 01 00 FF 0D 0A 0D 0A 1D 56 42 00"
                                    " 00 1D 76 30 00 01 00 02 00 00 00 0D 0A 0D 0A 1D 56 42 00"),
                           r.dump))
        << "only the pages are dumped";
}

}  // namespace
}  // namespace zvtest
