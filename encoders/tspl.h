// TSPL label encoder (getTSPLPrintData is declared in encoders/encoders.h) and
// the pieces of it the two-colour TSPL encoder sends too. The band size search
// (getCutImageLength) is the encoders' shared one, encoders/encoder_support.h.
#ifndef ZV_ENCODERS_TSPL_H
#define ZV_ENCODERS_TSPL_H

#include "core/dynamic_array.h"
#include "core/printer_settings.h"
#include "encoders/encoder_support.h"
#include "encoders/encoders.h"

// Appends the packed bitmap (widthBytes * height bytes, already in printer
// polarity) as one or more compressed "BITMAP x,y,w,h,3,n," commands, bands top
// to bottom, each under both band limits of the settings. Returns 0, or 2 when
// the compression buffer cannot be allocated or zlib fails (the caller then
// drops the page; what was appended so far must not be sent).
int TSPL_Zlib_CutImage(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                       const PrinterSettings *settings);

// The setup lines every TSPL job starts with: SIZE, the media line chosen by
// mediaTracking (none for values other than 0, 1 and 2), SPEED, DENSITY and
// the fixed lines up to CLS.
void appendTSPLSetup(dynamic_array *array, const PrinterSettings *settings);

// Appends one packed bitmap at (horizontal, vertical): plain "BITMAP ...,0,"
// when isCompressie is not 1, otherwise the compressed bands. Returns 0, or 2
// as TSPL_Zlib_CutImage does.
int appendTSPLBitmap(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                     const PrinterSettings *settings);

#endif
