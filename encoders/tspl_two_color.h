// Two-colour (black and red) TSPL encoder; getTSPLTwoColorPrintData is declared
// in encoders/encoders.h.
#ifndef ZV_ENCODERS_TSPL_TWO_COLOR_H
#define ZV_ENCODERS_TSPL_TWO_COLOR_H

#include "encoders/encoders.h"

#endif
