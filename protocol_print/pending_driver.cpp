// The protocol models' driver has not been written yet: their pages are read
// but nothing is sent, as for an unknown device type.
#include "protocol_print/protocol_print.h"

dynamic_array *getZVProtocolPrintData(unsigned char *, long, long, PrinterSettings *, int32_t) { return nullptr; }
