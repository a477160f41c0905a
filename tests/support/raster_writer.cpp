#include "tests/support/raster_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zvtest {

RasterPage RasterPage::gray(unsigned width, unsigned height, uint8_t value) {
    RasterPage page;
    page.width = width;
    page.height = height;
    page.colorSpace = CUPS_CSPACE_W;
    page.pixels.assign(static_cast<size_t>(width) * height, value);
    return page;
}

RasterPage RasterPage::rgba(unsigned width, unsigned height, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    RasterPage page;
    page.width = width;
    page.height = height;
    page.colorSpace = CUPS_CSPACE_RGBA;
    page.pixels.resize(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < page.pixels.size(); i += 4) {
        page.pixels[i] = r;
        page.pixels[i + 1] = g;
        page.pixels[i + 2] = b;
        page.pixels[i + 3] = a;
    }
    return page;
}

unsigned RasterPage::channels() const {
    switch (colorSpace) {
        case CUPS_CSPACE_RGB:
            return 3;
        case CUPS_CSPACE_RGBA:
            return 4;
        default:
            return 1;
    }
}

void RasterPage::fillRect(unsigned x, unsigned y, unsigned w, unsigned h, uint8_t value) {
    for (unsigned yy = y; yy < y + h && yy < height; ++yy)
        for (unsigned xx = x; xx < x + w && xx < width; ++xx)
            for (unsigned c = 0; c < channels(); ++c) row(yy)[xx * channels() + c] = value;
}

cups_page_header2_t headerFor(const RasterPage &page) {
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    std::strcpy(header.MediaClass, "PwgRaster");
    header.HWResolution[0] = page.dpi;
    header.HWResolution[1] = page.dpi;
    header.NumCopies = page.numCopies;
    header.cupsWidth = page.width;
    header.cupsHeight = page.height;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 8 * page.channels();
    header.cupsBytesPerLine = page.width * page.channels();
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = static_cast<cups_cspace_t>(page.colorSpace);
    header.cupsNumColors = page.channels();
    header.PageSize[0] = page.width * 72 / (page.dpi ? page.dpi : 72);
    header.PageSize[1] = page.height * 72 / (page.dpi ? page.dpi : 72);
    return header;
}

namespace {
std::vector<uint8_t> slurp(FILE *file) {
    std::vector<uint8_t> bytes;
    std::rewind(file);
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}
}  // namespace

std::vector<uint8_t> makeRaster(const std::vector<RasterPage> &pages, bool compressed) {
    FILE *file = std::tmpfile();
    if (file == nullptr) throw std::runtime_error("tmpfile failed");
    cups_raster_t *raster = cupsRasterOpen(fileno(file), compressed ? CUPS_RASTER_WRITE_COMPRESSED : CUPS_RASTER_WRITE);
    if (raster == nullptr) throw std::runtime_error("cupsRasterOpen failed");
    for (const RasterPage &page : pages) {
        cups_page_header2_t header = headerFor(page);
        if (!cupsRasterWriteHeader2(raster, &header)) throw std::runtime_error("cupsRasterWriteHeader2 failed");
        const unsigned rows = page.rowsToWrite ? page.rowsToWrite : page.height;
        const size_t rowBytes = header.cupsBytesPerLine;
        for (unsigned y = 0; y < rows; ++y) {
            auto *row = const_cast<unsigned char *>(page.pixels.data() + y * rowBytes);
            cupsRasterWritePixels(raster, row, static_cast<unsigned>(rowBytes));
        }
    }
    cupsRasterClose(raster);
    std::vector<uint8_t> bytes = slurp(file);
    std::fclose(file);
    return bytes;
}

std::vector<uint8_t> rawRaster(const std::vector<std::pair<cups_page_header2_t, std::vector<uint8_t>>> &pages) {
    // The sync word is written in host byte order, as libcupsimage does; the
    // letters in file order would tell the reader to swap every field. Version
    // 3 ("RaS3"): libcups reads a version 1 header as the short 420-byte
    // record, so the rest of a full header would be taken for pixel data.
    const uint32_t sync = CUPS_RASTER_SYNC;
    std::vector<uint8_t> out(reinterpret_cast<const uint8_t *>(&sync), reinterpret_cast<const uint8_t *>(&sync) + 4);
    for (const auto &[header, pixels] : pages) {
        const auto *h = reinterpret_cast<const uint8_t *>(&header);
        out.insert(out.end(), h, h + sizeof header);
        out.insert(out.end(), pixels.begin(), pixels.end());
    }
    return out;
}

std::vector<uint8_t> compressedSync() {
    const uint32_t sync = CUPS_RASTER_SYNCv2;
    return std::vector<uint8_t>(reinterpret_cast<const uint8_t *>(&sync), reinterpret_cast<const uint8_t *>(&sync) + 4);
}

std::vector<uint8_t> uniformRasterPage(unsigned width, unsigned rows, const std::vector<uint8_t> &pixel) {
    const bool rgba = pixel.size() == 4;
    cups_page_header2_t header = headerFor(rgba ? RasterPage::rgba(0, 0, 0, 0, 0) : RasterPage::gray(0, 0));
    header.cupsWidth = width;
    header.cupsHeight = rows;
    header.cupsBytesPerLine = width * static_cast<unsigned>(pixel.size());
    std::vector<uint8_t> out(reinterpret_cast<uint8_t *>(&header),
                             reinterpret_cast<uint8_t *>(&header) + sizeof header);
    for (unsigned done = 0; done < rows;) {
        const unsigned repeat = std::min(256u, rows - done);
        out.push_back(static_cast<uint8_t>(repeat - 1));
        for (unsigned x = 0; x < width;) {
            const unsigned run = std::min(128u, width - x);
            out.push_back(static_cast<uint8_t>(run - 1));  // run-1 repeats of the next pixel
            out.insert(out.end(), pixel.begin(), pixel.end());
            x += run;
        }
        done += repeat;
    }
    return out;
}

}  // namespace zvtest
