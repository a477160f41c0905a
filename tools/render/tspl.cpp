// TSPL and two-colour TSPL: setup lines, BITMAP commands (raw or zlib; TSPL
// prints the 0 bits) and PRINT, one label per PRINT.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/render/decode.h"
#include "tools/render/stream.h"

namespace zvrender {
namespace {

void invert(std::vector<uint8_t> &bytes) {
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(~b);
}

// A TSPL distance: a number, optionally followed by the unit "mm" or "dot"
// (with or without a blank between); without a unit TSPL reads inches.
void distanceParam(const Param &p, const std::string &what) {
    std::string_view t = p.text;
    for (std::string_view unit : {std::string_view("mm"), std::string_view("dot")}) {
        if (t.size() > unit.size() && t.substr(t.size() - unit.size()) == unit) {
            t = trim(t.substr(0, t.size() - unit.size()));
            break;
        }
    }
    if (!isDecimal(t)) fault(p.offset, what + " is not a distance: \"" + std::string(p.text.substr(0, 40)) + "\"");
}

// A comma-terminated integer field of the BITMAP header.
long long bitmapField(Cursor &c, const char *what, long long lo, long long hi) {
    size_t start = c.pos();
    while (!c.atEnd() && c.peek() != ',' && c.pos() - start < 24) {
        if (c.peek() == '\r' || c.peek() == '\n') fault(c.pos(), std::string("BITMAP header ends before its ") + what);
        c.skip(1);
    }
    if (c.atEnd()) fault(c.pos(), std::string("stream ends inside the BITMAP header (") + what + ")");
    if (c.peek() != ',') fault(start, std::string("BITMAP ") + what + " is not a number");
    std::string_view text(reinterpret_cast<const char *>(c.here() - (c.pos() - start)), c.pos() - start);
    c.skip(1);
    return intParam({text, start}, std::string("BITMAP ") + what, lo, hi);
}

void readTsplBitmap(Cursor &c, PageBuilder &page, bool red) {
    Placement p;
    p.x = bitmapField(c, "x", -kNumberLimit, kNumberLimit);
    p.y = bitmapField(c, "y", -kNumberLimit, kNumberLimit);
    size_t sizeOffset = c.pos();
    p.widthBytes = static_cast<size_t>(bitmapField(c, "width (bytes)", 1, kNumberLimit));
    p.rows = static_cast<size_t>(bitmapField(c, "height", 1, kNumberLimit));
    size_t modeOffset = c.pos();
    long long mode = bitmapField(c, "mode", 0, 3);
    page.checkSize(p.widthBytes, p.rows, sizeOffset);
    size_t total = p.widthBytes * p.rows;
    if (mode == 0) {
        p.bits = takeBytes(c, total, "BITMAP data");
    } else if (mode == 3) {
        size_t lengthOffset = c.pos();
        size_t length = static_cast<size_t>(bitmapField(c, "compressed length", 1, kNumberLimit));
        if (c.left() < length)
            fault(lengthOffset, "compressed length " + std::to_string(length) + " runs past the end of the stream (" +
                                    std::to_string(c.left()) + " bytes left)");
        p.bits = inflateExact(c.here(), length, total, c.pos());
        c.skip(length);
    } else {
        fault(modeOffset, "BITMAP mode " + std::to_string(mode) + " is not written by the filter (0 or 3 expected)");
    }
    c.expect("\r\n", "CR LF after the BITMAP data");
    invert(p.bits);  // TSPL prints 0 bits
    p.red = red;
    p.overwrite = true;
    page.place(std::move(p), sizeOffset);
}

void renderTspl(Cursor &c, Format format, RenderResult &result) {
    bool twoColour = format == Format::TwoColorTspl;
    bool allowColour = format != Format::Tspl;
    bool sawColour = false;
    bool red = false;
    PageBuilder page;
    bool open = false;
    size_t labelStart = 0;
    while (!c.atEnd()) {
        size_t start = c.pos();
        if (!open) labelStart = start;
        open = true;
        size_t k = 0;
        while ((c.peek(k) >= 'A' && c.peek(k) <= 'Z') || c.peek(k) == '_') ++k;
        if (k == 0) fault(start, "expected a TSPL command, found " + byteText(c.peek()));
        std::string keyword(reinterpret_cast<const char *>(c.here()), k);
        if (keyword == "BITMAP") {
            c.skip(k);
            c.expect(" ", "a blank after BITMAP");
            readTsplBitmap(c, page, red);
            continue;
        }
        std::string_view line = c.line(512);
        std::string_view rest = line.substr(k);
        size_t restOffset = start + k;
        if (!rest.empty() && rest.front() != ' ')
            fault(restOffset, "unknown TSPL command \"" + std::string(line.substr(0, 40)) + "\"");
        std::string_view args = trim(rest);
        size_t argsOffset = restOffset + static_cast<size_t>(args.data() - rest.data());
        std::vector<Param> params = splitParams(args, argsOffset, ',');
        if (keyword == "SIZE" || keyword == "GAP" || keyword == "BLINE") {
            checkCount(params, 2, 2, start, keyword);
            distanceParam(params[0], keyword + " first value");
            distanceParam(params[1], keyword + " second value");
        } else if (keyword == "SPEED") {
            checkCount(params, 1, 1, start, keyword);
            decimalParam(params[0], "SPEED");
        } else if (keyword == "DENSITY") {
            checkCount(params, 1, 1, start, keyword);
            intParam(params[0], "DENSITY");
        } else if (keyword == "DIRECTION" || keyword == "SHIFT") {
            checkCount(params, 1, 2, start, keyword);
            for (const Param &p : params) intParam(p, keyword + " value");
        } else if (keyword == "REFERENCE") {
            checkCount(params, 2, 2, start, keyword);
            for (const Param &p : params) intParam(p, "REFERENCE value");
        } else if (keyword == "OFFSET") {
            checkCount(params, 1, 1, start, keyword);
            distanceParam(params[0], "OFFSET");
        } else if (keyword == "SET") {
            std::vector<Param> words = splitParams(args, argsOffset, ' ');
            if (words.size() != 2 || words[0].text.empty() || words[1].text.empty())
                fault(start, "SET takes a setting name and a value");
        } else if (keyword == "CLS") {
            if (!params.empty()) fault(restOffset, "CLS takes no parameter");
            page.clear();
        } else if (keyword == "SETCOLOR") {
            if (!allowColour) fault(start, "SETCOLOR in a one-colour TSPL stream (two-colour TSPL is --format tspl2)");
            sawColour = true;
            std::vector<Param> words = splitParams(args, argsOffset, ' ');
            if (words.size() == 1 && words[0].text == "BLACK") {
                red = false;
            } else if (words.size() == 2 && words[0].text == "RED") {
                intParam(words[1], "SETCOLOR RED darkness");
                red = true;
            } else {
                fault(restOffset, "SETCOLOR takes BLACK or RED <darkness>");
            }
        } else if (keyword == "PRINT") {
            checkCount(params, 1, 2, start, keyword);
            intParam(params[0], "PRINT label count", 1, kNumberLimit);
            if (params.size() == 2) intParam(params[1], "PRINT copy count", 1, kNumberLimit);
            result.pages.push_back(page.finish(twoColour || sawColour));
            open = false;
        } else {
            fault(start, "unknown TSPL command \"" + std::string(line.substr(0, 40)) + "\"");
        }
    }
    if (open) fault(labelStart, "label not finished by PRINT");
    if (format == Format::Auto || format == Format::Tspl)
        result.format = sawColour ? Format::TwoColorTspl : Format::Tspl;
    else
        result.format = format;
    if (result.format == Format::TwoColorTspl && !twoColour) {
        // Read as auto: the colour commands appeared, so every page gets its
        // red plane (pages before the first SETCOLOR had only black bitmaps).
        for (RenderedPage &p : result.pages)
            if (!p.hasRed()) p.red.assign(p.black.size(), 0);
    }
}

bool announcesTspl(const Cursor &c) {
    return c.startsWith("SIZE ") || c.startsWith("CLS") || c.startsWith("SETCOLOR") || c.startsWith("BITMAP");
}

// Detected streams are read as Auto: a SETCOLOR makes them two-colour.
void readTspl(Cursor &c, Format format, bool named, const RenderOptions &, RenderResult &result) {
    renderTspl(c, named ? format : Format::Auto, result);
}

}  // namespace

const Language kTsplLanguage = {Format::Tspl, "tspl", announcesTspl, readTspl};
const Language kTwoColorTsplLanguage = {Format::TwoColorTspl, "tspl2", nullptr, readTspl};

}  // namespace zvrender
