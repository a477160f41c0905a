// Scaling a gray bitmap with a bicubic (cubic convolution, a = -1)
// interpolator. Samples outside the source count as white; every result is
// lifted by 15 levels before it is clamped, which the protocol printers'
// output is pinned to.
//
// Bitmaps are 8-bit gray, 0 black, 255 white, one byte per pixel. Returned
// bitmaps are malloc'ed and released by the caller with free().
#ifndef ZV_IMAGING_CUBIC_ZOOM_H
#define ZV_IMAGING_CUBIC_ZOOM_H

#include <cstdint>

// A view onto a bitmap: the pixel at (x, y) is pixels[x + y * rowBytes].
struct ZoomBitmap {
    uint8_t *pixels;
    uint64_t rowBytes;
    uint64_t width;
    uint64_t height;
};

// The pixel at (x, y), unchecked.
uint8_t Pixels(const ZoomBitmap *view, int64_t x, int64_t y);

// The pixel at (x, y), or white (255) outside the bitmap (no edge clamping).
uint8_t Pixels_Bound(const ZoomBitmap *view, int64_t x, int64_t y);

// Cubic convolution kernel with parameter -1.
double SinXDivX(double x);

// Writes into *result the pixel interpolated at source position (fx, fy).
void ThreeOrder0(const ZoomBitmap *src, uint8_t *result, float fx, float fy);

// Fills every pixel of dst from src; nothing happens when a size is 0.
// Column and row weights are computed once per destination column and row;
// the result is byte for byte that of PicZoom_ThreeOrder0_Reference.
void PicZoom_ThreeOrder0(const ZoomBitmap *dst, const ZoomBitmap *src);

// The same image computed pixel by pixel through ThreeOrder0 (eight kernel
// evaluations per pixel). Kept as the yardstick for the fast version.
void PicZoom_ThreeOrder0_Reference(const ZoomBitmap *dst, const ZoomBitmap *src);

// New dstW x dstH bitmap (rows without padding) holding the whole srcW x srcH
// source scaled; nullptr when a destination size is 0 or memory runs out.
uint8_t *bitmapZoom(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t dstW, uint32_t dstH);

#endif
