// Reducing a colour or gray page to the one colour a thermal head prints:
// RGBA to gray, a jittered Floyd-Steinberg diffusion that drives every pixel
// to pure black or white, and thresholded packing to one bit per dot.
//
// RGBA buffers hold four bytes per pixel, rows top to bottom without padding.
// The gray conversions read bytes 0, 1, 2 as R, G, B. The diffusion treats
// bytes 1, 2 and 3 as its three channels (the text binarisation fills them
// with the gray value and byte 0 with 255).
#ifndef ZV_PROTOCOL_PRINT_SINGLE_COLOR_H
#define ZV_PROTOCOL_PRINT_SINGLE_COLOR_H

#include <cstdint>

// Writes g = trunc((R * 0.3 + G * 0.59) + B * 0.11) (double precision) into
// bytes 0, 1 and 2 of every destination pixel and copies byte 3 (alpha).
void gray(const uint8_t *rgba, uint32_t w, uint32_t h, uint8_t *destination);

// The same gray value, one byte per pixel, into w * h bytes.
void rgba2SingleGray(const uint8_t *rgba, uint32_t w, uint32_t h, uint8_t *destination);

// The gray value of the pixel (v, v, v): v, or v - 1 for the 67 levels whose
// weighted sum falls just below v.
uint8_t singleGrayOfLevel(uint8_t v);

// 1 when the colour is to become white, 0 for black: the nearer of black and
// white in squared distance, the boundary jittered by one draw of the
// module's generator (most in the middle tones).
int getNearstColor(int c1, int c2, int c3);

// Pixel (column, row) of the buffer with weight * error[k] added to bytes 3,
// 2 and 1 (k = 0, 1, 2), each clamped to 0..255, byte 0 unchanged, packed as
// byte3 << 24 | byte2 << 16 | byte1 << 8 | byte0. 0xFFFFFFFF outside the image.
uint32_t getPixel(const uint8_t *rgba, uint32_t w, uint32_t h, int64_t row, int64_t column, const int32_t error[3],
                  float weight);

// Stores a packed pixel value; nothing outside the image.
void setPixel(uint8_t *rgba, uint32_t w, uint32_t h, int64_t row, int64_t column, uint32_t value);

// Error diffusion of the buffer in place, pixels in raster order: each becomes
// black (bytes 1..3 = 0, byte 0 = 255) or white (all 255) by getNearstColor,
// and its error goes 7/16 right, 5/16 down, 3/16 down-left, 1/16 down-right,
// never outside the image or into another row. `source` and `destination`
// are the same buffer.
void dither(uint8_t *source, uint32_t w, uint32_t h, uint8_t *destination);

// The same diffusion on a gray plane of one byte per pixel, whose value stands
// for all three channels: byte for byte what dither gives on pixels
// (255, v, v, v), with the same draws, without the four-byte copy.
void ditherGray(uint8_t *gray, uint32_t w, uint32_t h);

// Packs byte 1 (G) of every pixel to one bit, set (a dot) when G <= threshold,
// into rows of (w + 7) / 8 bytes, most significant bit first. The destination
// is zero-filled by the caller with room for h rows; only bits are set.
// Returns the bytes per row, or 0 without writing when w or h is below 1.
uint32_t grayRGBA2SingleColor(const uint8_t *rgba, int64_t w, int64_t h, uint8_t *destination, uint8_t threshold);

// The generator behind getNearstColor: one module-owned state that starts at
// 1 in every process, so that a page comes out the same run after run.
// Draws are in 0..32767.
int32_t singleColorRand();
uint32_t getSingleColorRandState();
void setSingleColorRandState(uint32_t state);

#endif
