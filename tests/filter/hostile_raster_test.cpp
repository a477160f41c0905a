// Raster streams any local user could submit: each must end in defined output,
// a clear message, and the exit status CUPS expects (1 when nothing printed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using zvtest::RasterPage;

cups_page_header2_t grayHeader(unsigned width, unsigned height) {
    RasterPage shape;  // no pixels: only the header is wanted
    shape.width = width;
    shape.height = height;
    return zvtest::headerFor(shape);
}

std::vector<uint8_t> rawPage(const cups_page_header2_t &header, size_t dataBytes, uint8_t value = 0) {
    return zvtest::rawRaster({{header, std::vector<uint8_t>(dataBytes, value)}});
}

struct HostileCase {
    const char *name;
    std::function<std::vector<uint8_t>()> stream;
    int pages;            // PAGE: lines expected
    const char *message;  // expected on standard error ("" for none)
};

TEST(HostileRaster, EveryMalformedStreamEndsCleanly) {
    const HostileCase cases[] = {
        {"zero width",
         [] {
             auto h = grayHeader(0, 4);
             h.cupsBytesPerLine = 0;
             return rawPage(h, 0);
         },
         0, ""},
        {"zero height", [] { return rawPage(grayHeader(16, 0), 0); }, 0, ""},
        // libcups takes the header's byte count as it stands; the row is then
        // read as 20 gray pixels.
        {"bytes per line disagree with the width",
         [] {
             auto h = grayHeader(16, 2);
             h.cupsBytesPerLine = 20;
             return rawPage(h, 40);
         },
         1, ""},
        {"height beyond any label", [] { return rawPage(grayHeader(8, 0x80000000u), 64); }, 0, "ERROR: Page 1:"},
        {"width beyond any label", [] { return rawPage(grayHeader(0x40000000u, 1), 64); }, 0, "ERROR: Page 1:"},
        {"1-bit data",
         [] {
             auto h = grayHeader(64, 4);
             h.cupsBitsPerColor = 1;
             h.cupsBitsPerPixel = 1;
             h.cupsBytesPerLine = 8;
             return rawPage(h, 32, 0x0F);
         },
         1, "WARNING: Page 1 has 1 bits per colour"},
        {"16-bit data",
         [] {
             auto h = grayHeader(16, 2);
             h.cupsBitsPerColor = 16;
             h.cupsBitsPerPixel = 16;
             h.cupsBytesPerLine = 32;
             return rawPage(h, 64, 0x80);
         },
         1, "WARNING: Page 1 has 16 bits per colour"},
        {"colour space the PPD did not ask for",
         [] {
             RasterPage page = RasterPage::rgba(16, 2, 0, 0, 0);
             page.colorSpace = CUPS_CSPACE_RGB;
             page.pixels.resize(16 * 2 * 3);
             return zvtest::makeRaster({page});
         },
         1, "WARNING: The raster has colour space 1"},
        // Read as one byte per pixel; the number must not be loaded as the
        // header's enum type (found by fuzzing, caught by the sanitizer build).
        {"colour space number no CUPS version defines",
         [] {
             auto h = grayHeader(16, 2);
             const uint32_t space = 65536;
             std::memcpy(&h.cupsColorSpace, &space, sizeof space);
             auto bytes = rawPage(h, 32, 0x40);
             // The current stream version: libcups reads any colour space there.
             const uint32_t sync = CUPS_RASTER_SYNC;
             std::memcpy(bytes.data(), &sync, sizeof sync);
             return bytes;
         },
         1, "WARNING: The raster has colour space 65536"},
        // What arrived is printed; the rest of the page stays white.
        {"stream cut mid-row", [] { return rawPage(grayHeader(64, 8), 64 * 3 + 10); }, 1,
         "WARNING: page 1 was cut short"},
        {"stream cut mid-header",
         [] {
             auto bytes = rawPage(grayHeader(64, 8), 0);
             bytes.resize(100);
             return bytes;
         },
         0, ""},
        {"only the sync word", [] { return zvtest::compressedSync(); }, 0, ""},
    };

    zvtest::TempDir dir;
    const std::string ppd = zvtest::writePpd(dir.file("esc.ppd"), zvtest::modelPpdLines("ESC"));
    for (const HostileCase &c : cases) {
        zvtest::FilterRun run;
        run.ppdPath = ppd;
        run.input = c.stream();
        zvtest::FilterResult r = zvtest::runFilter(run);
        // No page printed is a failed job, and says so.
        EXPECT_EQ(r.status, c.pages > 0 ? 0 : 1) << c.name;
        EXPECT_EQ(r.err.find("ERROR: No pages were found.\n") != std::string::npos, c.pages == 0) << c.name << "\n"
                                                                                                  << r.err;
        size_t pages = 0;
        for (size_t at = r.err.find("PAGE: "); at != std::string::npos; at = r.err.find("PAGE: ", at + 1)) ++pages;
        EXPECT_EQ(pages, static_cast<size_t>(c.pages)) << c.name << "\n" << r.err;
        if (*c.message) {
            EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << "\n" << r.err;
        }
        // Whatever happened to the pages, the receipt job is framed by its
        // initialise commands and nothing else reaches the printer.
        ASSERT_GE(r.out.size(), 4u) << c.name;
        EXPECT_EQ(r.out[0], 0x1B) << c.name;
        EXPECT_EQ(r.out[1], 0x40) << c.name;
        EXPECT_EQ(r.out[r.out.size() - 2], 0x1B) << c.name;
        EXPECT_EQ(r.out[r.out.size() - 1], 0x40) << c.name;
    }
}

