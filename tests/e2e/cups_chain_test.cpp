// End-to-end checks of the driver files and of printing through CUPS's own
// programs: the generated PPDs as CUPS and the filter read them, and a real
// PDF carried by cupsfilter through cups-filters (pdftopdf, gstoraster) into
// the built filter with the generated PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "protocol_print/model_scaling.h"
#include "protocol_print/printer_dots.h"
#include "protocol_print/single_color.h"
#include "tests/support/cupsfilter_run.h"
#include "tests/support/filter_runner.h"
#include "tests/support/golden.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/render/render.h"

namespace {

using zvtest::readFileBytes;
using zvtest::readFileText;
using zvtest::TempDir;

enum class Family { Label, TwoColour, Cpcl, EscPos, Protocol, ProtocolTattooSpeed, ProtocolTattooSilent };

struct PpdCase {
    const char *name;  // file name without .ppd
    int deviceType;
    int dpi;
    int colorSpace;  // the raster the PPD asks for: 0 gray, 1 RGB
    Family family;
};

constexpr PpdCase kPpds[] = {
    {"zorvan-tspl-203", 161, 203, 0, Family::Label},
    {"zorvan-tspl-300", 161, 300, 0, Family::Label},
    {"zorvan-tspl2c-203", 193, 203, 1, Family::TwoColour},
    {"zorvan-zpl-203", 162, 203, 0, Family::Label},
    {"zorvan-zpl-300", 162, 300, 0, Family::Label},
    {"zorvan-sfzpl-203", 191, 203, 0, Family::Label},
    {"zorvan-cpcl-203", 163, 203, 0, Family::Cpcl},
    {"zorvan-escpos-58", 164, 203, 0, Family::EscPos},
    {"zorvan-escpos-80", 164, 203, 0, Family::EscPos},
    {"zorvan-lp40", 0, 300, 0, Family::Protocol},
    {"zorvan-l40", 1, 203, 0, Family::Protocol},
    {"zorvan-l50", 2, 300, 0, Family::Protocol},
    {"zorvan-l40a", 3, 300, 0, Family::Protocol},
    {"zorvan-l40s", 4, 203, 0, Family::ProtocolTattooSilent},
    {"zorvan-l50a", 5, 203, 0, Family::Protocol},
    {"zorvan-l40s-normal", 6, 203, 0, Family::Protocol},
    {"zorvan-l10", 7, 203, 0, Family::Protocol},
    {"zorvan-l20", 8, 203, 0, Family::Protocol},
    {"zorvan-l40-bu", 9, 203, 0, Family::Protocol},
    {"zorvan-l10-tattoo-xl", 10, 203, 0, Family::ProtocolTattooSpeed},
    {"zorvan-m10", 11, 203, 0, Family::ProtocolTattooSilent},
    {"zorvan-l40s-tattoo-left", 12, 203, 0, Family::ProtocolTattooSilent},
};

// The job options the filter reads that each kind of printer offers.
std::set<std::string> familyOptionsOf(Family family) {
    switch (family) {
        case Family::Label:
            return {"PrintMode", "Darkness", "PrintSpeed", "MediaTracking", "Horizontal", "Vertical", "Compression"};
        case Family::TwoColour:
            return {"PrintMode", "Darkness",       "PrintSpeed",      "MediaTracking", "Horizontal",
                    "Vertical",  "ColourDarkness", "ColorPrintModel", "Compression"};
        case Family::Cpcl:
            return {"PrintMode", "Darkness", "PrintSpeed", "Horizontal", "Vertical", "Compression"};
        case Family::EscPos:
            return {"PrintMode", "Cutting", "FeedDist", "CashDrawer", "Beeper", "BlankSpace"};
        case Family::Protocol:
            return {"PrintMode", "Darkness", "PrintSpeed", "MediaTracking", "PhotoEffect", "Processing"};
        case Family::ProtocolTattooSpeed:
            return {"PrintMode",       "Darkness",    "PrintSpeed", "MediaTracking",
                    "PositioningMode", "PhotoEffect", "Processing"};
        case Family::ProtocolTattooSilent:
            return {"PrintMode",       "Darkness",    "SilentPrint", "MediaTracking",
                    "PositioningMode", "PhotoEffect", "Processing"};
    }
    return {};
}

// Every printer also offers the rendering resolution (a multiple of its own),
// which ghostscript reads rather than the filter.
std::set<std::string> optionsOf(Family family) {
    std::set<std::string> options = familyOptionsOf(family);
    options.insert("Rendering");
    return options;
}

void PrintTo(const PpdCase &c, std::ostream *os) { *os << c.name; }

std::string ppdPath(const std::string &name) { return std::string(ZV_BINARY_DIR) + "/ppd/" + name + ".ppd"; }
std::string samplePdf() { return std::string(ZV_SOURCE_DIR) + "/samples/label.pdf"; }

// True when the whole text is a decimal integer, as the filter needs it.
bool isNumber(const char *text) {
    if (text == nullptr || *text == '\0') return false;
    char *end = nullptr;
    std::strtol(text, &end, 10);
    return *end == '\0';
}

using ChainResult = zvtest::CupsfilterResult;

std::string quoted(const std::string &text) { return zvtest::shellQuoted(text); }
std::string findTool(const char *name) { return zvtest::findExecutable(name); }

// Prints `pdf` with cupsfilter through CUPS's filter chain for `ppd`, or stops
// at the raster with outputType "application/vnd.cups-raster".
ChainResult printWithCupsfilter(const std::string &ppd, const std::string &pdf,
                                const std::vector<std::string> &options = {},
                                const std::string &outputType = "printer/zorvan") {
    return zvtest::runCupsfilter(ppd, pdf, options, outputType);
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The private ServerBin must never write through to the system's filter
// folder: with a filter already installed there, printing through the chain
// leaves it as it was. A stand-in cups-config points the chain at a scratch
// "system" folder holding such an installed filter.
TEST(CupsChainScratch, InstalledFilterIsNeverWrittenThrough) {
    if (findTool("cupsfilter").empty()) GTEST_SKIP() << "cupsfilter is not installed";
    TempDir system;
    std::filesystem::create_directories(system.file("bin"));
    std::filesystem::create_directories(system.file("serverbin/filter"));
    const std::string installed = system.file("serverbin/filter/rastertozorvan");
    zvtest::writeFileText(installed, "installed filter\n");
    const std::string fake = system.file("bin/cups-config");
    zvtest::writeFileText(fake, "#!/bin/sh\n[ \"$1\" = --serverbin ] && echo " + system.file("serverbin") +
                                    " && exit 0\nexec " + zvtest::shellOutput("command -v cups-config") + " \"$@\"\n");
    ::chmod(fake.c_str(), 0755);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (system.file("bin") + ":" + path).c_str(), 1);
    printWithCupsfilter(ppdPath("zorvan-tspl-203"), samplePdf());
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(zvtest::readFileText(installed), "installed filter\n");
}

// ---------------------------------------------------------------------------
// The generated PPDs.

class GeneratedPpd : public ::testing::TestWithParam<PpdCase> {};

// The PPD opens, asks for the filter with a four-field cupsFilter2 line, and
// offers the filter's options as choices whose keywords and defaults are
// plain numbers; no option is offered that the filter would not read.
TEST_P(GeneratedPpd, OffersTheFilterOptionsAsNumericChoices) {
    const PpdCase &c = GetParam();
    ppd_file_t *ppd = ppdOpenFile(ppdPath(c.name).c_str());
    ASSERT_NE(ppd, nullptr) << ppdPath(c.name) << ": " << ppdErrorString(ppdLastError(nullptr));

    ppd_attr_t *filter = ppdFindAttr(ppd, "cupsFilter2", nullptr);
    ASSERT_NE(filter, nullptr);
    char src[256], dst[256], program[256];
    int cost = -1;
    EXPECT_EQ(std::sscanf(filter->value, "%255s %255s %d %255s", src, dst, &cost, program), 4) << filter->value;
    EXPECT_STREQ(src, "application/vnd.cups-raster");
    EXPECT_STREQ(program, "rastertozorvan");

    const std::set<std::string> expected = optionsOf(c.family);
    const std::set<std::string> frame = {"PageSize", "PageRegion", "ColorModel", "Resolution"};
    std::set<std::string> offered;
    for (ppd_option_t *option = ppdFirstOption(ppd); option != nullptr; option = ppdNextOption(ppd)) {
        const std::string keyword = option->keyword;
        if (frame.count(keyword) != 0) continue;
        offered.insert(keyword);
        EXPECT_TRUE(isNumber(option->defchoice)) << keyword << " default " << option->defchoice;
        EXPECT_GE(option->num_choices, 2) << keyword;
        for (int i = 0; i < option->num_choices; ++i) {
            const ppd_choice_t &choice = option->choices[i];
            EXPECT_TRUE(isNumber(choice.choice)) << keyword << " choice " << choice.choice;
            EXPECT_STRNE(choice.text, "") << keyword << " choice " << choice.choice << " has no name";
        }
    }
    EXPECT_EQ(offered, expected) << c.name;
    ppdClose(ppd);
}

// What the filter itself makes of the PPD: the model and the resolution.
TEST_P(GeneratedPpd, FilterReadsModelAndResolution) {
    const PpdCase &c = GetParam();
    zvtest::FilterRun run;
    run.ppdPath = ppdPath(c.name);
    const zvtest::FilterResult result = zvtest::runFilter(run);
    // A job without pages fails, and that is the only error.
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR: No pages were found.\n");
    EXPECT_TRUE(contains(result.logText, "Default Printer Model:" + std::to_string(c.deviceType) + "\r\n"))
        << result.logText;
    EXPECT_TRUE(contains(result.logText, "Default DefaultResolution:" + std::to_string(c.dpi) + "\r\n"));
    // A job without pages: only the ESC/POS printers get their initialise
    // commands around the (absent) pages.
    const std::vector<uint8_t> expected =
        c.family == Family::EscPos ? std::vector<uint8_t>{0x1B, 0x40, 0x1B, 0x40} : std::vector<uint8_t>{};
    EXPECT_EQ(result.out, expected);
}

std::string caseName(const ::testing::TestParamInfo<PpdCase> &info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(All, GeneratedPpd, ::testing::ValuesIn(kPpds), caseName);

// ---------------------------------------------------------------------------
// Through CUPS's chain with cupsfilter.

class CupsChain : public ::testing::TestWithParam<PpdCase> {
  protected:
    void SetUp() override {
        for (const char *tool : {"cupsfilter", "cups-config", "gs"})
            if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    }
};

// The chain hands the filter the raster its PPD asks for: 8-bit gray (RGB
// for the two-colour printer) at the PPD's resolution, one page, and the
// filter knows its printer and has nothing to warn about.
TEST_P(CupsChain, DeliversTheRasterThePpdAsksFor) {
    const PpdCase &c = GetParam();
    const ChainResult result = printWithCupsfilter(ppdPath(c.name), samplePdf());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "PAGE: 1 1")) << result.err;
    EXPECT_FALSE(contains(result.err, "PAGE: 2 ")) << result.err;
    EXPECT_TRUE(contains(result.log, "Default Printer Model:" + std::to_string(c.deviceType) + "\r\n")) << result.log;
    EXPECT_TRUE(contains(result.log, "Default DefaultResolution:" + std::to_string(c.dpi) + "\r\n"));
    EXPECT_TRUE(contains(result.log, "colorSpace = " + std::to_string(c.colorSpace) + ",")) << result.log;
    EXPECT_FALSE(contains(result.err, "WARNING:")) << result.err;
    EXPECT_FALSE(result.out.empty()) << "nothing printed for " << c.name;
}

