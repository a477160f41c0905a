// ZPL and SF ZPL (ZPL behind a "^^XX" line per label): the label commands
// the filter writes and ^GFA graphic fields, hexadecimal or Z64.
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/render/decode.h"
#include "tools/render/stream.h"

namespace zvrender {
namespace {

bool zplParamEnd(uint8_t b) { return b == '^' || b == '~' || b == '\r' || b == '\n'; }

void skipLineEnds(Cursor &c) {
    while (!c.atEnd() && (c.peek() == '\r' || c.peek() == '\n')) {
        if (c.peek() == '\r' && c.peek(1) != '\n') fault(c.pos() + 1, "CR not followed by LF");
        c.skip(c.peek() == '\r' ? 2 : 1);
    }
}

// ^GFA,b,c,d,data with data hexadecimal or ":Z64:" Base64 of a zlib stream
// followed by ":" and the CRC-16 of the Base64 text in four hexadecimal digits.
void readZplGraphic(Cursor &c, PageBuilder &page, long long x, long long y) {
    size_t formatOffset = c.pos();
    if (c.atEnd()) fault(c.pos(), "stream ends inside ^GF");
    if (c.peek() != 'A')
        fault(formatOffset, "^GF format " + byteText(c.peek()) + " is not written by the filter (A expected)");
    c.skip(1);
    c.expect(",", "',' after the ^GF format");
    auto field = [&](const char *what, long long lo) {
        size_t start = c.pos();
        while (!c.atEnd() && c.peek() != ',' && !zplParamEnd(c.peek()) && c.pos() - start < 24) c.skip(1);
        std::string_view text(reinterpret_cast<const char *>(c.here() - (c.pos() - start)), c.pos() - start);
        if (c.peek() != ',' || c.atEnd()) fault(c.pos(), std::string("^GF ") + what + " not followed by ','");
        c.skip(1);
        return static_cast<size_t>(intParam({text, start}, std::string("^GF ") + what, lo, kNumberLimit));
    };
    size_t bOffset = c.pos();
    size_t byteCount = field("byte count", 1);
    size_t cOffset = c.pos();
    size_t fieldCount = field("field count", 1);
    size_t dOffset = c.pos();
    size_t widthBytes = field("bytes per row", 1);
    if (byteCount != fieldCount)
        fault(bOffset, "^GF byte count " + std::to_string(byteCount) + " differs from its field count " +
                           std::to_string(fieldCount));
    if (fieldCount % widthBytes != 0)
        fault(cOffset, "^GF field count " + std::to_string(fieldCount) + " is not a whole number of rows of " +
                           std::to_string(widthBytes) + " bytes");
    Placement p;
    p.x = x;
    p.y = y;
    p.widthBytes = widthBytes;
    p.rows = fieldCount / widthBytes;
    page.checkSize(p.widthBytes, p.rows, dOffset);
    size_t dataOffset = c.pos();
    if (c.consume(":Z64:")) {
        size_t textStart = c.pos();
        while (!c.atEnd() && c.peek() != ':') {
            if (zplParamEnd(c.peek())) fault(c.pos(), "Z64 data not closed by ':' and its CRC");
            c.skip(1);
        }
        if (c.atEnd()) fault(c.pos(), "stream ends inside Z64 data");
        size_t textLength = c.pos() - textStart;
        const uint8_t *text = c.here() - textLength;
        c.skip(1);
        size_t crcOffset = c.pos();
        if (c.left() < 4) fault(crcOffset, "stream ends inside the Z64 CRC");
        unsigned crc = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t h = c.peek(i);
            if (!((h >= '0' && h <= '9') || (h >= 'A' && h <= 'F')))
                fault(crcOffset + i, "Z64 CRC digit is not an upper-case hexadecimal digit: " + byteText(h));
            crc = crc << 4 | static_cast<unsigned>(hexValue(h));
        }
        c.skip(4);
        uint16_t computed = crc16Xmodem(text, textLength);
        if (computed != crc) {
            char msg[96];
            std::snprintf(msg, sizeof msg, "Z64 CRC %04X does not match the Base64 text (CRC %04X)", crc, computed);
            fault(crcOffset, msg);
        }
        std::vector<uint8_t> compressed = decodeBase64(text, textLength, textStart);
        if (compressed.empty()) fault(textStart, "Z64 data is empty");
        p.bits = inflateExact(compressed.data(), compressed.size(), fieldCount, textStart);
    } else {
        size_t digits = fieldCount * 2;
        if (c.left() < digits)
            fault(c.pos(), "^GF needs " + std::to_string(digits) + " hexadecimal digits, the stream has " +
                               std::to_string(c.left()) + " bytes left");
        p.bits = decodeHex(c.here(), fieldCount, dataOffset);
        c.skip(digits);
    }
    if (!c.atEnd() && !zplParamEnd(c.peek()))
        fault(c.pos(), "graphic data runs on past the " + std::to_string(fieldCount) + " bytes announced");
    page.place(std::move(p), dOffset);
}

void renderZpl(Cursor &c, bool sf, RenderResult &result) {
    result.format = sf ? Format::SfZpl : Format::Zpl;
    while (true) {
        skipLineEnds(c);
        if (c.atEnd()) break;
        size_t labelStart = c.pos();
        if (sf) c.expect("^^XX\r\n", "the prefix line ^^XX");
        c.expect("^XA", "^XA");
        PageBuilder page;
        long long homeX = 0, homeY = 0, fieldX = 0, fieldY = 0, width = 0, length = 0;
        while (true) {
            skipLineEnds(c);
            if (c.atEnd()) fault(labelStart, "label not closed by ^XZ");
            size_t start = c.pos();
            uint8_t prefix = c.peek();
            if (prefix != '^' && prefix != '~')
                fault(start, "expected a ZPL command (^ or ~), found " + byteText(prefix));
            if (c.left() < 3) fault(c.pos() + c.left(), "stream ends inside a ZPL command name");
            std::string name(reinterpret_cast<const char *>(c.here()), 3);
            c.skip(3);
            if (name == "^GF") {
                readZplGraphic(c, page, homeX + fieldX, homeY + fieldY);
                continue;
            }
            size_t paramStart = c.pos();
            while (!c.atEnd() && !zplParamEnd(c.peek()) && c.pos() - paramStart < 256) c.skip(1);
            std::string_view text(reinterpret_cast<const char *>(c.here() - (c.pos() - paramStart)),
                                  c.pos() - paramStart);
            std::vector<Param> params = splitParams(text, paramStart, ',');
            if (name == "^XZ") {
                if (!params.empty()) fault(paramStart, "^XZ takes no parameter");
                page.declare(width, length, start);
                result.pages.push_back(page.finish(false));
                break;
            }
            if (name == "^XA") fault(start, "^XA inside a label (the previous ^XA has no ^XZ)");
            if (name == "^FS") {
                if (!params.empty()) fault(paramStart, "^FS takes no parameter");
            } else if (name == "^LH") {
                checkCount(params, 2, 2, start, name);
                homeX = intParam(params[0], "^LH x");
                homeY = intParam(params[1], "^LH y");
            } else if (name == "^FO") {
                checkCount(params, 2, 3, start, name);
                fieldX = intParam(params[0], "^FO x");
                fieldY = intParam(params[1], "^FO y");
                if (params.size() == 3) intParam(params[2], "^FO justification", 0, 2);
            } else if (name == "^MN") {
                checkCount(params, 1, 2, start, name);
                if (params[0].text.size() != 1 ||
                    std::string_view("NYWMAV").find(params[0].text[0]) == std::string_view::npos)
                    fault(params[0].offset, "^MN media kind must be one of N Y W M A V");
            } else if (name == "^PO") {
                checkCount(params, 1, 1, start, name);
                if (params[0].text != "N" && params[0].text != "I") fault(params[0].offset, "^PO takes N or I");
            } else if (name == "^PW") {
                checkCount(params, 1, 1, start, name);
                width = intParam(params[0], "^PW width", 0, kMaxPageSide);
            } else if (name == "^LL") {
                checkCount(params, 1, 2, start, name);
                length = intParam(params[0], "^LL length", 0, kMaxPageSide);
            } else if (name == "^LS" || name == "~SD") {
                checkCount(params, 1, 1, start, name);
                intParam(params[0], name + " value");
            } else if (name == "^PR") {
                checkCount(params, 1, 3, start, name);
                for (const Param &p : params) intParam(p, "^PR speed");
            } else if (name == "^PQ") {
                checkCount(params, 1, 4, start, name);
                intParam(params[0], "^PQ quantity", 1, kNumberLimit);
            } else {
                fault(start, "unknown ZPL command " + name);
            }
        }
    }
}

bool announcesZpl(const Cursor &c) { return c.startsWith("^XA") || c.startsWith("~"); }
bool announcesSfZpl(const Cursor &c) { return c.startsWith("^^XX"); }

void readZpl(Cursor &c, Format format, bool, const RenderOptions &, RenderResult &result) {
    renderZpl(c, format == Format::SfZpl, result);
}

}  // namespace

const Language kZplLanguage = {Format::Zpl, "zpl", announcesZpl, readZpl};
const Language kSfZplLanguage = {Format::SfZpl, "sfzpl", announcesSfZpl, readZpl};

}  // namespace zvrender
