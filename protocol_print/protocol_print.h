// Print driver of the maker's packet-protocol models (device types 0 to 12).
#ifndef ZV_PROTOCOL_PRINT_PROTOCOL_PRINT_H
#define ZV_PROTOCOL_PRINT_PROTOCOL_PRINT_H

#include <cstdint>

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// Turns one gray page into the model's packet stream; nullptr sends nothing.
dynamic_array *getZVProtocolPrintData(unsigned char *page, long width, long height, PrinterSettings *settings,
                                      int32_t deviceType);

#endif
