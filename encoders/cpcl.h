// CPCL label encoder (DeviceType 163).
#ifndef ZV_ENCODERS_CPCL_H
#define ZV_ENCODERS_CPCL_H

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// One complete CPCL label for a gray page of `width` (a multiple of 8) by
// `height` pixels: header, page width, media and darkness settings, one EG
// (hexadecimal) or CG (binary) graphic, FORM and PRINT. Returns a new array the
// caller writes and releases, or nullptr (with "ERROR: ..." on standard error)
// when the page cannot be encoded.
dynamic_array *getCPCLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);

#endif