// RGB and RGBA rows whose byte count is not a whole number of pixels (libcups
// accepts them when the header claims 8 bits per pixel). The page buffer must
// hold every byte of every row: the last partial pixel counts as a pixel, so
// 8 pixels and a remainder make a page 16 pixels wide. Under the sanitizer
// build an overflowing row read aborts the child.
TEST(HostileRaster, RowsEndingInsideAPixelFitThePageOnEveryPrinter) {
    const std::vector<std::string> printers[] = {
        zvtest::modelPpdLines("TSPL"),      zvtest::modelPpdLines("ZPL"),
        zvtest::modelPpdLines("CPCL"),      zvtest::modelPpdLines("ESC"),
        zvtest::modelPpdLines("ZV_SF_ZPL"), zvtest::modelPpdLines("Two_Color_TSPL"),
        zvtest::modelPpdLines("L40"),       {"*DefaultResolution: 203dpi", "*DefaultPrinterModel: 150"},
    };
    struct Shape {
        unsigned colorSpace, bytesPerPixel;
    } shapes[] = {{CUPS_CSPACE_RGB, 3}, {CUPS_CSPACE_RGBA, 4}};

    zvtest::TempDir dir;
    for (const auto &lines : printers) {
        const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), lines);
        for (const Shape &shape : shapes) {
            for (unsigned remainder = 1; remainder < shape.bytesPerPixel; ++remainder) {
                const std::string name = lines.back() + " colour space " + std::to_string(shape.colorSpace) +
                                         " remainder " + std::to_string(remainder);
                auto h = grayHeader(8, 3);
                h.cupsColorSpace = static_cast<cups_cspace_t>(shape.colorSpace);
                h.cupsBytesPerLine = 8 * shape.bytesPerPixel + remainder;
                zvtest::FilterRun run;
                run.ppdPath = ppd;
                run.input = rawPage(h, h.cupsBytesPerLine * 3, 0x00);
                zvtest::FilterResult r = zvtest::runFilter(run);
                EXPECT_EQ(r.err.find("AddressSanitizer"), std::string::npos) << name << "\n" << r.err;
                EXPECT_GE(r.status, 0) << name << ": the filter did not exit normally";
                EXPECT_NE(r.logText.find("3、Width = 16,height = 3"), std::string::npos) << name << "\n" << r.logText;
                if (lines.back().find("150") == std::string::npos && lines.back().find("L40") == std::string::npos) {
                    EXPECT_FALSE(r.out.empty()) << name;
                }
            }
        }
    }
}

