// Upper-case hexadecimal text of packed bitmaps, as the ZPL ^GFA and CPCL EG
// graphics carry it: two digits per byte, rows back to back, no separators.
#ifndef ZV_ENCODERS_HEX_TEXT_H
#define ZV_ENCODERS_HEX_TEXT_H

#include <cstdint>

#include "core/dynamic_array.h"

// Appends 2 * count characters ("%02X" of every byte) to `array`.
void appendHexText(dynamic_array *array, const uint8_t *bytes, uint64_t count);

#endif