INSTANTIATE_TEST_SUITE_P(All, CupsChain, ::testing::ValuesIn(kPpds), caseName);

// ---------------------------------------------------------------------------
// The sample label printed through the chain into each printer language with
// the PPD's defaults (compressed graphics for ZPL, SF ZPL and CPCL, plain
// bitmaps for TSPL): the job opens with the language's setup for the 4 x 6 in
// label (812 dots wide at 203 dpi, padded to 816; 1218 rows) and closes with
// its print command.

struct PrintCase {
    const char *label;
    const char *ppd;
    std::vector<uint8_t> begin;     // the first bytes of the job
    std::vector<uint8_t> contains;  // bytes somewhere inside
    std::vector<uint8_t> end;       // the last bytes
    // The page read back from the job is compared with ghostscript's own
    // rendering of the PDF at `dpi`, whose gray values up to `darkAtOrBelow`
    // are dots; -1: the page is laid out differently (receipt roll), only
    // checked to carry the label's marks.
    int dpi = 203;
    int darkAtOrBelow = 128;
};

void PrintTo(const PrintCase &c, std::ostream *os) { *os << c.label; }

std::vector<PrintCase> printCases() {
    using zvtest::bytesOf;
    using zvtest::hexBytes;
    using zvtest::join;
    std::vector<PrintCase> cases;
    cases.push_back({"tspl_203", "zorvan-tspl-203", bytesOf("SIZE 103mm,"),
                     bytesOf("GAP 3 mm,0 mm\r\nSPEED 4\r\nDENSITY 8\r\nDIRECTION 0,0\r\nREFERENCE 0,0\r\n"
                             "OFFSET 0.000\r\nSHIFT 0\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\n"
                             "SET PARTIAL_CUTTER OFF\r\nSET TEAR ON\r\nCLS\r\nBITMAP 0,0,102,1218,0,"),
                     bytesOf("\r\nPRINT 1,1\r\n")});
    cases.push_back({"tspl_300", "zorvan-tspl-300", bytesOf("SIZE 102mm,"), bytesOf("CLS\r\nBITMAP 0,0,150,1800,0,"),
                     bytesOf("\r\nPRINT 1,1\r\n"), 300});
    cases.push_back({"zpl_203",
                     "zorvan-zpl-203",
                     bytesOf("^XA^LH0,0^MNW^LS0^POI^PW816^LL1218\r\n^PR4\r\n~SD15\r\n^FO0,0,0\r\n"
                             "^GFA,124236,124236,102,:Z64:"),
                     {},
                     bytesOf("\r\n^PQ1^XZ\r\n")});
    cases.push_back({"zpl_300", "zorvan-zpl-300", bytesOf("^XA^LH0,0^MNW^LS0^POI^PW1200^LL1800\r\n"),
                     bytesOf("^GFA,270000,270000,150,:Z64:"), bytesOf("\r\n^PQ1^XZ\r\n"), 300});
    cases.push_back({"sfzpl_203", "zorvan-sfzpl-203", bytesOf("^^XX\r\n^XA^LH0,0^MNW^LS0^POI^PW816^LL1218\r\n"),
                     bytesOf("^GFA,124236,124236,102,:Z64:"), bytesOf("\r\n^PQ1^XZ\r\n")});
    cases.push_back({"cpcl_203",
                     "zorvan-cpcl-203",
                     bytesOf("! 0 200 200 1218 1\r\nPW 816\r\nNO-PACE\r\nGAP-SENSE\r\nTONE 0\r\nSPEED 3.0\r\n"
                             "CG 102 1218 0 0 \r\n"),
                     {},
                     bytesOf("\r\n\r\nFORM\r\nPRINT\r\n")});
    // 58 mm roll: 48 bytes (384 dots) a row; cut after the page by default.
    cases.push_back({"escpos_58",
                     "zorvan-escpos-58",
                     hexBytes("1B 40 00 1D 76 30 00 30 00"),
                     {},
                     join({bytesOf("\r\n\r\n"), hexBytes("1D 56 42 00 1B 40")}),
                     203,
                     -1});
    cases.push_back({"escpos_80",
                     "zorvan-escpos-80",
                     hexBytes("1B 40 00 1D 76 30 00 48 00"),
                     {},
                     join({bytesOf("\r\n\r\n"), hexBytes("1D 56 42 00 1B 40")}),
                     203,
                     -1});
    // A neutral pixel is black below 180.
    cases.push_back({"tspl2c_203", "zorvan-tspl2c-203", bytesOf("SIZE "),
                     bytesOf("CLS\r\nSETCOLOR BLACK\r\nBITMAP 0,0,102,1218,0,"), bytesOf("\r\nPRINT 1,1\r\n"), 203,
                     179});
    return cases;
}

