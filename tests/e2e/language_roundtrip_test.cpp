// Pages printed through the filter and read back by the independent stream
// reader of the preview tool: every dot of the page must come back where it
// was, in every graphic form the command languages use (hexadecimal and Z64
// ZPL in several bands, SF ZPL, CPCL EG and CG, ESC/POS raster).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/render/render.h"

namespace zvtest {
namespace {

// 200 x 120 dots of mixed content; the first and last rows carry dots so the
// receipt encoder has nothing to trim.
RasterPage mixedPage() {
    RasterPage page = RasterPage::gray(200, 120);
    uint32_t state = 7;
    for (unsigned y = 0; y < page.height; ++y)
        for (unsigned x = 0; x < page.width; ++x) {
            state = state * 1664525u + 1013904223u;
            const bool text = y >= 10 && y < 40 && (x / 3 + y / 2) % 5 < 2;
            const bool bars = y >= 50 && y < 90 && (x * 7 / 11) % 3 == 0;
            const bool noise = y >= 95 && (state >> 28) < 5;
            if (text || bars || noise || y == 0 || x == 199) page.set(x, y, 0);
        }
    return page;
}

TEST(LanguageRoundTrip, EveryDotComesBack) {
    const struct {
        const char *model;
        std::vector<std::string> extra;
        zvrender::Format format;
    } cases[] = {
        {"ZPL", {}, zvrender::Format::Zpl},
        // Rows of 25 bytes and bands below 1000 bytes: four Z64 bands of 30 rows.
        {"ZPL", {"*ZVAttr CompressiePrint: \"1\"", "*ZVAttr NoCompressie: \"1000\""}, zvrender::Format::Zpl},
        {"ZV_SF_ZPL", {"*ZVAttr CompressiePrint: \"1\""}, zvrender::Format::SfZpl},
        {"CPCL", {}, zvrender::Format::Cpcl},
        {"CPCL", {"*ZVAttr CompressiePrint: \"1\""}, zvrender::Format::Cpcl},
        {"ESC", {}, zvrender::Format::EscPos},
    };
    const RasterPage page = mixedPage();
    for (const auto &c : cases) {
        TempDir dir;
        std::vector<std::string> lines = modelPpdLines(c.model);
        lines.insert(lines.end(), c.extra.begin(), c.extra.end());
        FilterRun run;
        run.ppdPath = writePpd(dir.file("printer.ppd"), lines);
        run.input = makeRaster({page, page});
        const FilterResult r = runFilter(run);
        ASSERT_EQ(r.status, 0) << r.err;

        const zvrender::RenderResult rendered = zvrender::renderStream(r.out);
        ASSERT_TRUE(rendered.ok) << c.model << ": " << rendered.message();
        EXPECT_EQ(rendered.format, c.format) << c.model;
        ASSERT_EQ(rendered.pages.size(), 2u) << c.model;
        for (const zvrender::RenderedPage &out : rendered.pages) {
            ASSERT_EQ(out.width, 200) << c.model;
            ASSERT_EQ(out.height, 120) << c.model;
            long wrong = 0;
            for (int y = 0; y < out.height; ++y)
                for (int x = 0; x < out.width; ++x) {
                    const bool black = page.pixels[static_cast<size_t>(y) * page.width + x] == 0;
                    if ((out.dot(x, y) != 0) != black) ++wrong;
                }
            EXPECT_EQ(wrong, 0) << c.model << " " << (c.extra.empty() ? "plain" : c.extra.front());
        }
    }
}

}  // namespace
}  // namespace zvtest
