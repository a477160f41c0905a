// ZPL variant of the printers sold under the model name "ZV_SF_ZPL"
// (DeviceType 191): every page is an ordinary ZPL format behind a "^^XX" line.
#ifndef ZV_ENCODERS_SF_ZPL_H
#define ZV_ENCODERS_SF_ZPL_H

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// "^^XX\r\n" followed by exactly what getZPLPrintData produces for the page.
// Same arguments and contract as getZPLPrintData.
dynamic_array *getSFZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings);

#endif