bool containsBytes(const std::vector<uint8_t> &data, const std::vector<uint8_t> &part) {
    return std::search(data.begin(), data.end(), part.begin(), part.end()) != data.end();
}

struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Ghostscript's rendering of the PDF's first page, without anti-aliasing as
// gstoraster renders it, as 8-bit gray.
GrayImage referenceRendering(const std::string &pdf, int dpi) {
    TempDir work;
    const std::string pgm = work.file("page.pgm");
    const std::string command = "gs -q -dSAFER -dNOPAUSE -dBATCH -dFirstPage=1 -dLastPage=1 -sDEVICE=pgmraw -r" +
                                std::to_string(dpi) + " -sOutputFile=" + quoted(pgm) + " " + quoted(pdf);
    GrayImage image;
    if (std::system(command.c_str()) != 0) return image;
    const std::vector<uint8_t> bytes = readFileBytes(pgm);
    // P5 header: magic, width, height, maximum value; '#' starts a comment.
    size_t at = 0;
    auto token = [&]() {
        std::string text;
        while (at < bytes.size()) {
            const char c = static_cast<char>(bytes[at]);
            if (c == '#') {
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++at;
                if (!text.empty()) return text;
            } else {
                text += c;
                ++at;
            }
        }
        return text;
    };
    if (token() != "P5") return {};
    image.width = std::atoi(token().c_str());
    image.height = std::atoi(token().c_str());
    const int maxValue = std::atoi(token().c_str());
    const size_t start = at;
    const size_t count = static_cast<size_t>(image.width) * image.height;
    if (maxValue != 255 || image.width <= 0 || bytes.size() < start + count) return {};
    image.pixels.assign(bytes.begin() + start, bytes.begin() + start + count);
    return image;
}

