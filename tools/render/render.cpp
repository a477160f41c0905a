#include "tools/render/render.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace zvrender {
namespace {

// Reading stops at the first fault by throwing this; renderStream turns it
// into the result, so nothing escapes the library.
struct StreamFault {
    size_t offset;
    std::string reason;
};

[[noreturn]] void fault(size_t offset, std::string reason) { throw StreamFault{offset, std::move(reason)}; }

std::string byteText(uint8_t b) {
    char text[16];
    if (b >= 0x20 && b < 0x7F)
        std::snprintf(text, sizeof text, "'%c' (0x%02X)", b, b);
    else
        std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

class Cursor {
  public:
    Cursor(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    size_t pos() const { return pos_; }
    size_t left() const { return size_ - pos_; }
    bool atEnd() const { return pos_ >= size_; }
    uint8_t peek(size_t ahead = 0) const { return pos_ + ahead < size_ ? data_[pos_ + ahead] : 0; }
    const uint8_t *here() const { return data_ + pos_; }
    void skip(size_t n) { pos_ += n; }

    bool startsWith(std::string_view text) const {
        return left() >= text.size() && std::memcmp(data_ + pos_, text.data(), text.size()) == 0;
    }
    bool consume(std::string_view text) {
        if (!startsWith(text)) return false;
        pos_ += text.size();
        return true;
    }
    void expect(std::string_view text, const char *what) {
        if (consume(text)) return;
        // Point at the first byte that differs.
        size_t i = 0;
        while (i < text.size() && pos_ + i < size_ && data_[pos_ + i] == static_cast<uint8_t>(text[i])) ++i;
        if (pos_ + i >= size_) fault(pos_ + i, std::string("stream ends where ") + what + " is expected");
        fault(pos_ + i, std::string("expected ") + what + ", found " + byteText(data_[pos_ + i]));
    }

    // The text up to the next CR LF, which is consumed. Lines the filter
    // writes are short; a long one means the stream lost its way.
    std::string_view line(size_t maxLength = 4096) {
        size_t start = pos_;
        while (pos_ < size_) {
            uint8_t b = data_[pos_];
            if (b == '\r') {
                if (pos_ + 1 >= size_) fault(pos_ + 1, "stream ends inside a line end (CR without LF)");
                if (data_[pos_ + 1] != '\n') fault(pos_ + 1, "CR not followed by LF");
                std::string_view text(reinterpret_cast<const char *>(data_ + start), pos_ - start);
                pos_ += 2;
                return text;
            }
            if (b == '\n') fault(pos_, "line ends with LF alone (CR LF expected)");
            if (pos_ - start >= maxLength)
                fault(start, "line too long (no CR LF within " + std::to_string(maxLength) + " bytes)");
            ++pos_;
        }
        fault(pos_, "stream ends inside a line (no CR LF)");
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// ---- numbers ---------------------------------------------------------------

constexpr long long kNumberLimit = 1000000000LL;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal integer with an optional minus sign, nothing else.
bool parseInt(std::string_view text, long long &value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) return false;
        v = v * 10 + (text[i] - '0');
        if (v > kNumberLimit) return false;
    }
    value = negative ? -v : v;
    return true;
}

// A decimal number: optional sign, digits, optional fraction.
bool isDecimal(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    }
    return digits > 0 && i == text.size() && digits <= 12;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A parameter list "a,b,c" with the absolute offset of every parameter.
struct Param {
    std::string_view text;
    size_t offset;
};

std::vector<Param> splitParams(std::string_view text, size_t offset, char separator) {
    std::vector<Param> params;
    if (text.empty()) return params;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            std::string_view part = text.substr(start, i - start);
            size_t lead = 0;
            while (lead < part.size() && part[lead] == ' ') ++lead;
            params.push_back({trim(part), offset + start + lead});
            start = i + 1;
        }
    }
    return params;
}

void checkCount(const std::vector<Param> &params, size_t lo, size_t hi, size_t offset, const std::string &command) {
    if (params.size() >= lo && params.size() <= hi) return;
    std::string want = lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi);
    fault(offset, command + " takes " + want + " parameter(s), found " + std::to_string(params.size()));
}

