// PNG output of a rendered page (libpng).
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include "tools/render/render.h"

namespace zvrender {
namespace {

struct FileCloser {
    void operator()(FILE *f) const {
        if (f) std::fclose(f);
    }
};

// The rows, outside the function that holds the setjmp so that no local of
// that frame changes after it.
void writeRows(png_structp png, const RenderedPage &page, png_uint_32 width, png_uint_32 height, bool colour,
               bool empty, std::vector<png_byte> &row) {
    for (png_uint_32 y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (png_uint_32 x = 0; x < width; ++x) {
            if (colour) {
                unsigned v = 0;
                if (!empty) {
                    bool b = page.dot(static_cast<int>(x), static_cast<int>(y)) != 0;
                    bool r = page.redDot(static_cast<int>(x), static_cast<int>(y)) != 0;
                    v = r ? (b ? 3 : 2) : (b ? 1 : 0);
                }
                row[x >> 2] |= static_cast<png_byte>(v << (6 - 2 * (x & 3)));
            } else {
                bool white = empty || page.dot(static_cast<int>(x), static_cast<int>(y)) == 0;
                if (white) row[x >> 3] |= static_cast<png_byte>(0x80 >> (x & 7));
            }
        }
        png_write_row(png, row.data());
    }
}

// The libpng calls, in a frame of their own that holds the setjmp and no
// C++ object (the row buffer is the caller's, so a longjmp leaks nothing).
bool encodePng(FILE *file, const RenderedPage &page, png_uint_32 width, png_uint_32 height, bool colour, bool empty,
               std::vector<png_byte> &row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    if (colour) {
        // 0 white, 1 black, 2 red, 3 dark red (both planes).
        png_color palette[4] = {{255, 255, 255}, {0, 0, 0}, {220, 0, 0}, {110, 0, 0}};
        png_set_IHDR(png, info, width, height, 2, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, palette, 4);
    } else {
        // 1-bit gray: 0 black, 1 white.
        png_set_IHDR(png, info, width, height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
    }
    png_write_info(png, info);
    writeRows(png, page, width, height, colour, empty, row);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePagePng(const RenderedPage &page, const std::string &path, std::string &error) {
    // PNG has no empty images: a page without dots in one direction is shown
    // as one white dot.
    const bool empty = page.width <= 0 || page.height <= 0;
    const png_uint_32 width = empty ? 1 : static_cast<png_uint_32>(page.width);
    const png_uint_32 height = empty ? 1 : static_cast<png_uint_32>(page.height);
    const bool colour = page.hasRed();

    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    // One row buffer, allocated outside the frame that holds the setjmp.
    std::vector<png_byte> row((static_cast<size_t>(width) * (colour ? 2 : 1) + 7) / 8);
    if (!encodePng(file.get(), page, width, height, colour, empty, row)) {
        error = "libpng failed writing " + path;
        return false;
    }
    if (std::fclose(file.release()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace zvrender
