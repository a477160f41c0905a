// ESC/POS raster: GS v 0 images stacked down the roll, with the paper and
// device commands the filter writes around them.
#include <string>
#include <utility>
#include <vector>

#include "tools/render/stream.h"

namespace zvrender {
namespace {

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

bool announcesEscPos(const Cursor &c) {
    const uint8_t first = c.peek();
    return !c.atEnd() && (first == 0x1B || first == 0x1D || first == 0x00);
}

void readEscPos(Cursor &c, Format, bool, const RenderOptions &, RenderResult &result) { renderEscPos(c, result); }

}  // namespace

const Language kEscPosLanguage = {Format::EscPos, "escpos", announcesEscPos, readEscPos};

}  // namespace zvrender
