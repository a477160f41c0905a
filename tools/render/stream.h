// What every language reader of zvrender shares: the cursor that walks the
// stream and stops at the first byte that does not belong to it, the
// parameter checks, and the page builder that lays the bitmaps on a label.
//
// A reader never returns a fault: it calls fault(), which throws, and
// renderStream turns the throw into the result with the byte's offset.
#ifndef ZV_TOOLS_RENDER_STREAM_H
#define ZV_TOOLS_RENDER_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tools/render/render.h"

namespace zvrender {

struct StreamFault {
    size_t offset;
    std::string reason;
};

[[noreturn]] void fault(size_t offset, std::string reason);

// 'A' (0x41) for a printable byte, 0x1B for any other.
std::string byteText(uint8_t b);

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
    // Consumes `text` or faults at the first byte that differs.
    void expect(std::string_view text, const char *what);

    // The text up to the next CR LF, which is consumed. Lines the filter
    // writes are short; a long one means the stream lost its way.
    std::string_view line(size_t maxLength = 4096);

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// `count` bytes taken from the cursor, or a fault when the stream is shorter.
std::vector<uint8_t> takeBytes(Cursor &c, size_t count, const std::string &what);

// ---- numbers and parameters ------------------------------------------------

constexpr long long kNumberLimit = 1000000000LL;

// A decimal integer with an optional sign, nothing else, at most kNumberLimit.
bool parseInt(std::string_view text, long long &value);
// A decimal number: optional sign, digits, optional fraction.
bool isDecimal(std::string_view text);
std::string_view trim(std::string_view text);

// One parameter of a list with the absolute offset of its first byte.
struct Param {
    std::string_view text;
    size_t offset;
};

// "a,b,c" split at `separator`, every part trimmed of blanks.
std::vector<Param> splitParams(std::string_view text, size_t offset, char separator);
void checkCount(const std::vector<Param> &params, size_t lo, size_t hi, size_t offset, const std::string &command);
long long intParam(const Param &p, const std::string &what, long long lo = -kNumberLimit, long long hi = kNumberLimit);
void decimalParam(const Param &p, const std::string &what);

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
    void declare(long long width, long long height, size_t offset);

    // Checks the bitmap's size before its bytes are read or inflated.
    void checkSize(size_t widthBytes, size_t rows, size_t offset) const;

    void place(Placement p, size_t offset);

    // TSPL CLS: the image buffer starts white again.
    void clear() { placements_.clear(); }

    // The page with every placement drawn; the builder starts over.
    RenderedPage finish(bool withRed);

  private:
    void grow(long long right, long long bottom, size_t offset);

    long long width_ = 0, height_ = 0;
    long long declaredW_ = 0, declaredH_ = 0;
    std::vector<Placement> placements_;
};

// ---- the language readers --------------------------------------------------

// One printer language: its --format name, whether a stream's first bytes
// announce it (nullptr: never told from the bytes, only by name), and its
// reader. The reader takes the whole stream from the cursor into
// result.pages and sets result.format; `named` says the user chose the
// format instead of having it detected; `options` carry what the stream
// itself cannot tell (the key of an encrypted stream).
struct Language {
    Format format;
    const char *name;
    bool (*announces)(const Cursor &c);
    void (*read)(Cursor &c, Format format, bool named, const RenderOptions &options, RenderResult &result);
};

// Each defined in tools/render/<language>.cpp; listed in render.cpp.
extern const Language kTsplLanguage;
extern const Language kTwoColorTsplLanguage;
extern const Language kZplLanguage;
extern const Language kSfZplLanguage;
extern const Language kCpclLanguage;
extern const Language kEscPosLanguage;
extern const Language kProtocolLanguage;

}  // namespace zvrender

#endif