struct Comparison {
    long referenceDots = 0;
    long pageDots = 0;
    long unmatched = 0;  // dots of either side with no dot of the other within one dot
};

// Compares the dots read back from the job with the reference rendering. A
// dot counts as matched when the other side has a dot at most one dot away:
// edges of shapes may fall one dot differently after pdftopdf.
Comparison compareDots(const zvrender::RenderedPage &page, const GrayImage &reference, int darkAtOrBelow) {
    const int width = std::max(page.width, reference.width);
    const int height = std::max(page.height, reference.height);
    auto pageDot = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < page.width && y < page.height && page.dot(x, y) != 0;
    };
    auto referenceDot = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < reference.width && y < reference.height &&
               reference.pixels[static_cast<size_t>(y) * reference.width + x] <= darkAtOrBelow;
    };
    auto near = [](auto dot, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (dot(x + dx, y + dy)) return true;
        return false;
    };
    Comparison result;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool p = pageDot(x, y);
            const bool r = referenceDot(x, y);
            result.pageDots += p;
            result.referenceDots += r;
            if ((p && !r && !near(referenceDot, x, y)) || (r && !p && !near(pageDot, x, y))) ++result.unmatched;
        }
    return result;
}

class CupsChainPrint : public ::testing::TestWithParam<PrintCase> {
  protected:
    void SetUp() override {
        for (const char *tool : {"cupsfilter", "cups-config", "gs"})
            if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    }
};

TEST_P(CupsChainPrint, SampleLabelBeginsAndEndsWithTheLanguageCommands) {
    const PrintCase &c = GetParam();
    const ChainResult result = printWithCupsfilter(ppdPath(c.ppd), samplePdf());
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_GE(result.out.size(), c.begin.size() + c.end.size()) << result.err << result.log;
    EXPECT_TRUE(
        zvtest::BytesEqual(c.begin, std::vector<uint8_t>(result.out.begin(), result.out.begin() + c.begin.size())));
    EXPECT_TRUE(zvtest::BytesEqual(c.end, std::vector<uint8_t>(result.out.end() - c.end.size(), result.out.end())));
    if (!c.contains.empty()) {
        EXPECT_TRUE(containsBytes(result.out, c.contains)) << zvtest::toHex(c.contains);
    }
    // Printer data only: no message of the chain in the stream.
    EXPECT_FALSE(containsBytes(result.out, zvtest::bytesOf("ERROR:")));
    EXPECT_FALSE(containsBytes(result.out, zvtest::bytesOf("DEBUG:")));

    // What the printer will print is the label.
    const zvrender::RenderResult rendered = zvrender::renderStream(result.out);
    ASSERT_TRUE(rendered.ok) << rendered.message();
    ASSERT_EQ(rendered.pages.size(), 1u);
    const zvrender::RenderedPage &page = rendered.pages[0];
    if (page.hasRed()) {
        EXPECT_EQ(std::count(page.red.begin(), page.red.end(), 1), 0) << "the sample label has no red";
    }
    if (c.darkAtOrBelow < 0) {
        // The receipt roll: the 4 x 6 in label shrunk onto the roll's width.
        EXPECT_GT(std::count(page.black.begin(), page.black.end(), 1), page.width * 20);
        return;
    }
    const GrayImage reference = referenceRendering(samplePdf(), c.dpi);
    ASSERT_GT(reference.width, 0) << "ghostscript could not render " << samplePdf();
    EXPECT_EQ(page.width, (reference.width + 7) / 8 * 8);
    EXPECT_EQ(page.height, reference.height);
    const Comparison comparison = compareDots(page, reference, c.darkAtOrBelow);
    EXPECT_GT(comparison.referenceDots, 50000);
    EXPECT_LT(comparison.unmatched, comparison.referenceDots / 200)
        << comparison.unmatched << " of " << comparison.referenceDots << " dots differ; the job has "
        << comparison.pageDots;
}

