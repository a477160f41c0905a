// Job options beyond what a printer language accepts are clamped to its range
// (offsets also to the page), each with one warning per job.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/lenient_number.h"
#include "tests/support/filter_runner.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using zvtest::RasterPage;

size_t count(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(OptionRange, OverlongNumbersStickAtTheLimit) {
    EXPECT_EQ(parseLeadingInt64Saturated("99999999999999999999"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(parseLeadingInt64Saturated("-99999999999999999999"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(parseLeadingInt64Saturated("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(parseLeadingInt64Saturated("9223372036854775807"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(parseLeadingInt64Saturated(" -12mm"), -12);
    EXPECT_EQ(parseLeadingInt64Saturated("fast"), 0);
}

struct RangeCase {
    const char *model;    // PrinterModel of the PPD
    const char *options;  // the job's options
    const char *output;   // text the printer data must hold ("" for none)
    const char *absent;   // text it must not hold ("" for none)
    int warnings;         // WARNING lines for the whole two-page job
};

// Pages 16 x 2 dots: an offset beyond 16 across or 2 down leaves the page.
const RangeCase kCases[] = {
    {"TSPL", "Darkness=99999999999999999999", "DENSITY 15\r\n", "", 1},
    {"TSPL", "Darkness=-3 PrintSpeed=-32768", "SPEED 1\r\nDENSITY 0\r\n", "", 2},
    {"TSPL", "Horizontal=-100000 Vertical=-1", "BITMAP 0,0,2,2,0,", "", 2},
    {"TSPL", "Horizontal=500 Vertical=1", "BITMAP 16,1,2,2,0,", "", 1},  // off the page, not the language
    {"TSPL", "Darkness=12 PrintSpeed=3 Horizontal=8", "SPEED 3\r\nDENSITY 12\r\n", "", 0},
    {"Two_Color_TSPL", "ColourDarkness=-1 Darkness=16", "DENSITY 15\r\n", "", 2},
    {"Two_Color_TSPL", "ColourDarkness=99", "SETCOLOR RED 15\r\n", "", 1},
    {"ZPL", "Darkness=99999999999999999999 PrintSpeed=0", "^PR1\r\n~SD30\r\n", "", 2},
    {"ZPL", "Vertical=-5 Horizontal=9", "^FO9,0,0\r\n", "", 1},
    {"ZV_SF_ZPL", "Darkness=31", "~SD30\r\n", "", 1},
    {"CPCL", "Darkness=500 PrintSpeed=9", "TONE 200\r\nSPEED 5.0\r\n", "", 2},
    {"CPCL", "Darkness=-200 Horizontal=40000", "TONE -99\r\n", "", 3},  // 32000, then the page
    {"CPCL", "Horizontal=40000", "EG 2 2 16 0 \r\n", "", 2},
    {"ESC", "FeedDist=-1", "", "\x1D\x76\x30\x30", 1},                // once 255 blocks of paper
    {"ESC", "FeedDist=1 Darkness=99999", "\x1D\x76\x30\x30", "", 0},  // ESC/POS has no darkness
};

TEST(OptionRange, ClampedPerLanguageWithOneWarningPerOption) {
    zvtest::TempDir dir;
    for (const RangeCase &c : kCases) {
        const std::string name = std::string(c.model) + " " + c.options;
        zvtest::FilterRun run;
        run.ppdPath = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines(c.model));
        run.options = c.options;
        // Black pages, in the colour space the printer asks for.
        const RasterPage page =
            std::string(c.model) == "Two_Color_TSPL" ? RasterPage::rgba(16, 2, 0, 0, 0) : RasterPage::gray(16, 2, 0);
        run.input = zvtest::makeRaster({page, page});
        const zvtest::FilterResult r = zvtest::runFilter(run);
        const std::string out(r.out.begin(), r.out.end());
        EXPECT_EQ(r.status, 0) << name << "\n" << r.err;
        if (*c.output) {
            EXPECT_EQ(count(out, c.output), 2u) << name << "\n" << out;  // on both pages
        }
        if (*c.absent) {
            EXPECT_EQ(count(out, c.absent), 0u) << name;
        }
        EXPECT_EQ(count(r.err, "WARNING: "), static_cast<size_t>(c.warnings)) << name << "\n" << r.err;
    }
}

TEST(OptionRange, WarningNamesTheOptionAndTheValueUsed) {
    zvtest::TempDir dir;
    zvtest::FilterRun run;
    run.ppdPath = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("TSPL"));
    run.options = "Darkness=99999999999999999999 Horizontal=40";
    run.input = zvtest::makeRaster({RasterPage::gray(16, 2, 0)});
    const zvtest::FilterResult r = zvtest::runFilter(run);
    EXPECT_NE(r.err.find("WARNING: Option Darkness=99999999999999999999 is outside 0 to 15 for this printer; 15 is "
                         "used\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("WARNING: Horizontal offset 40 is beyond the 16-dot page; 16 is used\n"), std::string::npos)
        << r.err;
}

// The protocol models' darkness packet holds 0 to 15: a huge darkness is sent
// as 15, not as whatever its low byte happens to be.
TEST(OptionRange, ProtocolModelsGetTheirOwnRanges) {
    zvtest::TempDir dir;
    zvtest::FilterRun run;
    run.ppdPath = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("L40"));
    run.options = "Darkness=256 PrintSpeed=-1";
    run.input = zvtest::makeRaster({RasterPage::gray(16, 2, 0)});
    const zvtest::FilterResult r = zvtest::runFilter(run);
    EXPECT_NE(r.logText.find("speed = 0, density = 15,8"), std::string::npos) << r.logText;
    EXPECT_EQ(count(r.err, "WARNING: Option "), 2u) << r.err;
}

}  // namespace
