// The page buffer of the page loop against raster headers whose row size, row
// count, colour space and bits per pixel disagree with each other.
//
// Unlike page_loop_fuzz this target keeps the filter's own page limit and the
// sanitizer's allocator as they are: the header is built from a few input
// bytes with the row size and row count kept small, so no input can ask libcups
// or the filter for a huge block, and no allocation cap or lowered limit can
// hide a row read past the buffer.
//
// Input layout: byte 0 printer type and print mode, byte 1 colour space,
// bytes 2-3 bytes per line (1 to 4096), byte 4 rows (1 to 256), byte 5 bits
// per pixel and stream version; everything after is the pixel data (plain
// rows, or run-length rows for the compressed version).
#include <cups/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/printer_settings.h"
#include "filter/page_loop.h"
#include "fuzz/fuzz_start.h"

namespace {

constexpr int32_t kDeviceTypes[8] = {161, 162, 163, 164, 191, 193, 1, 150};
constexpr int16_t kPrintModes[4] = {0, 3, 6, 8};
constexpr uint32_t kColorSpaces[4] = {CUPS_CSPACE_W, CUPS_CSPACE_RGB, CUPS_CSPACE_RGBA, CUPS_CSPACE_K};
constexpr unsigned kBitsPerPixel[4] = {8, 16, 24, 32};
constexpr size_t kHeaderBytes = 6;

int gInputFd = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    zvfuzz::startPageLoopTarget();
    gInputFd = zvfuzz::memoryFile("raster");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < kHeaderBytes) return 0;
    const uint8_t select = data[0], space = data[1], depth = data[5];

    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    header.cupsBytesPerLine = 1u + ((data[2] | static_cast<unsigned>(data[3]) << 8) & 0xFFF);
    header.cupsHeight = 1u + data[4];
    header.cupsWidth = header.cupsBytesPerLine;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = kBitsPerPixel[depth & 3];
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.HWResolution[0] = header.HWResolution[1] = 203;
    header.NumCopies = 1;
    // Any 32-bit number, as a hostile stream may hold: the listed spaces mostly,
    // the raw byte otherwise.
    const uint32_t colorSpace = (space & 0x80) != 0 ? space : kColorSpaces[space & 3];
    std::memcpy(&header.cupsColorSpace, &colorSpace, sizeof colorSpace);

    resetPrinterGlobals();
    setDeviceType(kDeviceTypes[select & 7]);
    PrinterSettings settings{};
    settings.printMode = kPrintModes[(select >> 3) & 3];
    settings.isCompressie = (select >> 5) & 1;
    settings.maxWidthMM = (select & 0x40) != 0 ? 10 : -1;
    settings.resolution = 203;
    settings.mediaTracking = 255;
    settings.noCompressieLimit = 300000;
    settings.compressieLimit = 64000;

    const uint32_t sync = (depth & 4) != 0 ? CUPS_RASTER_SYNCv2 : CUPS_RASTER_SYNC;
    zvfuzz::emptyFile(gInputFd);
    zvfuzz::writeAll(gInputFd, &sync, sizeof sync);
    zvfuzz::writeAll(gInputFd, &header, sizeof header);
    zvfuzz::writeAll(gInputFd, data + kHeaderBytes, size - kHeaderBytes);
    zvfuzz::rewindFile(gInputFd);
    print_bitmap_fd(&settings, gInputFd);
    return 0;
}