long long intParam(const Param &p, const std::string &what, long long lo = -kNumberLimit, long long hi = kNumberLimit) {
    long long v = 0;
    if (!parseInt(p.text, v))
        fault(p.offset, what + " is not an integer: \"" + std::string(p.text.substr(0, 40)) + "\"");
    if (v < lo || v > hi)
        fault(p.offset,
              what + " " + std::to_string(v) + " is out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

void decimalParam(const Param &p, const std::string &what) {
    if (!isDecimal(p.text)) fault(p.offset, what + " is not a number: \"" + std::string(p.text.substr(0, 40)) + "\"");
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

// ---- decoders --------------------------------------------------------------

// Inflates a zlib stream that must hold exactly `expected` bytes and end
// exactly at the end of `size` input bytes.
std::vector<uint8_t> inflateExact(const uint8_t *src, size_t size, size_t expected, size_t offset) {
    std::vector<uint8_t> out(expected + 1);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) fault(offset, "zlib could not be initialised");
    zs.next_in = const_cast<Bytef *>(src);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int ret = inflate(&zs, Z_FINISH);
    size_t produced = zs.total_out, consumed = zs.total_in;
    std::string msg = zs.msg ? zs.msg : "";
    inflateEnd(&zs);
    if (produced > expected)
        fault(offset, "compressed data inflates to more than the " + std::to_string(expected) + " bytes announced");
    if (ret == Z_DATA_ERROR || ret == Z_NEED_DICT)
        fault(offset + consumed, "compressed data is corrupt" + (msg.empty() ? std::string() : " (" + msg + ")"));
    if (ret != Z_STREAM_END)
        fault(offset + size, "compressed data is truncated (inflated " + std::to_string(produced) + " of " +
                                 std::to_string(expected) + " bytes)");
    if (consumed != size)
        fault(offset + consumed, std::to_string(size - consumed) + " bytes follow the end of the compressed data");
    if (produced != expected)
        fault(offset, "compressed data inflates to " + std::to_string(produced) + " bytes, " +
                          std::to_string(expected) + " announced");
    out.resize(expected);
    return out;
}

int base64Value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Strict Base64: groups of four, '=' only in the last group's last places.
std::vector<uint8_t> decodeBase64(const uint8_t *text, size_t size, size_t offset) {
    if (size % 4 != 0) fault(offset, "Base64 text of " + std::to_string(size) + " characters is not a multiple of 4");
    std::vector<uint8_t> out;
    out.reserve(size / 4 * 3);
    for (size_t i = 0; i < size; i += 4) {
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            uint8_t c = text[i + k];
            bool last = i + 4 == size;
            if (c == '=' && last && k >= 2 && (k == 3 || text[i + 3] == '=')) {
                v[k] = 0;
                ++pad;
                continue;
            }
            if (pad > 0 || (v[k] = base64Value(c)) < 0) fault(offset + i + k, "not a Base64 character: " + byteText(c));
        }
        uint32_t group = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
        out.push_back(static_cast<uint8_t>(group >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(group >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(group));
    }
    return out;
}

// CRC-16/XMODEM, bit by bit (independent of the table the encoder uses).
uint16_t crc16Xmodem(const uint8_t *data, size_t size) {
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<uint8_t> decodeHex(const uint8_t *text, size_t bytes, size_t offset) {
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; ++i) {
        int hi = hexValue(text[2 * i]), lo = hexValue(text[2 * i + 1]);
        if (hi < 0) fault(offset + 2 * i, "not a hexadecimal digit: " + byteText(text[2 * i]));
        if (lo < 0) fault(offset + 2 * i + 1, "not a hexadecimal digit: " + byteText(text[2 * i + 1]));
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return out;
}

// ---- page assembly ---------------------------------------------------------

// One bitmap as it was placed on the label, in packed rows, 1 = dot.
struct Placement {
    long long x = 0, y = 0;
    size_t widthBytes = 0;
    size_t rows = 0;
    std::vector<uint8_t> bits;
    bool red = false;
    // TSPL overwrites the covered area (white bits clear dots under them);
    // ZPL and CPCL graphics only add dots.
    bool overwrite = false;
};

class PageBuilder {
  public:
    // Size the label declares; the page is at least this large.
    void declare(long long width, long long height, size_t offset) {
        declaredW_ = std::max<long long>(0, width);
        declaredH_ = std::max<long long>(0, height);
        grow(declaredW_, declaredH_, offset);
    }

    // Checks the bitmap's size before its bytes are read or inflated.
    void checkSize(size_t widthBytes, size_t rows, size_t offset) {
        uint64_t w = uint64_t(widthBytes) * 8;
        if (w > uint64_t(kMaxPageSide) || rows > uint64_t(kMaxPageSide) || w * rows > kMaxPageDots)
            fault(offset, "bitmap of " + std::to_string(w) + " x " + std::to_string(rows) + " dots is too large");
    }

    void place(Placement p, size_t offset) {
        grow(p.x + static_cast<long long>(p.widthBytes) * 8, p.y + static_cast<long long>(p.rows), offset);
        placements_.push_back(std::move(p));
    }

    // TSPL CLS: the image buffer starts white again.
    void clear() { placements_.clear(); }

    bool empty() const { return placements_.empty() && declaredW_ == 0 && declaredH_ == 0; }

    RenderedPage finish(bool withRed) {
        RenderedPage page;
        page.width = static_cast<int>(width_);
        page.height = static_cast<int>(height_);
        size_t dots = static_cast<size_t>(width_) * static_cast<size_t>(height_);
        page.black.assign(dots, 0);
        if (withRed) page.red.assign(dots, 0);
        for (const Placement &p : placements_) {
            std::vector<uint8_t> &plane = p.red && withRed ? page.red : page.black;
            for (size_t r = 0; r < p.rows; ++r) {
                long long y = p.y + static_cast<long long>(r);
                if (y < 0 || y >= height_) continue;
                const uint8_t *row = p.bits.data() + r * p.widthBytes;
                for (size_t bx = 0; bx < p.widthBytes * 8; ++bx) {
                    long long x = p.x + static_cast<long long>(bx);
                    if (x < 0 || x >= width_) continue;
                    bool set = (row[bx >> 3] >> (7 - (bx & 7))) & 1;
                    uint8_t &dot = plane[static_cast<size_t>(y) * width_ + static_cast<size_t>(x)];
                    if (set)
                        dot = 1;
                    else if (p.overwrite)
                        dot = 0;
                }
            }
        }
        *this = PageBuilder();
        return page;
    }

  private:
    void grow(long long right, long long bottom, size_t offset) {
        long long w = std::max(width_, right), h = std::max(height_, bottom);
        if (w > kMaxPageSide || h > kMaxPageSide || uint64_t(w) * uint64_t(h) > kMaxPageDots)
            fault(offset, "page of " + std::to_string(w) + " x " + std::to_string(h) + " dots is too large");
        width_ = w;
        height_ = h;
    }

    long long width_ = 0, height_ = 0;
    long long declaredW_ = 0, declaredH_ = 0;
    std::vector<Placement> placements_;
};

std::vector<uint8_t> takeBytes(Cursor &c, size_t count, const std::string &what) {
    if (c.left() < count)
        fault(c.pos(), what + " needs " + std::to_string(count) + " bytes, the stream has " + std::to_string(c.left()) +
                           " left");
    std::vector<uint8_t> bytes(c.here(), c.here() + count);
    c.skip(count);
    return bytes;
}

void invert(std::vector<uint8_t> &bytes) {
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(~b);
}

// ---- TSPL ------------------------------------------------------------------

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

// ---- ZPL -------------------------------------------------------------------

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

// ---- CPCL ------------------------------------------------------------------

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

// ---- ESC/POS ---------------------------------------------------------------

// The page's rasters are stacked top to bottom as the paper moves; the
// filter starts every page with a NUL byte, which is where a page ends and
// the next begins. Line feeds and control sequences move or act on the paper
// but draw nothing, so they do not appear in the picture.
void renderEscPos(Cursor &c, RenderResult &result) {
    result.format = Format::EscPos;
    PageBuilder page;
    bool open = false;
    long long y = 0;
    auto endPage = [&]() {
        if (open) result.pages.push_back(page.finish(false));
        open = false;
        y = 0;
    };
    while (!c.atEnd()) {
        size_t start = c.pos();
        uint8_t b = c.peek();
        if (b == 0x00) {
            endPage();
            open = true;
            c.skip(1);
        } else if (b == 0x0D || b == 0x0A) {
            c.skip(1);
        } else if (b == 0x1B) {
            if (c.left() < 2) fault(start + 1, "stream ends inside an ESC sequence");
            uint8_t cmd = c.peek(1);
            if (cmd == 0x40) {
                c.skip(2);
            } else if (cmd == 0x70) {  // ESC p m t1 t2: cash drawer pulse
                if (c.left() < 5) fault(start + c.left(), "stream ends inside ESC p");
                uint8_t m = c.peek(2);
                if (m != 0 && m != 1 && m != 0x30 && m != 0x31)
                    fault(start + 2, "ESC p drawer " + byteText(m) + " is not 0 or 1");
                c.skip(5);
            } else if (cmd == 0x42) {  // ESC B n t: beeper
                if (c.left() < 4) fault(start + c.left(), "stream ends inside ESC B");
                if (c.peek(2) < 1 || c.peek(2) > 9)
                    fault(start + 2, "ESC B count " + byteText(c.peek(2)) + " is not 1 to 9");
                if (c.peek(3) < 1 || c.peek(3) > 9)
                    fault(start + 3, "ESC B time " + byteText(c.peek(3)) + " is not 1 to 9");
                c.skip(4);
            } else {
                fault(start + 1, "unknown ESC sequence ESC " + byteText(cmd));
            }
        } else if (b == 0x1D) {
            if (c.left() < 2) fault(start + 1, "stream ends inside a GS sequence");
            uint8_t cmd = c.peek(1);
            if (cmd == 0x56) {  // GS V m [n]: cut
                if (c.left() < 3) fault(start + c.left(), "stream ends inside GS V");
                uint8_t m = c.peek(2);
                if (m == 0 || m == 1 || m == 0x30 || m == 0x31)
                    c.skip(3);
                else if (m == 0x41 || m == 0x42) {
                    if (c.left() < 4) fault(start + c.left(), "stream ends inside GS V");
                    c.skip(4);
                } else {
                    fault(start + 2, "GS V cut mode " + byteText(m) + " is unknown");
                }
            } else if (cmd == 0x76) {  // GS v 0 m xL xH yL yH d...: raster bit image
                if (c.left() < 8) fault(start + c.left(), "stream ends inside the GS v 0 header");
                if (c.peek(2) != 0x30) fault(start + 2, "GS v " + byteText(c.peek(2)) + " is not GS v 0");
                uint8_t m = c.peek(3);
                if (m != 0 && m != 0x30)
                    fault(start + 3, "GS v 0 scale mode " + byteText(m) + " is not written by the filter (0 or '0')");
                Placement p;
                p.widthBytes = size_t(c.peek(4)) | size_t(c.peek(5)) << 8;
                p.rows = size_t(c.peek(6)) | size_t(c.peek(7)) << 8;
                c.skip(8);
                if (p.widthBytes == 0 && p.rows != 0) fault(start + 4, "GS v 0 raster of width 0 with rows");
                if (!open) open = true;
                p.x = 0;
                p.y = y;
                if (p.widthBytes > 0) page.checkSize(p.widthBytes, p.rows, start + 4);
                p.bits = takeBytes(c, p.widthBytes * p.rows, "GS v 0 raster data");
                y += static_cast<long long>(p.rows);
                page.place(std::move(p), start);  // an empty raster still sets the width
            } else {
                fault(start + 1, "unknown GS sequence GS " + byteText(cmd));
            }
        } else {
            fault(start, "unexpected byte " + byteText(b) + " in an ESC/POS stream");
        }
    }
    endPage();
}

}  // namespace

std::string RenderResult::message() const { return "offset " + std::to_string(errorOffset) + ": " + error; }

Format detectFormat(const uint8_t *data, size_t size) {
    auto starts = [&](const char *text) {
        size_t n = std::strlen(text);
        return size >= n && std::memcmp(data, text, n) == 0;
    };
    if (size == 0) return Format::Auto;
    if (starts("^^XX")) return Format::SfZpl;
    if (starts("^XA") || starts("~")) return Format::Zpl;
    if (starts("! ")) return Format::Cpcl;
    if (starts("SIZE ") || starts("CLS") || starts("SETCOLOR") || starts("BITMAP")) return Format::Tspl;
    if (data[0] == 0x1B || data[0] == 0x1D || data[0] == 0x00) return Format::EscPos;
    return Format::Auto;
}

RenderResult renderStream(const uint8_t *data, size_t size, Format format) {
    RenderResult result;
    try {
        Format f = format;
        if (f == Format::Auto) {
            f = detectFormat(data, size);
            if (f == Format::Auto)
                fault(0, size == 0 ? "empty stream: the format cannot be told (name it)"
                                   : "the first bytes belong to no known printer language (name the format)");
        }
        Cursor c(data, size);
        switch (f) {
            case Format::Tspl:
                renderTspl(c, format == Format::Auto ? Format::Auto : Format::Tspl, result);
                break;
            case Format::TwoColorTspl:
                renderTspl(c, Format::TwoColorTspl, result);
                break;
            case Format::Zpl:
                renderZpl(c, false, result);
                break;
            case Format::SfZpl:
                renderZpl(c, true, result);
                break;
            case Format::Cpcl:
                renderCpcl(c, result);
                break;
            case Format::EscPos:
                renderEscPos(c, result);
                break;
            case Format::Auto:
                break;
        }
        result.ok = true;
    } catch (const StreamFault &f) {
        result.ok = false;
        result.errorOffset = f.offset;
        result.error = f.reason;
    } catch (const std::bad_alloc &) {
        result.ok = false;
        result.errorOffset = 0;
        result.error = "out of memory";
    }
    return result;
}

RenderResult renderStream(const std::vector<uint8_t> &data, Format format) {
    return renderStream(data.data(), data.size(), format);
}

const char *formatName(Format format) {
    switch (format) {
        case Format::Auto:
            return "auto";
        case Format::Tspl:
            return "tspl";
        case Format::TwoColorTspl:
            return "tspl2";
        case Format::Zpl:
            return "zpl";
        case Format::SfZpl:
            return "sfzpl";
        case Format::Cpcl:
            return "cpcl";
        case Format::EscPos:
            return "escpos";
    }
    return "?";
}

bool parseFormatName(const std::string &name, Format &format) {
    for (Format f :
         {Format::Auto, Format::Tspl, Format::TwoColorTspl, Format::Zpl, Format::SfZpl, Format::Cpcl, Format::EscPos}) {
        if (name == formatName(f)) {
            format = f;
            return true;
        }
    }
    return false;
}

}  // namespace zvrender
