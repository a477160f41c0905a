#include "tools/render/stream.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zvrender {

void fault(size_t offset, std::string reason) { throw StreamFault{offset, std::move(reason)}; }

std::string byteText(uint8_t b) {
    char text[16];
    if (b >= 0x20 && b < 0x7F)
        std::snprintf(text, sizeof text, "'%c' (0x%02X)", b, b);
    else
        std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

// ---- cursor ----------------------------------------------------------------

void Cursor::expect(std::string_view text, const char *what) {
    if (consume(text)) return;
    // Point at the first byte that differs.
    size_t i = 0;
    while (i < text.size() && pos_ + i < size_ && data_[pos_ + i] == static_cast<uint8_t>(text[i])) ++i;
    if (pos_ + i >= size_) fault(pos_ + i, std::string("stream ends where ") + what + " is expected");
    fault(pos_ + i, std::string("expected ") + what + ", found " + byteText(data_[pos_ + i]));
}

std::string_view Cursor::line(size_t maxLength) {
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

std::vector<uint8_t> takeBytes(Cursor &c, size_t count, const std::string &what) {
    if (c.left() < count)
        fault(c.pos(), what + " needs " + std::to_string(count) + " bytes, the stream has " + std::to_string(c.left()) +
                           " left");
    std::vector<uint8_t> bytes(c.here(), c.here() + count);
    c.skip(count);
    return bytes;
}

// ---- numbers and parameters ------------------------------------------------

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

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

long long intParam(const Param &p, const std::string &what, long long lo, long long hi) {
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

// ---- page assembly ---------------------------------------------------------

void PageBuilder::declare(long long width, long long height, size_t offset) {
    declaredW_ = std::max<long long>(0, width);
    declaredH_ = std::max<long long>(0, height);
    grow(declaredW_, declaredH_, offset);
}

void PageBuilder::checkSize(size_t widthBytes, size_t rows, size_t offset) const {
    uint64_t w = uint64_t(widthBytes) * 8;
    if (w > uint64_t(kMaxPageSide) || rows > uint64_t(kMaxPageSide) || w * rows > kMaxPageDots)
        fault(offset, "bitmap of " + std::to_string(w) + " x " + std::to_string(rows) + " dots is too large");
}

void PageBuilder::place(Placement p, size_t offset) {
    grow(p.x + static_cast<long long>(p.widthBytes) * 8, p.y + static_cast<long long>(p.rows), offset);
    placements_.push_back(std::move(p));
}

RenderedPage PageBuilder::finish(bool withRed) {
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

void PageBuilder::grow(long long right, long long bottom, size_t offset) {
    long long w = std::max(width_, right), h = std::max(height_, bottom);
    if (w > kMaxPageSide || h > kMaxPageSide || uint64_t(w) * uint64_t(h) > kMaxPageDots)
        fault(offset, "page of " + std::to_string(w) + " x " + std::to_string(h) + " dots is too large");
    width_ = w;
    height_ = h;
}

}  // namespace zvrender
