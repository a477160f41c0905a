// The page loop: reads CUPS raster pages, hands each to the encoder the device
// type selects and writes the printer data to standard output.
#ifndef ZV_FILTER_PAGE_LOOP_H
#define ZV_FILTER_PAGE_LOOP_H

#include <cups/file.h>

#include "core/printer_settings.h"
#include "page/page_encode.h"

// Runs the page loop over an opened raster input. Returns the job's exit
// status: 0 when pages were sent (or the job was cancelled), 1 with an
// "ERROR:" line when no page could be sent or the output could not be
// written (the loop then stops at once).
int print_bitmap(PrinterSettings *settings, cups_file_t *input);

// Same, on a raw file descriptor (used by the fuzz targets).
int print_bitmap_fd(PrinterSettings *settings, int fd);

// ESC/POS job prologue and epilogue, written straight to standard output;
// false when the output could not be written.
bool setupJobStart(PrinterSettings *settings);
bool setupJobEnd(PrinterSettings *settings);

// SIGTERM (CUPS cancelling the job) lets the page being written finish, sends
// no further page and still writes the job epilogue. Also ignores SIGPIPE, so
// a closed output is reported as a write error.
void installCancelHandler();
bool jobCancelRequested();
void resetJobCancel();

// Writes all bytes to standard output, retrying short writes; false, with
// "ERROR: ..." on standard error, when the output cannot be written.
bool writePrinterData(const uint8_t *bytes, uint64_t count);

// Largest page buffer the loop will allocate; bigger pages are skipped.
inline constexpr uint64_t kMaxPageBufferBytes = 256ull * 1024 * 1024;

// The limit in force (kMaxPageBufferBytes unless set). Only the fuzz targets
// lower it, so that an input declaring a huge page costs little time there.
uint64_t getMaxPageBufferBytes();
void setMaxPageBufferBytes(uint64_t bytes);

#endif
