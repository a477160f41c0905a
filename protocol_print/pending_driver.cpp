// The protocol models' driver has not been written yet: their pages are read
// but nothing is sent. Say so once per job, so the user does not take an empty
// job for a printed one.
#include <cstdio>

#include "core/debug_log.h"
#include "protocol_print/protocol_print.h"

dynamic_array *getZVProtocolPrintData(unsigned char *, long, long, PrinterSettings *, int32_t deviceType) {
    static bool told = false;
    if (!told) {
        told = true;
        std::fprintf(stderr,
                     "ERROR: Printing to packet-protocol printer model %d is not supported by this version of the "
                     "filter; nothing is sent to the printer\n",
                     deviceType);
        writeLogString("protocol model %d: no driver, page not sent", deviceType);
    }
    return nullptr;
}
