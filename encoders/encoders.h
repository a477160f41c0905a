// Entry points of the command-language encoders, one per printer language and
// each declared only here. Each turns one gray page of the page loop (`width`
// pixels, a multiple of 8, by `height` rows, row pitch `width`) into a new
// dynamic_array holding that page's complete printer data (the caller writes
// and releases it), or returns nullptr, with "ERROR: ..." on standard error,
// when the page cannot be encoded; nothing is sent for it then.
//
// Every language file has the same shape on encoders/encoder_support.h; a new
// language is a copy of one of them (cpcl.cpp is the shortest), its entry
// point here and its DeviceType in the page dispatch.
#ifndef ZV_ENCODERS_ENCODERS_H
#define ZV_ENCODERS_ENCODERS_H

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// In tspl.cpp, zpl.cpp, cpcl.cpp, escpos.cpp and sf_zpl.cpp.
dynamic_array *getTSPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getCPCLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getESCPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getSFZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);

// In tspl_two_color.cpp: an RGBA page (row pitch 4 * width) of which each
// raster row held bytesPerLine bytes.
dynamic_array *getTSPLTwoColorPrintData(unsigned char *page, long bytesPerLine, long width, long height,
                                        PrinterSettings *settings);

#endif
