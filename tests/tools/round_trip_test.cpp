// Round trips: a raster page through the built filter for each printer
// language, read back with the render-back reader, must be the page that
// went in, thresholded by print mode 0 (gray <= 128 is a dot).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol_print/model_scaling.h"
#include "protocol_print/single_color.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/render/render.h"

using zvrender::Format;
using zvrender::RenderedPage;
using zvrender::RenderResult;
using zvtest::RasterPage;

namespace {

// Gray values on both sides of the threshold, different on every row, and a
// width that is not a multiple of 8 (the filter pads it white to 104).
RasterPage grayPage(unsigned width, unsigned height, unsigned seed) {
    RasterPage page = RasterPage::gray(width, height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            unsigned v = (x * 29 + y * 71 + seed * 13 + (x * y) % 17) % 256;
            page.set(x, y, static_cast<uint8_t>(v));
        }
    page.set(0, 0, 128);  // the threshold itself prints
    page.set(1, 0, 129);  // one above does not
    return page;
}

// The dots the page should print: one byte per dot, the width padded to a
// multiple of 8 with white.
struct Dots {
    int width = 0, height = 0;
    std::vector<uint8_t> dots;
    uint8_t at(int x, int y) const { return dots[static_cast<size_t>(y) * width + x]; }
};

Dots threshold(const RasterPage &page) {
    Dots d;
    d.width = static_cast<int>((page.width + 7) / 8 * 8);
    d.height = static_cast<int>(page.height);
    d.dots.assign(static_cast<size_t>(d.width) * d.height, 0);
    for (unsigned y = 0; y < page.height; ++y)
        for (unsigned x = 0; x < page.width; ++x)
            d.dots[static_cast<size_t>(y) * d.width + x] = page.pixels[static_cast<size_t>(y) * page.width + x] <= 128;
    return d;
}

// The expected page moved by (dx, dy) on the label: the label grows by the
// offset and the margin stays white.
Dots shifted(const Dots &d, int dx, int dy) {
    Dots s;
    s.width = d.width + dx;
    s.height = d.height + dy;
    s.dots.assign(static_cast<size_t>(s.width) * s.height, 0);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) s.dots[static_cast<size_t>(y + dy) * s.width + x + dx] = d.at(x, y);
    return s;
}

// ESC/POS sends no white rows above the first dot or below the last.
Dots trimmedRows(const Dots &d) {
    auto blank = [&](int y) {
        return std::all_of(d.dots.begin() + static_cast<long>(y) * d.width,
                           d.dots.begin() + static_cast<long>(y + 1) * d.width, [](uint8_t v) { return v == 0; });
    };
    int top = 0, bottom = d.height;
    while (top < bottom && blank(top)) ++top;
    while (bottom > top && blank(bottom - 1)) --bottom;
    Dots t;
    t.width = d.width;
    t.height = bottom - top;
    t.dots.assign(d.dots.begin() + static_cast<long>(top) * d.width,
                  d.dots.begin() + static_cast<long>(bottom) * d.width);
    return t;
}

// Compares and names the first differing dot.
::testing::AssertionResult samePage(const Dots &want, const std::vector<uint8_t> &plane, const RenderedPage &got) {
    if (got.width != want.width || got.height != want.height)
        return ::testing::AssertionFailure()
               << "page is " << got.width << " x " << got.height << ", expected " << want.width << " x " << want.height;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            uint8_t g = plane[static_cast<size_t>(y) * got.width + x];
            if (g != want.at(x, y))
                return ::testing::AssertionFailure()
                       << "dot " << x << "," << y << " is " << int(g) << ", expected " << int(want.at(x, y));
        }
    return ::testing::AssertionSuccess();
}

class RoundTrip : public ::testing::Test {
  protected:
    RenderResult print(const std::string &model, std::vector<std::string> ppdLines,
                       const std::vector<RasterPage> &pages, Format format, const std::string &options = "") {
        std::vector<std::string> lines = zvtest::modelPpdLines(model, 203);
        lines.insert(lines.end(), ppdLines.begin(), ppdLines.end());
        zvtest::FilterRun job;
        job.ppdPath = zvtest::writePpd(dir.file("printer.ppd"), lines);
        job.options = options;
        job.input = zvtest::makeRaster(pages);
        zvtest::FilterResult out = zvtest::runFilter(job);
        EXPECT_EQ(out.status, 0) << out.err;
        // Read strictly as the named language, and as told from the first bytes.
        RenderResult named = zvrender::renderStream(out.out, format);
        EXPECT_TRUE(named.ok) << model << ": " << named.message();
        RenderResult detected = zvrender::renderStream(out.out);
        EXPECT_TRUE(detected.ok) << detected.message();
        EXPECT_EQ(detected.format, format);
        return named;
    }
    zvtest::TempDir dir;
};

