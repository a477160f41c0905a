// CPCL: the "! ..." label header, setup lines, EG (hexadecimal) or CG
// (binary) graphics, and PRINT, one label per header.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/render/decode.h"
#include "tools/render/stream.h"

namespace zvrender {
namespace {

std::vector<Param> words(std::string_view line, size_t offset) {
    std::vector<Param> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        size_t s = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > s) out.push_back({line.substr(s, i - s), offset + s});
    }
    return out;
}

void renderCpcl(Cursor &c, RenderResult &result) {
    result.format = Format::Cpcl;
    while (!c.atEnd()) {
        size_t labelStart = c.pos();
        if (c.peek() != '!') fault(labelStart, "expected a CPCL label header \"! ...\", found " + byteText(c.peek()));
        std::string_view header = c.line(256);
        std::vector<Param> h = words(header.substr(1), labelStart + 1);
        if (header.size() < 2 || header[1] != ' ') fault(labelStart + 1, "expected a blank after '!'");
        checkCount(h, 5, 5, labelStart, "the label header");
        intParam(h[0], "header offset", 0, kNumberLimit);
        intParam(h[1], "header horizontal resolution", 1, kNumberLimit);
        intParam(h[2], "header vertical resolution", 1, kNumberLimit);
        long long height = intParam(h[3], "header label height", 0, kMaxPageSide);
        intParam(h[4], "header quantity", 1, kNumberLimit);
        PageBuilder page;
        long long width = 0;
        while (true) {
            if (c.atEnd()) fault(labelStart, "label not finished by PRINT");
            size_t start = c.pos();
            std::string_view line = c.line(256);
            std::vector<Param> w = words(line, start);
            if (w.empty()) continue;
            std::string keyword(w[0].text);
            std::vector<Param> args(w.begin() + 1, w.end());
            if (keyword == "PW") {
                checkCount(args, 1, 1, start, keyword);
                width = intParam(args[0], "PW width", 0, kMaxPageSide);
            } else if (keyword == "NO-PACE" || keyword == "GAP-SENSE" || keyword == "BAR-SENSE" || keyword == "FORM") {
                checkCount(args, 0, 0, start, keyword);
            } else if (keyword == "TONE") {
                checkCount(args, 1, 1, start, keyword);
                intParam(args[0], "TONE");
            } else if (keyword == "SPEED") {
                checkCount(args, 1, 1, start, keyword);
                decimalParam(args[0], "SPEED");
            } else if (keyword == "EG" || keyword == "CG") {
                checkCount(args, 4, 4, start, keyword);
                Placement p;
                p.widthBytes = static_cast<size_t>(intParam(args[0], keyword + " width (bytes)", 1, kNumberLimit));
                p.rows = static_cast<size_t>(intParam(args[1], keyword + " height", 1, kNumberLimit));
                p.x = intParam(args[2], keyword + " x");
                p.y = intParam(args[3], keyword + " y");
                page.checkSize(p.widthBytes, p.rows, args[0].offset);
                size_t total = p.widthBytes * p.rows;
                if (keyword == "EG") {
                    if (c.left() < total * 2)
                        fault(c.pos(), "EG needs " + std::to_string(total * 2) +
                                           " hexadecimal digits, the stream has " + std::to_string(c.left()) +
                                           " bytes left");
                    p.bits = decodeHex(c.here(), total, c.pos());
                    c.skip(total * 2);
                } else {
                    p.bits = takeBytes(c, total, "CG data");
                }
                c.expect("\r\n", (std::string("CR LF after the ") + keyword + " data").c_str());
                page.place(std::move(p), start);
            } else if (keyword == "PRINT") {
                checkCount(args, 0, 0, start, keyword);
                page.declare(width, height, labelStart);
                result.pages.push_back(page.finish(false));
                break;
            } else {
                fault(start, "unknown CPCL command \"" + std::string(line.substr(0, 40)) + "\"");
            }
        }
    }
}

bool announcesCpcl(const Cursor &c) { return c.startsWith("! "); }

void readCpcl(Cursor &c, Format, bool, const RenderOptions &, RenderResult &result) { renderCpcl(c, result); }

}  // namespace

const Language kCpclLanguage = {Format::Cpcl, "cpcl", announcesCpcl, readCpcl};

}  // namespace zvrender