INSTANTIATE_TEST_SUITE_P(Languages, CupsChainPrint, ::testing::ValuesIn(printCases()),
                         [](const ::testing::TestParamInfo<PrintCase> &info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// The protocol printers: the sample label (4 x 6 in) through the chain in a
// print mode, read back from the packets, against the model's own page made
// from ghostscript's rendering of the PDF by the route of that print mode.

struct ProtocolCase {
    const char *ppd;
    int model;
    int dpi;
    int printMode;
};

void PrintTo(const ProtocolCase &c, std::ostream *os) { *os << c.ppd << " mode " << c.printMode; }

std::vector<ProtocolCase> protocolCases() {
    std::vector<ProtocolCase> cases;
    for (const PpdCase &p : kPpds) {
        if (p.deviceType > 12) continue;
        const bool tattoo = p.deviceType == 4 || p.deviceType == 10 || p.deviceType == 11 || p.deviceType == 12;
        for (int mode : {0, 9, 11})
            if (mode != 11 || tattoo) cases.push_back({p.name, p.deviceType, p.dpi, mode});
    }
    return cases;
}

// The page as the filter receives it (rows padded to whole bytes with white),
// scaled onto the model and converted to dots as the print mode does.
std::vector<uint8_t> modelDots(const GrayImage &rendering, int model, int printMode, int *width, int *height) {
    const uint32_t w = static_cast<uint32_t>((rendering.width + 7) / 8 * 8);
    const uint32_t h = static_cast<uint32_t>(rendering.height);
    std::vector<uint8_t> page(static_cast<size_t>(w) * h, 255);
    for (uint32_t y = 0; y < h; ++y)
        std::copy_n(rendering.pixels.begin() + static_cast<long>(y) * rendering.width, rendering.width,
                    page.begin() + static_cast<long>(y) * w);
    uint32_t zoomW = 0, zoomH = 0;
    uint8_t *zoomed = driveBitmapZoomToModel(model, page.data(), w, h, &zoomW, &zoomH);
    if (zoomed == nullptr) return {};
    const uint32_t paddedW = (zoomW + 7) / 8 * 8;
    std::vector<uint8_t> padded(static_cast<size_t>(paddedW) * zoomH, 255);
    for (uint32_t y = 0; y < zoomH; ++y)
        std::copy_n(zoomed + static_cast<size_t>(y) * zoomW, zoomW, &padded[static_cast<size_t>(y) * paddedW]);
    std::free(zoomed);

    ZVImage *image = creatZVImageWithGrayData(padded.data(), paddedW, zoomH);
    PrintSetting setting;
    creatDefaultPrintSettingWithPrintSize(&setting, paddedW, zoomH);
    setting.grayType = printMode == 9 ? 6 : printMode == 11 ? 10 : 0;
    setThreshold(222);
    setSingleColorRandState(1);  // as in a new filter process
    std::vector<uint8_t> dots;
    if (image != nullptr && driveGetPixByteDataFromGrayImage(image, setting) == 1) {
        *width = static_cast<int>(image->width);
        *height = static_cast<int>(image->height);
        for (size_t i = 0; i < static_cast<size_t>(image->width) * image->height; ++i)
            dots.push_back((image->pixByteData[i / 8] >> (7 - i % 8)) & 1);
    }
    freeZVImageData(image);
    std::free(image);
    return dots;
}

// The model page as 0 black / 255 white, for the dot comparison.
GrayImage asGray(const std::vector<uint8_t> &dots, int width, int height) {
    GrayImage image;
    image.width = width;
    image.height = height;
    for (uint8_t d : dots) image.pixels.push_back(d ? 0 : 255);
    return image;
}

zvrender::RenderOptions keysOf(const std::string &key, const std::string &iv) {
    zvrender::RenderOptions keys;
    keys.haveAesKey = true;
    for (int i = 0; i < 16; ++i) {
        keys.aesKey[i] = static_cast<uint8_t>(std::stoi(key.substr(2 * i, 2), nullptr, 16));
        keys.aesIv[i] = static_cast<uint8_t>(std::stoi(iv.substr(2 * i, 2), nullptr, 16));
    }
    return keys;
}

class CupsChainProtocol : public ::testing::TestWithParam<ProtocolCase> {
  protected:
    void SetUp() override {
        for (const char *tool : {"cupsfilter", "cups-config", "gs"})
            if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    }
};

TEST_P(CupsChainProtocol, SampleLabelPrintsAsTheModelPage) {
    const ProtocolCase &c = GetParam();
    const ChainResult result = printWithCupsfilter(
        ppdPath(c.ppd), samplePdf(), {"PageSize=Custom.288x432", "PrintMode=" + std::to_string(c.printMode)});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "PAGE: 1 1")) << result.err;
    EXPECT_FALSE(contains(result.err, "ERROR")) << result.err;
    const zvrender::RenderResult rendered = zvrender::renderStream(result.out);
    ASSERT_TRUE(rendered.ok) << rendered.message();
    EXPECT_EQ(rendered.format, zvrender::Format::Protocol);
    ASSERT_EQ(rendered.pages.size(), 1u);
    const zvrender::RenderedPage &page = rendered.pages[0];

    const GrayImage reference = referenceRendering(samplePdf(), c.dpi);
    ASSERT_GT(reference.width, 0) << "ghostscript could not render " << samplePdf();
    int width = 0, height = 0;
    const std::vector<uint8_t> dots = modelDots(reference, c.model, c.printMode, &width, &height);
    ASSERT_FALSE(dots.empty());
    EXPECT_EQ(page.width, width);
    EXPECT_EQ(page.height, height);
    const Comparison comparison = compareDots(page, asGray(dots, width, height), 128);
    EXPECT_GT(comparison.referenceDots, 30000);
    EXPECT_LT(comparison.unmatched, comparison.referenceDots / 200)
        << comparison.unmatched << " of " << comparison.referenceDots << " dots differ; the job has "
        << comparison.pageDots;
}

