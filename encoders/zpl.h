// ZPL label encoder (DeviceType 162) and the shared page builder of the SF ZPL
// variant (DeviceType 191).
#ifndef ZV_ENCODERS_ZPL_H
#define ZV_ENCODERS_ZPL_H

#include <cstdint>

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// One complete ZPL format for a gray page of `width` (a multiple of 8) by
// `height` pixels: label setup, one ^GFA graphic field (hexadecimal, or
// zlib-compressed Base64 ":Z64:" bands with a CRC-16 each when isCompressie is
// 1), quantity and end. Returns a new array the caller writes and releases, or
// nullptr (with "ERROR: ..." on standard error) when the page cannot be encoded.
dynamic_array *getZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);

// Appends the compressed graphic fields of a packed bitmap (widthBytes bytes per
// row, `height` rows) to `array`, one ^FO/^GFA pair per band, each band under
// both band limits of the settings. Returns 0, or 2 when zlib fails (reported on
// standard error; the caller drops the page). Throws std::bad_alloc when a work
// buffer cannot be allocated.
int ZPL_Zlib_CutImage(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                      const PrinterSettings *settings);

// Upper-case hexadecimal digit of 0..15; "0" for anything larger.
char charToHex(unsigned value);

namespace zvenc {

// The ZPL page of getZPLPrintData behind `prefix` (empty for plain ZPL), as a
// finished and dumped page; `language` names the printer in error messages.
dynamic_array *encodeZPLPage(const char *language, const char *prefix, unsigned char *page, long width, long height,
                             PrinterSettings *settings);

}  // namespace zvenc

#endif
