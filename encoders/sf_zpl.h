// ZPL variant of the printers sold under the model name "ZV_SF_ZPL"
// (DeviceType 191; getSFZPLPrintData is declared in encoders/encoders.h): every
// page is exactly what getZPLPrintData produces for it, behind a "^^XX\r\n"
// line, with the same arguments and contract.
#ifndef ZV_ENCODERS_SF_ZPL_H
#define ZV_ENCODERS_SF_ZPL_H

#include "encoders/encoders.h"

#endif
