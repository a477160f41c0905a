// ZPL label encoder (DeviceType 162; getZPLPrintData is declared in
// encoders/encoders.h) and the page builder it shares with the SF ZPL variant
// (DeviceType 191).
//
// getZPLPrintData gives one complete ZPL format for a gray page of `width` (a
// multiple of 8) by `height` pixels: label setup, one ^GFA graphic field
// (hexadecimal, or zlib-compressed Base64 ":Z64:" bands with a CRC-16 each when
// isCompressie is 1), quantity and end.
#ifndef ZV_ENCODERS_ZPL_H
#define ZV_ENCODERS_ZPL_H

#include "core/dynamic_array.h"
#include "core/printer_settings.h"
#include "encoders/encoders.h"

// Appends the compressed graphic fields of a packed bitmap (widthBytes bytes per
// row, `height` rows) to `array`, one ^FO/^GFA pair per band, each band under
// both band limits of the settings. Returns 0, or 2 (with "ERROR: ..." on
// standard error) when zlib fails or a work buffer cannot be allocated; the
// caller then drops the page.
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