// The two-colour printer reads the pixels of such rows: each row lands at its
// own place, the eight whole pixels print and the partial one stays white.
TEST(HostileRaster, TwoColourRowsEndingInsideAPixelKeepTheirPlace) {
    zvtest::TempDir dir;
    const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("Two_Color_TSPL"));
    for (unsigned bytesPerPixel : {3u, 4u}) {
        auto h = grayHeader(8, 3);
        h.cupsColorSpace = bytesPerPixel == 3 ? CUPS_CSPACE_RGB : CUPS_CSPACE_RGBA;
        h.cupsBytesPerLine = 8 * bytesPerPixel + 2;
        // Rows black (opaque), white, black; the partial pixel's bytes are 0 too.
        std::vector<uint8_t> pixels(h.cupsBytesPerLine * 3, 0x00);
        std::fill(pixels.begin() + h.cupsBytesPerLine, pixels.begin() + 2 * h.cupsBytesPerLine, 0xFF);
        if (bytesPerPixel == 4)
            for (unsigned row : {0u, 2u})
                for (unsigned x = 0; x < 8; ++x) pixels[row * h.cupsBytesPerLine + x * 4 + 3] = 0xFF;
        zvtest::FilterRun run;
        run.ppdPath = ppd;
        run.options = "ColorPrintModel=1";
        run.input = rawPage(h, 0);
        run.input.insert(run.input.end(), pixels.begin(), pixels.end());
        zvtest::FilterResult r = zvtest::runFilter(run);
        const std::string out(r.out.begin(), r.out.end());
        const std::string command = "SETCOLOR BLACK\r\nBITMAP 0,0,2,3,0,";
        const size_t at = out.find(command);
        ASSERT_NE(at, std::string::npos) << bytesPerPixel << "\n" << out;
        // TSPL prints 0 bits: eight black dots, then white.
        EXPECT_TRUE(zvtest::BytesEqual(
            zvtest::hexBytes("00 FF FF FF 00 FF"),
            std::vector<uint8_t>(r.out.begin() + at + command.size(), r.out.begin() + at + command.size() + 6)))
            << bytesPerPixel;
    }
}

// The two-colour printer compares the colour space on a path of its own.
TEST(HostileRaster, TwoColourPrinterTakesAnyColourSpaceNumber) {
    zvtest::TempDir dir;
    zvtest::FilterRun run;
    run.ppdPath = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("Two_Color_TSPL"));
    auto h = grayHeader(16, 2);
    const uint32_t space = 16777218;
    std::memcpy(&h.cupsColorSpace, &space, sizeof space);
    run.input = rawPage(h, 32, 0x40);
    const uint32_t sync = CUPS_RASTER_SYNC;
    std::memcpy(run.input.data(), &sync, sizeof sync);
    zvtest::FilterResult r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("WARNING: The raster has colour space 16777218"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("PAGE: 1 1"), std::string::npos) << r.err;
}

TEST(HostileRaster, UnknownPrinterTypeIsAnError) {
    zvtest::TempDir dir;
    zvtest::FilterRun run;
    run.ppdPath = zvtest::writePpd(dir.file("p.ppd"), {"*DefaultPrinterModel: 150"});
    run.input = zvtest::makeRaster({RasterPage::gray(8, 1)});
    zvtest::FilterResult r = zvtest::runFilter(run);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("ERROR: The PPD selects printer type 150"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ERROR: No pages were found.\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("PAGE:"), std::string::npos) << "a page that was not sent is not counted";
}

TEST(HostileRaster, ProtocolModelWithoutDriverSaysNothingIsSent) {
    zvtest::TempDir dir;
    zvtest::FilterRun run;
    run.ppdPath = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("L40"));
    run.input = zvtest::makeRaster({RasterPage::gray(16, 4), RasterPage::gray(16, 4)});
    zvtest::FilterResult r = zvtest::runFilter(run);
    if (r.out.empty()) {  // until the protocol driver exists, the job must not look printed
        EXPECT_EQ(r.status, 1);
        const std::string needle = "ERROR: Printing to packet-protocol printer model 1";
        EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(needle), r.err.rfind(needle)) << "once per job";
        EXPECT_NE(r.err.find("ERROR: No pages were found.\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("PAGE:"), std::string::npos) << r.err;
    } else {
        EXPECT_EQ(r.status, 0);
    }
}

}  // namespace