struct LanguageCase {
    const char *name;
    const char *model;
    Format format;
    std::vector<std::string> ppdLines;
};

class RoundTripLanguage : public RoundTrip, public ::testing::WithParamInterface<LanguageCase> {};

// Two pages of different sizes; compressed forms with band limits so small
// that every page is cut into several bands.
TEST_P(RoundTripLanguage, PagesComeBackAsThresholded) {
    const LanguageCase &c = GetParam();
    std::vector<RasterPage> pages = {grayPage(101, 37, 1), grayPage(48, 9, 2)};
    RenderResult r = print(c.model, c.ppdLines, pages, c.format);
    ASSERT_EQ(r.pages.size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        Dots want = threshold(pages[i]);
        if (c.format == Format::EscPos) want = trimmedRows(want);
        EXPECT_TRUE(samePage(want, r.pages[i].black, r.pages[i])) << c.name << " page " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Languages, RoundTripLanguage,
    ::testing::Values(LanguageCase{"tspl", "TSPL", Format::Tspl, {"*DefaultMediaTracking: 1"}},
                      LanguageCase{"tspl_bands",
                                   "TSPL",
                                   Format::Tspl,
                                   {"*ZVAttr CompressiePrint: \"1\"", "*ZVAttr NoCompressie: \"200\"",
                                    "*ZVAttr Compressie: \"150\""}},
                      LanguageCase{"zpl", "ZPL", Format::Zpl, {"*DefaultMediaTracking: 1"}},
                      LanguageCase{"zpl_z64_bands",
                                   "ZPL",
                                   Format::Zpl,
                                   {"*ZVAttr CompressiePrint: \"1\"", "*ZVAttr NoCompressie: \"200\"",
                                    "*ZVAttr Compressie: \"150\""}},
                      LanguageCase{"sf_zpl", "ZV_SF_ZPL", Format::SfZpl, {}},
                      LanguageCase{"sf_zpl_z64", "ZV_SF_ZPL", Format::SfZpl, {"*ZVAttr CompressiePrint: \"1\""}},
                      LanguageCase{"cpcl_eg", "CPCL", Format::Cpcl, {}},
                      LanguageCase{"cpcl_cg", "CPCL", Format::Cpcl, {"*ZVAttr CompressiePrint: \"1\""}},
                      LanguageCase{"escpos", "ESC", Format::EscPos, {}}),
    [](const ::testing::TestParamInfo<LanguageCase> &info) { return std::string(info.param.name); });

// The Horizontal and Vertical options move the picture on the label.
TEST_F(RoundTrip, OffsetsMoveThePicture) {
    RasterPage page = grayPage(30, 12, 3);
    Dots want = shifted(threshold(page), 5, 3);
    struct {
        const char *model;
        Format format;
    } cases[] = {{"TSPL", Format::Tspl}, {"ZPL", Format::Zpl}, {"CPCL", Format::Cpcl}};
    for (const auto &c : cases) {
        RenderResult r = print(c.model, {}, {page}, c.format, "Horizontal=5 Vertical=3");
        ASSERT_EQ(r.pages.size(), 1u) << c.model;
        // ZPL and CPCL declare the label at the page's own size; the picture
        // reaches past it by the offset, which the reader shows.
        EXPECT_TRUE(samePage(want, r.pages[0].black, r.pages[0])) << c.model;
    }
}

// ESC/POS: feed blocks after the page are white rows of the page's width,
// and the job frame (drawer, cut, beep) reads as part of the stream.
TEST_F(RoundTrip, EscPosFeedBlocksAndJobFrame) {
    RasterPage page = RasterPage::gray(64, 40);
    page.fillRect(3, 10, 20, 5, 0);
    page.fillRect(60, 20, 4, 1, 100);
    RenderResult r = print("ESC", {}, {page, page}, Format::EscPos, "FeedDist=2 Cutting=1 Beeper=2 CashDrawer=3");
    ASSERT_EQ(r.pages.size(), 2u);
    Dots want = trimmedRows(threshold(page));
    ASSERT_EQ(want.height, 11);
    want.dots.resize(want.dots.size() + 2u * 24u * 64u, 0);  // two 3 mm feeds at 8 dots per mm
    want.height += 48;
    for (const RenderedPage &p : r.pages) EXPECT_TRUE(samePage(want, p.black, p));
}

// Two-colour TSPL: the chroma split's black and red planes come back as the
// page's neutral dark and coloured pixels.
TEST_F(RoundTrip, TwoColourPlanes) {
    const unsigned w = 21, h = 6;
    RasterPage page = RasterPage::rgba(w, h, 255, 255, 255);
    struct Pixel {
        uint8_t r, g, b, a;
        bool black, red;
    } kinds[] = {
        {200, 30, 30, 255, false, true},                                 // red
        {100, 20, 20, 254, true, true},                                  // dark, not opaque: both
        {90, 90, 90, 255, true, false},                                  // neutral dark
        {200, 200, 200, 255, false, false}, {0, 0, 0, 0, false, false},  // transparent
        {100, 104, 107, 255, true, false},                               // neutral within 7
        {255, 255, 255, 255, false, false},
    };
    const size_t kindCount = sizeof kinds / sizeof kinds[0];
    Dots black, red;
    black.width = red.width = 24;
    black.height = red.height = static_cast<int>(h);
    black.dots.assign(24 * h, 0);
    red.dots.assign(24 * h, 0);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            const Pixel &k = kinds[(x + 3 * y) % kindCount];
            uint8_t *p = page.row(y) + 4 * x;
            p[0] = k.r, p[1] = k.g, p[2] = k.b, p[3] = k.a;
            black.dots[y * 24 + x] = k.black;
            red.dots[y * 24 + x] = k.red;
        }
    for (const char *colourModel : {"0", "1", "2"}) {
        RenderResult r = print("Two_Color_TSPL", {"*DefaultColorPrintModel: " + std::string(colourModel)}, {page},
                               Format::TwoColorTspl);
        ASSERT_EQ(r.pages.size(), 1u);
        const RenderedPage &got = r.pages[0];
        ASSERT_TRUE(got.hasRed());
        Dots none = black;
        std::fill(none.dots.begin(), none.dots.end(), 0);
        std::string m = colourModel;
        EXPECT_TRUE(samePage(m == "2" ? none : black, got.black, got)) << "model " << m << " black";
        EXPECT_TRUE(samePage(m == "1" ? none : red, got.red, got)) << "model " << m << " red";
    }
}

