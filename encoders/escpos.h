// ESC/POS raster encoder for receipt printers (DeviceType 164;
// getESCPrintData is declared in encoders/encoders.h): for a gray page of
// `width` (a multiple of 8) by `height` pixels the packed page without its white
// top and bottom rows (and, when blankSpace is 1, without rows that are black
// across the page) as GS v 0 raster, then the blank 3 mm feeds, cut and beep
// the settings ask for per page.
#ifndef ZV_ENCODERS_ESCPOS_H
#define ZV_ENCODERS_ESCPOS_H

#include "encoders/encoders.h"

// The row trimming of getESCPrintData on a packed bitmap (widthBytes bytes per
// row, `height` rows), in place. Returns the number of rows kept, which are
// then the first rows of the block.
long trimESCRows(unsigned char *bitmap, long widthBytes, long height, bool dropBlackRows);

#endif
