// What every front end does with one page once its pixels are in a buffer:
// the per-page settings, the width clip, the page size in millimetres and the
// one encoder the device type selects. The CUPS filter's page loop and the
// printer application both go through here, so a page prints byte for byte
// the same from either.
#ifndef ZV_PAGE_PAGE_ENCODE_H
#define ZV_PAGE_PAGE_ENCODE_H

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// The settings every page resets: one copy per page (the front end repeats the
// job for more), and the automatic print mode resolved for the printer family.
void applyPageSettings(PrinterSettings *settings);

// The print mode a page of `deviceType` is encoded in: print mode 5
// (automatic) resolved for the printer family, any other mode as it is.
int16_t resolvedPrintMode(int16_t printMode, int32_t deviceType);

// Widest page the language printers print, in pixels (maxWidthMM at the
// resolution, rounded up to whole bytes); 0 when there is no limit.
long maxPrintWidthPixels(const PrinterSettings *settings);

// Clips the page to the maximum printable width in place, keeping the left edge.
// `bytesPerPixel` is the page buffer's pixel size.
void subImageLessthenMaxPrintWidthMM(unsigned char *page, long *width, long height, PrinterSettings *settings,
                                     int bytesPerPixel);

// The language printers' pages cut to the printable width (protocol models
// scale instead), with the two log lines around it.
void clipPageWidth(unsigned char *page, long *width, long height, PrinterSettings *settings, int bytesPerPixel);

// The page in whole millimetres, rounded up, at `dpi`.
void setPageSizes(PrinterSettings *settings, long width, long height, double dpi);

// The page as the raster described it: colour space, bytes of one raster row
// and the pixels the picture covers (the buffer rows may be wider, padded
// white to whole bytes).
struct PageSource {
    unsigned colorSpace = 0;
    int bytesPerPixel = 1;
    long bytesPerLine = 0;
    long pictureWidth = 0;
};

// The one encoder the device type selects, on a page of `width` x `height`
// pixels of the source's size; nullptr sends nothing for the page.
dynamic_array *encodePage(unsigned char *page, long width, long height, const PageSource &source,
                          PrinterSettings *settings);

// The ESC/POS job prologue and epilogue (initialise, beeper, cash drawer,
// cut); nullptr for every other printer family, which has none.
dynamic_array *buildJobPrologue(const PrinterSettings *settings);
dynamic_array *buildJobEpilogue(const PrinterSettings *settings);

#endif