INSTANTIATE_TEST_SUITE_P(Protocol, CupsChainProtocol, ::testing::ValuesIn(protocolCases()),
                         [](const ::testing::TestParamInfo<ProtocolCase> &info) {
                             std::string name =
                                 std::string(info.param.ppd) + "_mode" + std::to_string(info.param.printMode);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// A PPD of the encrypting printer family (ODM type 163) made from a protocol
// model's: with its key and initial vector the job is encrypted and reads
// back with them; without them the job ends with an "ERROR:" line and nothing
// is sent.
TEST(CupsChainProtocolEncrypted, EncryptedJobReadsBackWithThePpdKey) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    std::string ppd = readFileText(ppdPath("zorvan-l40s-normal"));
    const std::string from = "*ExtensionAttr PrinterSize: \"28.6\"";
    ASSERT_NE(ppd.find(from), std::string::npos);
    ppd.replace(ppd.find(from), from.size(), "*ExtensionAttr PrinterSize: \"163.6\"");
    const std::string key = "2b7e151628aed2a6abf7158809cf4f3c", iv = "000102030405060708090a0b0c0d0e0f";
    zvtest::writeFileText(dir.file("no-key.ppd"), ppd);
    zvtest::writeFileText(dir.file("odm163.ppd"),
                          ppd + "*ZVAttr AESKey: \"" + key + "\"\n*ZVAttr AESIV: \"" + iv + "\"\n");

    const ChainResult job =
        printWithCupsfilter(dir.file("odm163.ppd"), samplePdf(), {"PageSize=Custom.288x432", "PrintMode=0"});
    ASSERT_EQ(job.status, 0) << job.err;
    ASSERT_GE(job.out.size(), 2u);
    EXPECT_EQ(job.out[0], 0xA3);
    EXPECT_EQ(job.out[1], 0x20) << "short head, AES-128";
    EXPECT_FALSE(zvrender::renderStream(job.out).ok) << "the stream cannot be read without the key";
    const zvrender::RenderResult rendered = zvrender::renderStream(job.out, zvrender::Format::Auto, keysOf(key, iv));
    ASSERT_TRUE(rendered.ok) << rendered.message();
    ASSERT_EQ(rendered.pages.size(), 1u);
    const GrayImage reference = referenceRendering(samplePdf(), 203);
    int width = 0, height = 0;
    const std::vector<uint8_t> dots = modelDots(reference, 6, 0, &width, &height);
    EXPECT_EQ(rendered.pages[0].width, width);
    EXPECT_EQ(rendered.pages[0].height, height);
    const Comparison comparison = compareDots(rendered.pages[0], asGray(dots, width, height), 128);
    EXPECT_GT(comparison.referenceDots, 30000);
    EXPECT_LT(comparison.unmatched, comparison.referenceDots / 200);

    const ChainResult refused = printWithCupsfilter(dir.file("no-key.ppd"), samplePdf(), {"PageSize=Custom.288x432"});
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(refused.out.empty());
    EXPECT_TRUE(contains(refused.err, "ERROR: This printer encrypts its data")) << refused.err;
}

}  // namespace

// A red and a black square on a 2 x 1 in label through the chain into the
// two-colour printer: the red one comes out on the red plane only, the black
// one on the black plane only, the paper between them on neither.
TEST(CupsChainTwoColour, RedAndBlackMarksLandOnTheirPlanes) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    TempDir work;
    const std::string ps = work.file("squares.ps");
    zvtest::writeFileText(ps,
                          "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 144 72\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n"
                          "1 0 0 setrgbcolor 10 10 50 50 rectfill\n"
                          "0 setgray 80 10 50 50 rectfill\nshowpage\n%%EOF\n");
    const ChainResult result = printWithCupsfilter(ppdPath("zorvan-tspl2c-203"), ps, {"PageSize=2x1"});
    ASSERT_EQ(result.status, 0) << result.err;
    const zvrender::RenderResult rendered = zvrender::renderStream(result.out);
    ASSERT_TRUE(rendered.ok) << rendered.message();
    ASSERT_EQ(rendered.pages.size(), 1u);
    const zvrender::RenderedPage &page = rendered.pages[0];
    ASSERT_TRUE(page.hasRed());
    ASSERT_GE(page.width, 400);
    ASSERT_GE(page.height, 200);
    // Points to dots at 203 dpi, y from the top of the label.
    auto dots = [](double points) { return static_cast<int>(points * 203.0 / 72.0); };
    const int y = dots(72 - 35);
    EXPECT_EQ(page.redDot(dots(35), y), 1);
    EXPECT_EQ(page.dot(dots(35), y), 0);
    EXPECT_EQ(page.dot(dots(105), y), 1);
    EXPECT_EQ(page.redDot(dots(105), y), 0);
    EXPECT_EQ(page.dot(dots(70), y), 0);
    EXPECT_EQ(page.redDot(dots(70), y), 0);
    EXPECT_EQ(page.redDot(dots(35), dots(5)), 0);
}

