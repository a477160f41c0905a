// Pages rendered at a multiple of the printer's resolution: which multiples
// are recognised, how a block becomes one dot, and the page loop printing
// the reduced page (or refusing a resolution it cannot reduce from).
#include "filter/supersample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Supersample, FactorIsTheWholeMultipleOfTheNativeResolution) {
    struct Case {
        unsigned x, y;
        int native;
        int factor;
    } cases[] = {
        {203, 203, 203, 1},
        {406, 406, 203, 2},
        {609, 609, 203, 3},
        {900, 900, 300, 3},
        {600, 600, 300, 2},
        {300, 300, 203, 0},
        {812, 812, 203, 0},
        {101, 101, 203, 0},
        {609, 203, 203, 0},
        {609, 406, 203, 0},
        // Unknown on either side: taken as native.
        {0, 0, 203, 1},
        {609, 609, 0, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.factor, supersampleFactor(c.x, c.y, c.native)) << c.x << "x" << c.y << " at " << c.native;
}

// One block of `factor` x `factor` gray samples reduced to its dot.
unsigned char reduceGrayBlock(const std::vector<unsigned char> &samples, int factor) {
    PageLayout layout;
    layout.pixels = static_cast<uint64_t>(factor);
    layout.rows = static_cast<uint64_t>(factor);
    layout.pitch = 8;
    std::vector<unsigned char> page(layout.pitch * layout.rows, 0xFF);
    for (int y = 0; y < factor; ++y)
        for (int x = 0; x < factor; ++x)
            page[static_cast<size_t>(y) * 8 + x] = samples[static_cast<size_t>(y * factor + x)];
    const PageLayout reduced = reduceSupersampledPage(&page, layout, factor);
    EXPECT_EQ(reduced.pixels, 1u);
    EXPECT_EQ(reduced.rows, 1u);
    EXPECT_EQ(reduced.pitch, 8u);
    EXPECT_EQ(page.size(), 8u);
    for (size_t i = 1; i < page.size(); ++i) EXPECT_EQ(page[i], 255) << "padding " << i;
    return page[0];
}

TEST(Supersample, ADotPrintsOnlyWhenMoreThanHalfOfItIsInked) {
    struct Case {
        int factor;
        std::vector<unsigned char> samples;
        unsigned char dot;
    } cases[] = {
        {2, {255, 255, 255, 255}, 255},
        {2, {0, 255, 255, 255}, 255},
        {2, {0, 0, 255, 255}, 255},  // exactly half: white, or every bar grows again
        {2, {0, 255, 255, 0}, 255},
        {2, {0, 0, 0, 255}, 0},
        {2, {0, 0, 0, 0}, 0},
        {3, {0, 0, 0, 0, 255, 255, 255, 255, 255}, 255},
        {3, {0, 0, 0, 0, 0, 255, 255, 255, 255}, 0},
        {3, {255, 0, 255, 0, 255, 0, 255, 0, 0}, 0},
        // Gray samples (photographs, anti-aliased art) keep their tone: the
        // rounded average.
        {2, {100, 100, 200, 200}, 150},
        {2, {0, 0, 255, 254}, 127},
        {3, {10, 20, 30, 40, 50, 60, 70, 80, 91}, 50},
    };
    for (const Case &c : cases) {
        std::string where = std::to_string(c.factor) + "x:";
        for (unsigned char s : c.samples) where += " " + std::to_string(s);
        EXPECT_EQ(c.dot, reduceGrayBlock(c.samples, c.factor)) << where;
    }
}

// A page whose size is no multiple of the factor: the blocks at the right
// and bottom edges have white paper where the page has no samples.
TEST(Supersample, EdgeBlocksCountTheMissingSamplesAsPaper) {
    PageLayout layout;
    layout.pixels = 5;
    layout.rows = 3;
    layout.pitch = 8;
    // Black everywhere: the full block prints, the edge blocks hold two of
    // four samples (white) or one (white).
    std::vector<unsigned char> page(layout.pitch * layout.rows, 0xFF);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) page[static_cast<size_t>(y) * 8 + x] = 0;
    const PageLayout reduced = reduceSupersampledPage(&page, layout, 2);
    EXPECT_EQ(reduced.pixels, 3u);
    EXPECT_EQ(reduced.rows, 2u);
    EXPECT_EQ(reduced.pitch, 8u);
    const std::vector<unsigned char> expected = {0,   0,   255, 255, 255, 255, 255, 255,   // row 0
                                                 255, 255, 255, 255, 255, 255, 255, 255};  // row 1
    EXPECT_EQ(expected, page);
}

// Bars as gstoraster draws them at 3 x: a bar of three samples aligned with a
// dot is one dot; one that covers two thirds of a dot prints it, one third
// does not. Every row of the reduced page is the same (the rows are reduced
// in place and must not overwrite samples still to be read).
TEST(Supersample, BarsKeepTheirWidthAcrossAWidePage) {
    const int factor = 3;
    const uint64_t pixels = 3 * 40, rows = 3 * 4;
    PageLayout layout;
    layout.pixels = pixels;
    layout.rows = rows;
    layout.pitch = pixels;
    std::vector<unsigned char> page(layout.pitch * layout.rows, 0xFF);
    auto bar = [&](uint64_t first, uint64_t count) {
        for (uint64_t y = 0; y < rows; ++y)
            for (uint64_t x = first; x < first + count; ++x) page[y * layout.pitch + x] = 0;
    };
    bar(3, 3);   // dot 1
    bar(13, 5);  // samples 13..17: dot 4 has 2 of 3 columns, dot 5 all three
    bar(30, 6);  // dots 10 and 11
    bar(61, 2);  // two thirds of dot 20
    bar(64, 1);  // a third of dot 21: white
    bar(99, 4);  // dot 33 whole, dot 34 one column of three
    const PageLayout reduced = reduceSupersampledPage(&page, layout, factor);
    ASSERT_EQ(reduced.pixels, 40u);
    ASSERT_EQ(reduced.rows, 4u);
    ASSERT_EQ(reduced.pitch, 40u);
    std::vector<int> black;
    for (uint64_t x = 0; x < 40; ++x)
        if (page[x] == 0) black.push_back(static_cast<int>(x));
    EXPECT_EQ(black, (std::vector<int>{1, 4, 5, 10, 11, 20, 33}));
    for (uint64_t y = 1; y < 4; ++y)
        EXPECT_TRUE(std::equal(page.begin(), page.begin() + 40, page.begin() + static_cast<long>(y * 40))) << y;
}

