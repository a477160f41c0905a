// Barcodes through the whole chain, as a shipping clerk prints them: symbols
// made with zint (Code 128, EAN-13, Code 39, Interleaved 2 of 5, QR) at
// several module widths and sub-dot positions, placed on 4 x 6 in pages and
// turned into a PDF by ghostscript, printed by cupsfilter with a shipped PPD
// at its defaults into the built filter, read back with zvrender's reader
// into the printer's dots, and scanned with zbarimg. Every symbol that must
// read has to give exactly its payload, and nothing may read wrongly.
//
// ZV_BARCODE_OPTIONS (job options separated by spaces, e.g. "Rendering=1")
// runs the same labels with other choices; the reading goals are then only
// reported, a wrong read still fails. ZV_BARCODE_KEEP=DIR keeps the images
// that were scanned.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cupsfilter_run.h"
#include "tests/support/temp_dir.h"
#include "tools/render/render.h"

namespace {

using zvtest::shellQuoted;
using zvtest::TempDir;

struct Symbology {
    const char *name;
    int zintCode;         // zint's -b number
    const char *payload;  // what zint encodes
    const char *zbarType;
    const char *zbarData;  // what a correct read gives (EAN-13 adds its check digit)
    bool twoDimensional;
};

constexpr Symbology kSymbologies[] = {
    {"Code 128", 20, "ZV21", "CODE-128", "ZV21", false},
    {"EAN-13", 13, "400638133393", "EAN-13", "4006381333931", false},
    {"Code 39", 8, "ZV21", "CODE-39", "ZV21", false},
    {"Interleaved 2 of 5", 3, "12345670", "I2/5", "12345670", false},
    {"QR", 58, "ZV-21 QR", "QR-Code", "ZV-21 QR", true},
};

constexpr double kLinearModulesMm[] = {0.19, 0.22, 0.25, 0.28, 0.33};
constexpr int kQrModuleDots[] = {2, 3, 4};
constexpr int kPositions = 4;  // sub-dot offsets 0, 1/4, 1/2, 3/4 of a dot

constexpr double kPageWidthPt = 288, kPageHeightPt = 432;
constexpr double kMarginPt = 14, kGapPt = 12;
constexpr double kBarHeightMm = 8;

// A symbol on the label: where it is (points, PostScript's origin at the
// bottom left) and what it is.
struct Cell {
    const Symbology *symbology;
    double moduleMm;
    int moduleDots;  // QR only
    int position;
    int page;
    double xPt, yPt;  // bottom left of the symbol with its quiet zones
    double widthPt, heightPt;
    std::string eps;  // the symbol as zint drew it, module 1 point
    int epsWidth, epsHeight;
};

std::string runCommand(const std::string &command) { return zvtest::shellOutput(command + " 2>/dev/null"); }

// zint's EPS of one symbol with its quiet zones, X dimension 1 point.
bool makeSymbolEps(const TempDir &dir, const Symbology &s, double moduleMm, int index, Cell *cell) {
    const std::string path = dir.file("symbol" + std::to_string(index) + ".eps");
    std::string command = "zint -b " + std::to_string(s.zintCode) + " -d " + shellQuoted(s.payload) +
                          " --notext --quietzones --filetype=eps --scale=0.5 -o " + shellQuoted(path);
    if (!s.twoDimensional)
        command += " --height=" + std::to_string(static_cast<int>(std::lround(kBarHeightMm / moduleMm)));
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return false;
    cell->eps = zvtest::readFileText(path);
    const size_t box = cell->eps.find("%%BoundingBox:");
    if (box == std::string::npos) return false;
    int x0 = 0, y0 = 0;
    if (std::sscanf(cell->eps.c_str() + box, "%%%%BoundingBox: %d %d %d %d", &x0, &y0, &cell->epsWidth,
                    &cell->epsHeight) != 4)
        return false;
    return cell->epsWidth > 0 && cell->epsHeight > 0;
}

// Every symbol at every module width and position, laid out in rows on as
// many pages as they need. Positions are whole dots plus the sub-dot offset.
std::vector<Cell> layOut(const TempDir &dir, int dpi, bool *ok) {
    std::vector<Cell> cells;
    const double pointsPerDot = 72.0 / dpi;
    int index = 0;
    double x = kMarginPt, rowTop = kPageHeightPt - kMarginPt, rowHeight = 0;
    int page = 0;
    *ok = true;
    for (const Symbology &s : kSymbologies) {
        std::vector<std::pair<double, int>> modules;
        if (s.twoDimensional)
            for (int dots : kQrModuleDots) modules.push_back({dots * 25.4 / dpi, dots});
        else
            for (double mm : kLinearModulesMm) modules.push_back({mm, 0});
        for (const auto &[moduleMm, moduleDots] : modules) {
            Cell symbol{};
            if (!makeSymbolEps(dir, s, moduleMm, index++, &symbol)) {
                *ok = false;
                return cells;
            }
            const double modulePt = moduleMm * 72.0 / 25.4;
            for (int position = 0; position < kPositions; ++position) {
                Cell cell = symbol;
                cell.symbology = &s;
                cell.moduleMm = moduleMm;
                cell.moduleDots = moduleDots;
                cell.position = position;
                cell.widthPt = cell.epsWidth * modulePt;
                cell.heightPt = cell.epsHeight * modulePt;
                if (x + cell.widthPt > kPageWidthPt - kMarginPt) {
                    x = kMarginPt;
                    rowTop -= rowHeight + kGapPt;
                    rowHeight = 0;
                }
                if (rowTop - cell.heightPt < kMarginPt) {
                    ++page;
                    x = kMarginPt;
                    rowTop = kPageHeightPt - kMarginPt;
                    rowHeight = 0;
                }
                const double offset = position / static_cast<double>(kPositions);
                cell.xPt = (std::floor(x / pointsPerDot) + offset) * pointsPerDot;
                const double bottom = rowTop - cell.heightPt;
                // QR codes are moved by the offset downwards too.
                cell.yPt = (std::floor(bottom / pointsPerDot) + (s.twoDimensional ? offset : 0)) * pointsPerDot;
                cell.page = page;
                cells.push_back(cell);
                x += cell.widthPt + kGapPt;
                rowHeight = std::max(rowHeight, cell.heightPt);
            }
        }
    }
    return cells;
}

// The labels as PostScript, each symbol's EPS scaled to its module width,
// then a PDF of them made by ghostscript.
bool writeLabelPdf(const std::vector<Cell> &cells, const TempDir &dir, const std::string &pdf) {
    std::ostringstream ps;
    ps << "%!PS-Adobe-3.0\n<< /PageSize [" << kPageWidthPt << " " << kPageHeightPt << "] >> setpagedevice\n";
    ps.precision(10);
    int page = 0;
    for (const Cell &cell : cells) {
        while (cell.page > page) {
            ps << "showpage\n";
            ++page;
        }
        const double modulePt = cell.moduleMm * 72.0 / 25.4;
        ps << "gsave " << cell.xPt << " " << cell.yPt << " translate " << modulePt << " " << modulePt << " scale\n"
           << cell.eps << "\ngrestore\n";
    }
    ps << "showpage\n";
    const std::string psPath = dir.file("labels.ps");
    zvtest::writeFileText(psPath, ps.str());
    const std::string command = "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o " + shellQuoted(pdf) + " " +
                                shellQuoted(psPath) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// A region of the printed page as a PGM file for zbarimg: white border
// around it, each dot `scale` x `scale` pixels.
void writeCrop(const zvrender::RenderedPage &page, int left, int top, int width, int height, int scale,
               const std::string &path) {
    const int border = 10 * scale;
    const int w = width * scale + 2 * border, h = height * scale + 2 * border;
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int px = left + x, py = top + y;
            if (px < 0 || py < 0 || px >= page.width || py >= page.height || page.dot(px, py) == 0) continue;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx)
                    pixels[static_cast<size_t>(border + y * scale + dy) * w + border + x * scale + dx] = 0;
        }
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << w << " " << h << "\n255\n";
    out.write(reinterpret_cast<const char *>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
}

struct Decoded {
    std::string type, data;
};

// zbarimg's XML: every symbol found, by the file it was found in.
std::map<std::string, std::vector<Decoded>> scanAll(const std::vector<std::string> &files) {
    std::string command = "zbarimg --xml -q";
    for (const std::string &file : files) command += " " + shellQuoted(file);
    const std::string xml = runCommand(command);
    std::map<std::string, std::vector<Decoded>> found;
    std::string source;
    size_t at = 0;
    while (at < xml.size()) {
        const size_t sourceTag = xml.find("<source href='", at);
        const size_t symbolTag = xml.find("<symbol type='", at);
        if (sourceTag == std::string::npos && symbolTag == std::string::npos) break;
        if (sourceTag != std::string::npos && (symbolTag == std::string::npos || sourceTag < symbolTag)) {
            const size_t start = sourceTag + 14;
            source = xml.substr(start, xml.find('\'', start) - start);
            at = start;
            continue;
        }
        const size_t typeStart = symbolTag + 14;
        Decoded d;
        d.type = xml.substr(typeStart, xml.find('\'', typeStart) - typeStart);
        const size_t dataStart = xml.find("<![CDATA[", typeStart);
        const size_t dataEnd = xml.find("]]>", dataStart);
        if (dataStart == std::string::npos || dataEnd == std::string::npos) break;
        d.data = xml.substr(dataStart + 9, dataEnd - dataStart - 9);
        found[source].push_back(d);
        at = dataEnd;
    }
    return found;
}

struct Outcome {
    bool read = false;   // the exact payload, at the dot size or enlarged
    bool wrong = false;  // anything else decoded
    std::string wrongText;
};

struct ChainCase {
    const char *ppd;
    int dpi;
};

void PrintTo(const ChainCase &c, std::ostream *os) { *os << c.ppd; }

class BarcodeChain : public ::testing::TestWithParam<ChainCase> {
  protected:
    void SetUp() override {
        const std::string missing = zvtest::missingChainTool();
        if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
        for (const char *tool : {"zint", "zbarimg"})
            if (zvtest::findExecutable(tool).empty()) GTEST_SKIP() << tool << " is not installed (scripts/deps)";
    }
};

TEST_P(BarcodeChain, SymbolsReadWithTheirPayloadAndNothingReadsWrongly) {
    const ChainCase &c = GetParam();
    TempDir dir;
    bool laidOut = false;
    const std::vector<Cell> cells = layOut(dir, c.dpi, &laidOut);
    ASSERT_TRUE(laidOut) << "zint could not make the symbols";
    const std::string pdf = dir.file("labels.pdf");
    ASSERT_TRUE(writeLabelPdf(cells, dir, pdf));

    std::vector<std::string> options;
    const char *extra = std::getenv("ZV_BARCODE_OPTIONS");
    const bool defaults = extra == nullptr || *extra == '\0';
    if (!defaults) {
        std::istringstream words(extra);
        for (std::string word; words >> word;) options.push_back(word);
    }
    const std::string ppd = std::string(ZV_BINARY_DIR) + "/ppd/" + c.ppd + ".ppd";
    const zvtest::CupsfilterResult job = zvtest::runCupsfilter(ppd, pdf, options);
    ASSERT_EQ(job.status, 0) << job.err;
    const zvrender::RenderResult rendered = zvrender::renderStream(job.out);
    ASSERT_TRUE(rendered.ok) << rendered.message();
    ASSERT_EQ(static_cast<int>(rendered.pages.size()), cells.back().page + 1);

    // Each symbol cut out with a few dots around it, at the dot size and
    // enlarged three times.
    const double dotsPerPoint = c.dpi / 72.0;
    std::vector<std::string> files;
    for (size_t i = 0; i < cells.size(); ++i) {
        const Cell &cell = cells[i];
        const zvrender::RenderedPage &page = rendered.pages[static_cast<size_t>(cell.page)];
        const int margin = 4;
        const int left = static_cast<int>(std::floor(cell.xPt * dotsPerPoint)) - margin;
        const int top =
            static_cast<int>(std::floor((kPageHeightPt - cell.yPt - cell.heightPt) * dotsPerPoint)) - margin;
        const int width = static_cast<int>(std::ceil(cell.widthPt * dotsPerPoint)) + 2 * margin;
        const int height = static_cast<int>(std::ceil(cell.heightPt * dotsPerPoint)) + 2 * margin;
        for (int scale : {1, 3}) {
            files.push_back(dir.file("cell" + std::to_string(i) + "x" + std::to_string(scale) + ".pgm"));
            writeCrop(page, left, top, width, height, scale, files.back());
        }
    }
    const std::map<std::string, std::vector<Decoded>> found = scanAll(files);
    // ZV_BARCODE_KEEP=DIR keeps the cut-out symbols for a look.
    if (const char *keep = std::getenv("ZV_BARCODE_KEEP"))
        for (const std::string &file : files)
            std::system(("cp " + shellQuoted(file) + " " +
                         shellQuoted(std::string(keep) + "/" + c.ppd + "-" + file.substr(file.rfind('/') + 1)))
                            .c_str());

    std::vector<Outcome> outcomes(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        const Symbology &s = *cells[i].symbology;
        for (int f = 0; f < 2; ++f) {
            const auto it = found.find(files[2 * i + static_cast<size_t>(f)]);
            if (it == found.end()) continue;
            for (const Decoded &d : it->second) {
                if (d.type == s.zbarType && d.data == s.zbarData) {
                    outcomes[i].read = true;
                } else {
                    outcomes[i].wrong = true;
                    outcomes[i].wrongText = d.type + ":" + d.data;
                }
            }
        }
    }

    // The table: reads of the four positions for every symbol and module.
    std::ostringstream table;
    table << c.ppd << (defaults ? " (PPD defaults)" : std::string(" with ") + extra) << "\n";
    for (size_t i = 0; i < cells.size(); i += kPositions) {
        int reads = 0;
        std::string wrong;
        for (int p = 0; p < kPositions; ++p) {
            reads += outcomes[i + static_cast<size_t>(p)].read ? 1 : 0;
            if (outcomes[i + static_cast<size_t>(p)].wrong) wrong += " WRONG " + outcomes[i + p].wrongText;
        }
        char line[160];
        if (cells[i].symbology->twoDimensional)
            std::snprintf(line, sizeof line, "  %-20s %d dots (%.3f mm)  %d/%d%s\n", cells[i].symbology->name,
                          cells[i].moduleDots, cells[i].moduleMm, reads, kPositions, wrong.c_str());
        else
            std::snprintf(line, sizeof line, "  %-20s %.2f mm           %d/%d%s\n", cells[i].symbology->name,
                          cells[i].moduleMm, reads, kPositions, wrong.c_str());
        table << line;
    }
    std::cout << table.str();

    for (size_t i = 0; i < cells.size(); ++i)
        EXPECT_FALSE(outcomes[i].wrong) << cells[i].symbology->name << " " << cells[i].moduleMm << " mm position "
                                        << cells[i].position << " read as " << outcomes[i].wrongText;
    if (!defaults) return;

    // At the PPD defaults: at 300 dpi every symbol reads at every position;
    // at 203 dpi every linear symbol from 0.25 mm and every QR code from 3
    // dots a module, and the thinner ones at most positions (EAN-13 at
    // 0.19 mm, 1.5 dots a module, at half of them).
    for (size_t i = 0; i < cells.size(); i += kPositions) {
        const Cell &cell = cells[i];
        int reads = 0;
        for (int p = 0; p < kPositions; ++p) reads += outcomes[i + static_cast<size_t>(p)].read ? 1 : 0;
        int needed = kPositions;
        if (c.dpi < 300) {
            const bool ean = std::string(cell.symbology->name) == "EAN-13";
            if (cell.symbology->twoDimensional && cell.moduleDots < 3) needed = kPositions - 1;
            if (!cell.symbology->twoDimensional && cell.moduleMm < 0.245) needed = kPositions - 1;
            if (ean && cell.moduleMm < 0.2) needed = kPositions / 2;
        }
        EXPECT_GE(reads, needed) << cell.symbology->name << " "
                                 << (cell.symbology->twoDimensional ? std::to_string(cell.moduleDots) + " dots"
                                                                    : std::to_string(cell.moduleMm) + " mm")
                                 << " at " << c.dpi << " dpi\n"
                                 << table.str();
    }
}

INSTANTIATE_TEST_SUITE_P(ShippedPpds, BarcodeChain,
                         ::testing::Values(ChainCase{"zorvan-tspl-203", 203}, ChainCase{"zorvan-tspl-300", 300}),
                         [](const ::testing::TestParamInfo<ChainCase> &info) {
                             return std::string(info.param.dpi == 203 ? "tspl_203" : "tspl_300");
                         });

}  // namespace