// Options chosen for the job reach the printer through the chain.
TEST(CupsChainOptions, JobOptionsReachTheTsplCommands) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    const ChainResult result =
        printWithCupsfilter(ppdPath("zorvan-tspl-203"), samplePdf(),
                            {"Darkness=12", "PrintSpeed=6", "MediaTracking=2", "Horizontal=16", "Vertical=8"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(containsBytes(result.out, zvtest::bytesOf("\r\nBLINE 3 mm,0 mm\r\nSPEED 6\r\nDENSITY 12\r\n")));
    EXPECT_TRUE(containsBytes(result.out, zvtest::bytesOf("CLS\r\nBITMAP 16,8,102,1218,0,")));
}

// The Compression choice selects the language's compressed graphic (zlib
// bands "BITMAP ...,3,", Z64 fields, binary CG) or its plain one.
TEST(CupsChainOptions, CompressionChoiceSelectsTheGraphicForm) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    struct Case {
        const char *ppd;
        const char *choice;
        const char *present;
        const char *absent;
    } cases[] = {
        {"zorvan-tspl-203", "Compression=1", "CLS\r\nBITMAP 0,0,102,1218,3,", "BITMAP 0,0,102,1218,0,"},
        {"zorvan-tspl2c-203", "Compression=1", "SETCOLOR BLACK\r\nBITMAP 0,0,102,1218,3,", "BITMAP 0,0,102,1218,0,"},
        {"zorvan-zpl-203", "Compression=0", "^GFA,124236,124236,102,", ":Z64:"},
        {"zorvan-sfzpl-203", "Compression=0", "^GFA,124236,124236,102,", ":Z64:"},
        {"zorvan-cpcl-203", "Compression=0", "EG 102 1218 0 0 \r\n", "CG 102"},
    };
    for (const Case &c : cases) {
        const ChainResult result = printWithCupsfilter(ppdPath(c.ppd), samplePdf(), {c.choice});
        ASSERT_EQ(result.status, 0) << c.ppd << "\n" << result.err;
        EXPECT_TRUE(containsBytes(result.out, zvtest::bytesOf(c.present))) << c.ppd << " " << c.choice;
        EXPECT_FALSE(containsBytes(result.out, zvtest::bytesOf(c.absent))) << c.ppd << " " << c.choice;
        const zvrender::RenderResult rendered = zvrender::renderStream(result.out);
        ASSERT_TRUE(rendered.ok) << c.ppd << ": " << rendered.message();
        ASSERT_EQ(rendered.pages.size(), 1u) << c.ppd;
    }
}

TEST(CupsChainOptions, ReceiptCutAndBeepAtTheEndOfTheJob) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    const ChainResult result =
        printWithCupsfilter(ppdPath("zorvan-escpos-80"), samplePdf(), {"Cutting=2", "Beeper=3", "CashDrawer=1"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<uint8_t> begin = zvtest::hexBytes("1B 40 1B 70 00 19 FF 00 1D 76 30 00 48 00");
    const std::vector<uint8_t> end =
        zvtest::join({zvtest::bytesOf("\r\n\r\n"), zvtest::hexBytes("1D 56 42 00 1B 42 04 01 1B 40")});
    ASSERT_GE(result.out.size(), begin.size() + end.size());
    EXPECT_TRUE(zvtest::BytesEqual(begin, std::vector<uint8_t>(result.out.begin(), result.out.begin() + begin.size())));
    EXPECT_TRUE(zvtest::BytesEqual(end, std::vector<uint8_t>(result.out.end() - end.size(), result.out.end())));
}

// ---------------------------------------------------------------------------
// The protocol printers' PhotoEffect and Processing options, with the bundled
// sample photo through CUPS's own chain into a tattoo model.

std::string samplePhoto() { return std::string(ZV_SOURCE_DIR) + "/samples/photo.png"; }

// The dots of the job's one page, read back from its packets.
std::vector<uint8_t> protocolPage(const ChainResult &job) {
    const zvrender::RenderResult rendered = zvrender::renderStream(job.out);
    EXPECT_TRUE(rendered.ok) << rendered.message();
    EXPECT_EQ(rendered.pages.size(), 1u);
    if (!rendered.ok || rendered.pages.empty()) return {};
    size_t dots = 0;
    for (uint8_t d : rendered.pages[0].black) dots += d;
    EXPECT_GT(dots, 0u) << "a blank page";
    return rendered.pages[0].black;
}

TEST(CupsChainProtocolOptions, PhotoEffectChangesThePageAndNoneKeepsIt) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    // Print mode 0 thresholds without random jitter, so equal pages are equal dots.
    const std::string ppd = ppdPath("zorvan-l40s");
    const ChainResult plain = printWithCupsfilter(ppd, samplePhoto(), {"PrintMode=0"});
    const ChainResult none = printWithCupsfilter(ppd, samplePhoto(), {"PrintMode=0", "PhotoEffect=0"});
    const ChainResult sketch = printWithCupsfilter(ppd, samplePhoto(), {"PrintMode=0", "PhotoEffect=5"});
    const ChainResult negative = printWithCupsfilter(ppd, samplePhoto(), {"PrintMode=0", "PhotoEffect=9"});
    for (const ChainResult *job : {&plain, &none, &sketch, &negative}) ASSERT_EQ(job->status, 0) << job->err;
    EXPECT_EQ(none.out, plain.out);
    const std::vector<uint8_t> page = protocolPage(plain);
    const std::vector<uint8_t> sketched = protocolPage(sketch);
    const std::vector<uint8_t> negated = protocolPage(negative);
    EXPECT_NE(sketched, page);
    EXPECT_NE(negated, page);
    EXPECT_NE(negated, sketched);
    EXPECT_FALSE(contains(sketch.err, "WARNING: Not enough memory for the photo effect"));
}

