// Reads a printer stream written by rastertozorvan back into pages of dots.
// One reader per printer language (tools/render/<language>.cpp) on the
// cursor and page builder of tools/render/stream.h.
//
// Used by the zvrender preview tool and by the tests, which check that what
// the filter sends is the page that went in. The reader is written
// independently of the encoders (its own Base64, CRC-16 and inflate checks) so
// that a fault in an encoder does not hide itself in the check. It is strict:
// the first byte that does not belong to the stream the filter is meant to
// write ends the reading with that byte's offset and a reason.
#ifndef ZV_TOOLS_RENDER_RENDER_H
#define ZV_TOOLS_RENDER_RENDER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zvrender {

enum class Format {
    Auto,          // tell from the first bytes
    Tspl,          // TSPL, one colour
    TwoColorTspl,  // TSPL with SETCOLOR BLACK / SETCOLOR RED planes
    Zpl,
    SfZpl,  // ZPL with the "^^XX" prefix line before every label
    Cpcl,
    EscPos,
    Protocol,  // the maker's packet protocol (protocol models 0 to 12)
};

// What the stream itself cannot tell the reader.
struct RenderOptions {
    // AES-128 key and CBC initial vector of an encrypting protocol printer
    // (ODM printer type 163), as its PPD gives them.
    bool haveAesKey = false;
    std::array<uint8_t, 16> aesKey{};
    std::array<uint8_t, 16> aesIv{};
};

// One rendered page. Dots are one byte each, row after row, 1 = printed dot.
// The page spans from dot (0, 0) to the label size the stream declares (ZPL
// ^PW/^LL, CPCL PW and header height) or, when larger or undeclared, to the
// far edge of the furthest bitmap. Dots placed at negative positions are off
// the label and are dropped. A protocol page is the model's page as it was
// sent: its rows' width and as many rows as the image carries.
struct RenderedPage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> black;  // width * height
    std::vector<uint8_t> red;    // width * height for two-colour TSPL, else empty

    bool hasRed() const { return !red.empty(); }
    uint8_t dot(int x, int y) const { return black[static_cast<size_t>(y) * width + x]; }
    uint8_t redDot(int x, int y) const { return red[static_cast<size_t>(y) * width + x]; }
};

struct RenderResult {
    bool ok = false;
    Format format = Format::Auto;     // the format read (never Auto when ok)
    std::vector<RenderedPage> pages;  // complete pages, also those before a fault
    size_t errorOffset = 0;           // byte offset of the fault when !ok
    std::string error;                // reason when !ok

    // "offset N: reason"
    std::string message() const;
};

// Largest page the reader builds, in dots (width * height); a stream that
// asks for more is reported as malformed instead of exhausting memory.
constexpr uint64_t kMaxPageDots = uint64_t(1) << 28;
constexpr int kMaxPageSide = 1 << 20;

RenderResult renderStream(const uint8_t *data, size_t size, Format format = Format::Auto,
                          const RenderOptions &options = RenderOptions());
RenderResult renderStream(const std::vector<uint8_t> &data, Format format = Format::Auto,
                          const RenderOptions &options = RenderOptions());

// The format the first bytes announce, or Auto when they announce none.
// TSPL is reported as Tspl; a SETCOLOR later in the stream makes the
// renderer report TwoColorTspl.
Format detectFormat(const uint8_t *data, size_t size);

// "tspl", "tspl2", "zpl", "sfzpl", "cpcl", "escpos", "protocol", "auto".
const char *formatName(Format format);
bool parseFormatName(const std::string &name, Format &format);
// Every name parseFormatName takes, "tspl|tspl2|...|auto", for usage lines.
std::string formatNames();

// Writes the page as a PNG: 1-bit gray (black dots on white) for one-colour
// pages; for two-colour pages a palette image with black, red, and dark red
// where both planes carry a dot. A page without dots in one direction is
// written as a single white dot. Returns false and sets `error` on failure.
bool writePagePng(const RenderedPage &page, const std::string &path, std::string &error);

}  // namespace zvrender

#endif
