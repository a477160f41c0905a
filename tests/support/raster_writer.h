// Builds real CUPS raster streams with libcupsimage's writer.
#ifndef ZV_TESTS_SUPPORT_RASTER_WRITER_H
#define ZV_TESTS_SUPPORT_RASTER_WRITER_H

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zvtest {

struct RasterPage {
    unsigned width = 0;       // pixels
    unsigned height = 0;      // rows
    unsigned colorSpace = 0;  // CUPS_CSPACE_W (0), CUPS_CSPACE_RGB (1) or CUPS_CSPACE_RGBA (2)
    unsigned dpi = 203;
    unsigned numCopies = 1;
    std::vector<uint8_t> pixels;  // width * channels bytes per row, rows top to bottom
    // When nonzero, only this many rows of `pixels` are written although the
    // header announces `height` (a stream cut short).
    unsigned rowsToWrite = 0;

    static RasterPage gray(unsigned width, unsigned height, uint8_t value = 255);
    static RasterPage rgba(unsigned width, unsigned height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
    unsigned channels() const;
    uint8_t *row(unsigned y) { return pixels.data() + static_cast<size_t>(y) * width * channels(); }
    void set(unsigned x, unsigned y, uint8_t value) { row(y)[x * channels()] = value; }
    void fillRect(unsigned x, unsigned y, unsigned w, unsigned h, uint8_t value);
};

// The header libcupsimage writes for `page` (8 bits per colour, chunky).
cups_page_header2_t headerFor(const RasterPage &page);

// A complete raster stream holding every page.
std::vector<uint8_t> makeRaster(const std::vector<RasterPage> &pages, bool compressed = true);

// An uncompressed (version 3) stream made by hand from raw headers and raw pixel
// bytes, for headers that libcupsimage's writer would not produce.
std::vector<uint8_t> rawRaster(const std::vector<std::pair<cups_page_header2_t, std::vector<uint8_t>>> &pages);

// The four sync bytes that start a compressed (version 2) stream, for streams
// assembled by hand from compressed pages.
std::vector<uint8_t> compressedSync();

// One compressed raster page (header and rows, no sync word) of `rows`
// identical rows of `pixel` (1 byte for gray, 4 for RGBA), written by hand so
// that a page far beyond what memory allows costs only a few kilobytes.
std::vector<uint8_t> uniformRasterPage(unsigned width, unsigned rows, const std::vector<uint8_t> &pixel);

}  // namespace zvtest

#endif
