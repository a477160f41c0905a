// Placeholder until the CPCL encoder lands: nothing is sent for its pages, as for
// an unknown device type. The encoder module deletes this file.
#include "encoders/encoders.h"

dynamic_array *getCPCLPrintData(unsigned char *, long, long, PrinterSettings *) { return nullptr; }
