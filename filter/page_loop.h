// The page loop: reads CUPS raster pages, hands each to the encoder the device
// type selects and writes the printer data to standard output.
#ifndef ZV_FILTER_PAGE_LOOP_H
#define ZV_FILTER_PAGE_LOOP_H

#include <cups/file.h>

#include "core/printer_settings.h"

// Runs the page loop over an opened raster input; returns 0.
int print_bitmap(PrinterSettings *settings, cups_file_t *input);

// Same, on a raw file descriptor (used by the fuzz targets).
int print_bitmap_fd(PrinterSettings *settings, int fd);

// ESC/POS job prologue and epilogue, written straight to standard output.
void setupJobStart(PrinterSettings *settings);
void setupJobEnd(PrinterSettings *settings);

// Clips the page to the maximum printable width in place, keeping the left edge.
// `bytesPerPixel` is the page buffer's pixel size.
void subImageLessthenMaxPrintWidthMM(unsigned char *page, long *width, long height, PrinterSettings *settings,
                                     int bytesPerPixel);

// Writes all bytes to standard output, retrying short writes.
void writePrinterData(const uint8_t *bytes, uint64_t count);

// Largest page buffer the loop will allocate; bigger pages are skipped.
inline constexpr uint64_t kMaxPageBufferBytes = 256ull * 1024 * 1024;

// The limit in force (kMaxPageBufferBytes unless set). Only the fuzz targets
// lower it, so that an input declaring a huge page costs little time there.
uint64_t getMaxPageBufferBytes();
void setMaxPageBufferBytes(uint64_t bytes);

#endif