// The first page of a CUPS raster stream as 8-bit gray.
bool readGrayRaster(const std::vector<uint8_t> &stream, zvtest::RasterPage *page) {
    TempDir work;
    const std::string path = work.file("page.ras");
    zvtest::writeFileBytes(path, stream);
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    bool ok = raster != nullptr && cupsRasterReadHeader2(raster, &header) && header.cupsBitsPerPixel == 8 &&
              header.cupsColorSpace == CUPS_CSPACE_W && header.cupsBytesPerLine == header.cupsWidth;
    if (ok) {
        *page = zvtest::RasterPage::gray(header.cupsWidth, header.cupsHeight);
        page->dpi = header.HWResolution[0];
        for (unsigned y = 0; y < header.cupsHeight && ok; ++y)
            ok = cupsRasterReadPixels(raster, page->row(y), header.cupsBytesPerLine) == header.cupsBytesPerLine;
    }
    if (raster != nullptr) cupsRasterClose(raster);
    ::close(fd);
    return ok;
}

bool writeGrayPng(const zvtest::RasterPage &page, const std::string &path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = page.width;
    image.height = page.height;
    image.format = PNG_FORMAT_GRAY;
    return png_image_write_to_file(&image, path.c_str(), 0, page.pixels.data(), 0, nullptr) != 0;
}

bool readGrayPng(const std::string &path, std::vector<uint8_t> *gray, unsigned *width, unsigned *height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_GRAY;
    gray->resize(PNG_IMAGE_SIZE(image));
    *width = image.width;
    *height = image.height;
    return png_image_finish_read(&image, nullptr, gray->data(), 0, nullptr) != 0;
}

// The print option and the zveffect tool are one effect: the page CUPS hands
// the filter, printed with PhotoEffect, is the tool's picture of that page
// printed without it, dot for dot after the model's scaling.
TEST(CupsChainProtocolOptions, PhotoEffectPrintsWhatTheToolMakes) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    const std::string ppd = ppdPath("zorvan-l40s");
    // At the printer's own resolution, so that the filter works on the very
    // page the tool is given (a supersampled one is reduced first).
    const ChainResult raster =
        printWithCupsfilter(ppd, samplePhoto(), {"PrintMode=0", "Rendering=1"}, "application/vnd.cups-raster");
    ASSERT_EQ(raster.status, 0) << raster.err;
    zvtest::RasterPage page;
    ASSERT_TRUE(readGrayRaster(raster.out, &page)) << "cupsfilter gave no 8-bit gray raster";

    TempDir work;
    ASSERT_TRUE(writeGrayPng(page, work.file("page.png")));
    const std::string zveffect = std::string(ZV_BINARY_DIR) + "/tools/zveffect";
    const struct {
        int option;
        const char *effect;
    } kCases[] = {{5, "sketch"}, {2, "line-draft-2"}, {9, "negative"}};
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.effect);
        const std::string out = work.file(std::string(c.effect) + ".png");
        ASSERT_EQ(std::system((quoted(zveffect) + " " + c.effect + " " + quoted(work.file("page.png")) + " " +
                               quoted(out))
                                  .c_str()),
                  0);
        zvtest::RasterPage made = page;
        unsigned w = 0, h = 0;
        ASSERT_TRUE(readGrayPng(out, &made.pixels, &w, &h));
        ASSERT_EQ(w, page.width);
        ASSERT_EQ(h, page.height);
        ASSERT_NE(made.pixels, page.pixels);

        zvtest::FilterRun withOption;
        withOption.ppdPath = ppd;
        withOption.input = zvtest::makeRaster({page});
        withOption.options = "PrintMode=0 PhotoEffect=" + std::to_string(c.option);
        zvtest::FilterRun ofTheTool = withOption;
        ofTheTool.input = zvtest::makeRaster({made});
        ofTheTool.options = "PrintMode=0 PhotoEffect=0";
        const zvtest::FilterResult printed = zvtest::runFilter(withOption);
        const zvtest::FilterResult expected = zvtest::runFilter(ofTheTool);
        ASSERT_EQ(printed.status, 0) << printed.err;
        ASSERT_EQ(expected.status, 0) << expected.err;
        ChainResult a, b;
        a.out = printed.out;
        b.out = expected.out;
        EXPECT_EQ(protocolPage(a), protocolPage(b));
    }
}

TEST(CupsChainProtocolOptions, EveryProcessingChoicePrints) {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    const std::string ppd = ppdPath("zorvan-l40s");
    // Automatic with print mode 0 is the plain threshold, as choice 1 is.
    const ChainResult automatic = printWithCupsfilter(ppd, samplePhoto(), {"PrintMode=0"});
    ASSERT_EQ(automatic.status, 0) << automatic.err;
    const std::vector<uint8_t> thresholded = protocolPage(automatic);
    std::vector<std::vector<uint8_t>> pages;
    for (int choice = 1; choice <= 8; ++choice) {
        SCOPED_TRACE("Processing=" + std::to_string(choice));
        const ChainResult job =
            printWithCupsfilter(ppd, samplePhoto(), {"PrintMode=0", "Processing=" + std::to_string(choice)});
        ASSERT_EQ(job.status, 0) << job.err;
        EXPECT_FALSE(contains(job.err, "ERROR:")) << job.err;
        pages.push_back(protocolPage(job));
        if (choice == 1) {
            EXPECT_EQ(pages.back(), thresholded);
        } else {
            EXPECT_NE(pages.back(), thresholded);
        }
    }
    // The step pipeline (6) differs from the A4 photo preset (3) and from the
    // classic halftones (7, 8), which differ by their diffusion.
    EXPECT_NE(pages[5], pages[2]);
    EXPECT_NE(pages[5], pages[6]);
    EXPECT_NE(pages[6], pages[7]);
    EXPECT_NE(pages[3], pages[4]);  // soft and soft, dark
}