TEST(Supersample, ColourBlocksTakeTheirMostFrequentInk) {
    using Rgb = std::array<unsigned char, 3>;
    const Rgb white{255, 255, 255}, black{0, 0, 0}, red{255, 0, 0};
    struct Case {
        std::vector<Rgb> samples;  // 3 x 3
        Rgb dot;
    } cases[] = {
        {{red, red, red, red, red, white, white, white, white}, red},
        {{red, red, red, red, white, white, white, white, white}, white},
        {{black, black, black, red, red, white, white, white, white}, black},
        {{red, black, red, black, red, white, white, white, black}, red},
        // Not pure: the channels' averages.
        {{Rgb{200, 10, 10}, red, red, red, red, red, red, red, red}, Rgb{249, 1, 1}},
    };
    for (const Case &c : cases) {
        PageLayout layout;
        layout.bytesPerPixel = 3;
        layout.pixels = 3;
        layout.rows = 3;
        layout.pitch = 8 * 3;
        std::vector<unsigned char> page(layout.pitch * layout.rows, 0xFF);
        for (int i = 0; i < 9; ++i)
            std::copy(c.samples[static_cast<size_t>(i)].begin(), c.samples[static_cast<size_t>(i)].end(),
                      page.begin() + (i / 3) * 24 + (i % 3) * 3);
        const PageLayout reduced = reduceSupersampledPage(&page, layout, 3);
        ASSERT_EQ(reduced.pixels, 1u);
        ASSERT_EQ(reduced.pitch, 24u);
        EXPECT_EQ(c.dot, (Rgb{page[0], page[1], page[2]}));
    }
}

// The filter: a raster at 2 or 3 times the PPD's resolution prints the native
// label (the TSPL bitmap of the reduced size); any other resolution is
// refused with an "ERROR:" line instead of printing a label of the wrong size.
TEST(SupersampleFilter, PageLoopReducesSupportedMultiplesAndRefusesOthers) {
    struct Case {
        unsigned dpi;
        std::string bitmap;  // empty: the page is refused
    } cases[] = {
        {203, "BITMAP 0,0,18,30,0,"}, {406, "BITMAP 0,0,9,15,0,"}, {609, "BITMAP 0,0,6,10,0,"}, {300, ""}, {812, ""},
    };
    zvtest::TempDir dir;
    const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("TSPL"));
    for (const Case &c : cases) {
        zvtest::RasterPage page = zvtest::RasterPage::gray(144, 30);
        page.dpi = c.dpi;
        page.fillRect(0, 0, 144, 3, 0);
        zvtest::FilterRun run;
        run.ppdPath = ppd;
        run.input = zvtest::makeRaster({page});
        const zvtest::FilterResult r = zvtest::runFilter(run);
        const std::string out(r.out.begin(), r.out.end());
        if (c.bitmap.empty()) {
            EXPECT_EQ(r.status, 1) << c.dpi;
            EXPECT_TRUE(r.out.empty()) << c.dpi;
            EXPECT_NE(r.err.find("ERROR: Page 1 was rendered at " + std::to_string(c.dpi) + "x" +
                                 std::to_string(c.dpi) + " dpi, which is neither the printer's 203 dpi"),
                      std::string::npos)
                << r.err;
        } else {
            EXPECT_EQ(r.status, 0) << c.dpi << r.err;
            EXPECT_NE(out.find(c.bitmap), std::string::npos) << c.dpi << ": " << out.substr(0, 200);
            EXPECT_EQ(r.err.find("ERROR:"), std::string::npos) << r.err;
            const bool reduced = c.dpi != 203;
            EXPECT_EQ(reduced, r.logText.find("rendering: supersampled") != std::string::npos) << c.dpi;
            EXPECT_EQ(!reduced, r.logText.find("rendering: native") != std::string::npos) << c.dpi;
        }
    }
}

}  // namespace

namespace {

// The job's memory budget counts the whole supersampled page that is read
// before it is reduced: a page whose reduced form would fit, but whose raster
// does not, is refused like any other page over the budget.
TEST(SupersampleFilter, MemoryBudgetCountsTheSupersampledPage) {
    zvtest::TempDir dir;
    const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("TSPL"));
    struct Case {
        unsigned dpi, side;
        bool printed;
    } cases[] = {{203, 2000, true}, {609, 6000, false}};
    for (const Case &c : cases) {
        zvtest::RasterPage page = zvtest::RasterPage::gray(c.side, c.side);
        page.dpi = c.dpi;
        zvtest::FilterRun run;
        run.ppdPath = ppd;
        run.env["ZORVAN_MEMORY_BUDGET"] = "64";
        run.input = zvtest::makeRaster({page});
        const zvtest::FilterResult r = zvtest::runFilter(run);
        EXPECT_EQ(c.printed, r.status == 0) << c.dpi << ": " << r.err;
        EXPECT_EQ(!c.printed, r.err.find("ERROR: Page 1 would need about") != std::string::npos) << r.err;
    }
}

}  // namespace
