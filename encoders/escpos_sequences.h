// Fixed ESC/POS control sequences shared by the receipt encoder and the job
// prologue and epilogue.
#ifndef ZV_ENCODERS_ESCPOS_SEQUENCES_H
#define ZV_ENCODERS_ESCPOS_SEQUENCES_H

#include <array>
#include <cstdint>

#include "core/dynamic_array.h"

inline constexpr std::array<uint8_t, 5> posCashDrawer1{0x1B, 0x70, 0x00, 0x19, 0xFF};
inline constexpr std::array<uint8_t, 5> posCashDrawer2{0x1B, 0x70, 0x01, 0x19, 0xFF};
inline constexpr std::array<uint8_t, 4> posBeeper{0x1B, 0x42, 0x04, 0x01};
inline constexpr std::array<uint8_t, 4> posCutting{0x1D, 0x56, 0x42, 0x00};
inline constexpr std::array<uint8_t, 2> posInitialize{0x1B, 0x40};

void addPosCashDrawer1(dynamic_array *array);
void addPosCashDrawer2(dynamic_array *array);
void addPosBeeper(dynamic_array *array);
void addPosCutting(dynamic_array *array);
void addPosInitialize(dynamic_array *array);

#endif
