// TSPL label encoder (DeviceType 161; getTSPLPrintData is declared in
// encoders/encoders.h) and the pieces of it the two-colour TSPL encoder sends
// too. The band size search (getCutImageLength) is the encoders' shared one,
// encoders/encoder_support.h.
#ifndef ZV_ENCODERS_TSPL_H
#define ZV_ENCODERS_TSPL_H

#include <cstdint>

#include "core/dynamic_array.h"
#include "core/printer_settings.h"
#include "encoders/encoder_support.h"
#include "encoders/encoders.h"

// Appends the packed bitmap (widthBytes * height bytes, already in printer
// polarity) as one or more compressed "BITMAP x,y,w,h,3,n," commands, bands top
// to bottom, each under both band limits of the settings. Returns 0, or 2 (with
// "ERROR: ..." on standard error) when the compression buffer cannot be
// allocated or zlib fails; the caller then drops the page, and what was
// appended so far must not be sent.
int TSPL_Zlib_CutImage(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                       const PrinterSettings *settings);

namespace zvenc {

// The setup lines every TSPL job starts with: SIZE, the media line chosen by
// mediaTracking (none for values other than 0, 1 and 2), SPEED, DENSITY and
// the fixed lines up to CLS.
void appendTSPLSetup(dynamic_array *array, const PrinterSettings *settings);

// Appends one packed bitmap at (horizontal, vertical): plain "BITMAP ...,0,"
// when isCompressie is not 1, otherwise the compressed bands. Returns false
// when zlib fails; throws std::bad_alloc when the compression buffer cannot be
// allocated.
bool appendTSPLBitmap(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                      const PrinterSettings *settings);

// "TSPL-isZlib" or "TSPL-notZlib" in the log, before the bitmaps of a page.
void logTSPLBitmapForm(const PrinterSettings *settings);

// A first capacity for the output array of a page of widthBytes * height
// packed bytes per bitmap.
uint64_t tsplPageCapacity(long widthBytes, long height, const PrinterSettings *settings);

}  // namespace zvenc

#endif
