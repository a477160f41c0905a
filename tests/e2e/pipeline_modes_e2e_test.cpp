// Print modes through the built filter on every command-language printer,
// read back by the preview's stream reader: the classic modes and the
// pipeline modes (text, picture, mixed) all put the page on the label.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "encoders/gray_pack.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/render/render.h"

namespace zvtest {
namespace {

FilterResult printPage(const std::string &model, const RasterPage &page, int mode) {
    TempDir dir;
    FilterRun run;
    run.ppdPath = writePpd(dir.file("printer.ppd"), modelPpdLines(model));
    run.input = makeRaster({page});
    run.options = "PrintMode=" + std::to_string(mode);
    FilterResult r = runFilter(run);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find("ERROR")) << r.err;
    return r;
}

// 200 x 120: a line of text over a photograph. Row 0 and the last rows carry
// dots in every mode, so the receipt printer trims nothing.
RasterPage textOverPhoto() {
    RasterPage page = RasterPage::gray(200, 120);
    page.fillRect(0, 0, 200, 2, 0);
    for (unsigned y = 2; y < 30; ++y)
        for (unsigned x = 5; x < 195; x += 9) {
            if ((x / 9 + y / 4) % 3 == 0) continue;
            page.set(x, y, 0);
            page.set(x + 1, y, 0);
        }
    uint32_t state = 11;
    for (unsigned y = 40; y < 120; ++y)
        for (unsigned x = 0; x < 200; ++x) {
            state = state * 1664525u + 1013904223u;
            const unsigned ramp = 30 + (x + y) % 120;
            page.set(x, y, static_cast<uint8_t>(ramp + (state >> 27)));
        }
    return page;
}

// Mode 8 through the executable equals Gray2Bytes' mixed mode on the same
// page. Its picture dither is seeded from the clock in whole seconds, so the
// filter run and the reference must fall into the same second.
TEST(PipelineModes, MixedModeOnTsplAndEscPosPrintsThePipelineResult) {
    const RasterPage page = textOverPhoto();
    for (const char *model : {"TSPL", "ESC"}) {
        bool compared = false;
        for (int attempt = 0; attempt < 5 && !compared; ++attempt) {
            const time_t before = std::time(nullptr);
            const FilterResult r = printPage(model, page, 8);
            std::vector<uint8_t> expected(25 * 120, 0);
            Gray2Bytes(page.pixels.data(), expected.data(), 25, 120, 8);
            if (std::time(nullptr) != before) continue;
            compared = true;

            EXPECT_NE(std::string::npos, r.logText.find("ZVImageAlgoTextImageMixed")) << model;
            const zvrender::RenderResult rendered = zvrender::renderStream(r.out);
            ASSERT_TRUE(rendered.ok) << model << ": " << rendered.message();
            ASSERT_EQ(1u, rendered.pages.size()) << model;
            const zvrender::RenderedPage &out = rendered.pages[0];
            ASSERT_EQ(200, out.width) << model;
            ASSERT_EQ(120, out.height) << model;
            long wrong = 0, dots = 0;
            for (int y = 0; y < 120; ++y)
                for (int x = 0; x < 200; ++x) {
                    const bool dot = (expected[static_cast<size_t>(y) * 25 + x / 8] >> (7 - x % 8)) & 1;
                    dots += dot;
                    if ((out.dot(x, y) != 0) != dot) ++wrong;
                }
            EXPECT_EQ(0, wrong) << model;
            EXPECT_GT(dots, 200 * 80 / 4) << model << ": the photograph is printed";
        }
        EXPECT_TRUE(compared) << model << ": no run fitted into one second";
    }
}

// Every print mode on every language printer: a black block comes out black
// (at least 90 % dots; the clustered and 16x16 screens leave a few holes)
// and white paper stays white.
TEST(PipelineModes, EveryPrintModePrintsOnEveryLanguagePrinter) {
    RasterPage page = RasterPage::gray(96, 64);
    page.fillRect(16, 16, 48, 32, 0);
    for (const char *model : {"TSPL", "Two_Color_TSPL", "ZPL", "ZV_SF_ZPL", "CPCL", "ESC"}) {
        for (int mode = 0; mode <= 9; ++mode) {
            const FilterResult r = printPage(model, page, mode);
            const zvrender::RenderResult rendered = zvrender::renderStream(r.out);
            ASSERT_TRUE(rendered.ok) << model << " mode " << mode << ": " << rendered.message();
            ASSERT_EQ(1u, rendered.pages.size()) << model << " mode " << mode;
            const zvrender::RenderedPage &out = rendered.pages[0];
            long blackDots = 0, whiteDots = 0;
            for (int y = 0; y < out.height; ++y)
                for (int x = 0; x < out.width; ++x) {
                    // The receipt printer trims the white rows above the block.
                    const int pageY = std::string(model) == "ESC" ? y + 16 : y;
                    const bool black = x >= 16 && x < 64 && pageY >= 16 && pageY < 48;
                    (black ? blackDots : whiteDots) += out.dot(x, y) != 0;
                }
            EXPECT_GE(blackDots, 48 * 32 * 9 / 10) << model << " mode " << mode;
            EXPECT_EQ(0, whiteDots) << model << " mode " << mode;
            if (mode == 5) {
                EXPECT_NE(std::string::npos, r.logText.find("printMode 5 -> 6")) << model;
            }
            if (mode == 9) {
                EXPECT_NE(std::string::npos, r.logText.find("unknow")) << model;
            }
        }
    }
}

}  // namespace
}  // namespace zvtest
