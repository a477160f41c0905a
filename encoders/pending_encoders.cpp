// Languages whose encoder has not been written yet: nothing is sent for their
// pages, exactly as for an unknown device type. Each encoder module replaces
// its entry here when it lands.
#include "encoders/encoders.h"

dynamic_array *getTSPLPrintData(unsigned char *, long, long, PrinterSettings *) { return nullptr; }
dynamic_array *getZPLPrintData(unsigned char *, long, long, PrinterSettings *) { return nullptr; }
dynamic_array *getCPCLPrintData(unsigned char *, long, long, PrinterSettings *) { return nullptr; }
dynamic_array *getSFZPLPrintData(unsigned char *, long, long, PrinterSettings *) { return nullptr; }
dynamic_array *getESCPrintData(unsigned char *, long, long, PrinterSettings *) { return nullptr; }
dynamic_array *getTSPLTwoColorPrintData(unsigned char *, long, long, long, PrinterSettings *) { return nullptr; }
