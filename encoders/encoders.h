// Entry points of the command-language encoders. Each turns one page of the
// page loop into a new dynamic_array holding that page's complete printer data
// (the caller writes and releases it), or returns nullptr when the page cannot
// be encoded, in which case nothing is sent for it.
#ifndef ZV_ENCODERS_ENCODERS_H
#define ZV_ENCODERS_ENCODERS_H

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

dynamic_array *getTSPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getCPCLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getESCPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getSFZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);
dynamic_array *getTSPLTwoColorPrintData(unsigned char *page, long bytesPerLine, long width, long height,
                                        PrinterSettings *settings);

#endif
