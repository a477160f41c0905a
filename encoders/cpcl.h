// CPCL label encoder (DeviceType 163; getCPCLPrintData is declared in
// encoders/encoders.h): for a gray page of `width` (a multiple of 8) by
// `height` pixels one complete label of header, page width, media and darkness
// settings, one EG (hexadecimal) or CG (binary) graphic, FORM and PRINT.
#ifndef ZV_ENCODERS_CPCL_H
#define ZV_ENCODERS_CPCL_H

#include "encoders/encoders.h"

#endif
