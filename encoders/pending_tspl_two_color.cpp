// Placeholder until the two-colour TSPL encoder lands: nothing is sent for its
// pages, as for an unknown device type. The encoder module deletes this file.
#include "encoders/encoders.h"

dynamic_array *getTSPLTwoColorPrintData(unsigned char *, long, long, long, PrinterSettings *) { return nullptr; }