// Protocol models in print mode 0: the page comes back as the model's
// scaling of it, padded to whole bytes with white, thresholded at 222 after
// the gray conversion; mirrored where the model mirrors. The encrypting
// family (ODM 163, raw rows) reads back with the PPD's key.
TEST_F(RoundTrip, ProtocolPagesComeBackScaledOntoTheModel) {
    RasterPage page = grayPage(240, 320, 4);
    page.fillRect(20, 30, 60, 40, 0);
    const std::string key = "000102030405060708090a0b0c0d0e0f", iv = "f0e0d0c0b0a090807060504030201000";
    struct Case {
        int model;
        std::vector<std::string> ppdLines;
        bool encrypted;
    };
    std::vector<Case> cases;
    for (int model = 0; model < 13; ++model)
        cases.push_back({model, {"*ExtensionAttr PrinterSize: \"28." + std::to_string(model) + "\""}, false});
    cases.push_back(
        {6,
         {"*ExtensionAttr PrinterSize: \"163.6\"", "*ZVAttr AESKey: \"" + key + "\"", "*ZVAttr AESIV: \"" + iv + "\""},
         true});
    zvrender::RenderOptions keys;
    keys.haveAesKey = true;
    for (int i = 0; i < 16; ++i) {
        keys.aesKey[i] = static_cast<uint8_t>(std::strtoul(key.substr(2 * i, 2).c_str(), nullptr, 16));
        keys.aesIv[i] = static_cast<uint8_t>(std::strtoul(iv.substr(2 * i, 2).c_str(), nullptr, 16));
    }
    for (const Case &c : cases) {
        std::vector<std::string> lines = {"*DefaultResolution: 203dpi", "*DefaultPrintMode: 0"};
        lines.insert(lines.end(), c.ppdLines.begin(), c.ppdLines.end());
        zvtest::FilterRun job;
        job.ppdPath = zvtest::writePpd(dir.file("printer.ppd"), lines);
        job.input = zvtest::makeRaster({page});
        const zvtest::FilterResult out = zvtest::runFilter(job);
        ASSERT_EQ(out.status, 0) << out.err;
        const RenderResult r =
            zvrender::renderStream(out.out, Format::Auto, c.encrypted ? keys : zvrender::RenderOptions());
        ASSERT_TRUE(r.ok) << "model " << c.model << ": " << r.message();
        EXPECT_EQ(r.format, Format::Protocol);
        ASSERT_EQ(r.pages.size(), 1u);

        uint32_t w = 0, h = 0;
        uint8_t *scaled = driveBitmapZoomToModel(c.model, page.pixels.data(), page.width, page.height, &w, &h);
        ASSERT_NE(scaled, nullptr);
        Dots want;
        want.width = static_cast<int>((w + 7) / 8 * 8);
        want.height = static_cast<int>(h);
        want.dots.assign(static_cast<size_t>(want.width) * h, 0);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                want.dots[static_cast<size_t>(y) * want.width + x] = singleGrayOfLevel(scaled[y * w + x]) <= 222;
        std::free(scaled);
        EXPECT_TRUE(samePage(want, r.pages[0].black, r.pages[0])) << "model " << c.model;
    }
}

}  // namespace
