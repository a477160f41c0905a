// Print driver of the maker's packet-protocol models (device types 0 to 12).
//
// For every page: the model's package length, the setting packets (paper
// type, silent mode or print speed, darkness, interface), the page scaled onto
// the model's printable area and padded to whole bytes, converted to dots by
// the route the print mode selects, the image packets, and the model's feed.
#ifndef ZV_PROTOCOL_PRINT_PROTOCOL_PRINT_H
#define ZV_PROTOCOL_PRINT_PROTOCOL_PRINT_H

#include <cstdint>

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// Turns one gray page (0 black, 255 white, width x height bytes, rows without
// padding; not changed) into the model's packet stream, owned by the caller.
// nullptr when nothing of the page can be sent: the page is too large, a
// buffer cannot be allocated, its conversion to dots fails, or an encrypting
// printer has no AES key and initial vector. The reason is on standard error
// as "ERROR: ..." and in the log; no setting or feed packet goes out alone,
// so the printer does not feed a blank page.
dynamic_array *getZVProtocolPrintData(unsigned char *page, long width, long height, PrinterSettings *settings,
                                      int32_t deviceType);

// Whether the job's printer can be sent anything at all: false, with
// "ERROR: ..." on standard error, for an encrypting printer (ODM printer type
// 163) whose PPD gives no valid AES key and initial vector.
bool zvProtocolJobCanPrint();

// What getZVProtocolPrintData does with a page: the setting the route runs
// with (grayType) and whether the threshold is set, by print mode.
struct ProtocolRoute {
    uint32_t grayType;
    bool setsThreshold;  // setThreshold(222) before the conversion
};
ProtocolRoute protocolRouteFor(int16_t printMode, int16_t positioningMode);

#endif
