// Sharpening of gray bands before halftoning, and the two blurs they compare
// against.
//
// The ZVImage operations work in place on grayData and return 0 done,
// 1 grayData missing or empty image, 2 an allocation failed.
#ifndef ZV_IMAGING_SHARPEN_H
#define ZV_IMAGING_SHARPEN_H

#include <cstdint>

struct ZVImage;

// Separable Gaussian blur with sigma = radius/2 over a (2*radius+1) kernel;
// coordinates beyond the border repeat the border pixel, each pass truncates.
// A radius of 0 copies the source. Returns 1 when a buffer is missing or a
// size is zero, 2 when the work plane cannot be allocated, 0 otherwise.
int gaussianBlur(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, uint16_t radius);

// Bilateral filter over a (2*radius+1)^2 window: spatial sigma radius/2,
// range sigma `rangeSigma`, coordinates clamped to the image. A radius of 0
// copies the source. Statuses as gaussianBlur.
int bilateralFilter(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, uint16_t radius,
                    float rangeSigma);

// Lifts the highlights for tattoo transfer paper: 231..239 gain 5, 240 and
// above become 255.
int ZVImageSharpenTattoo(ZVImage *image);

// p + amount * (p - gaussian blur).
int ZVImageSharpenUnsharpMasking(ZVImage *image, uint16_t radius, float amount);
// Like unsharp masking, but only where |p - blur| > 10, and with 0.7 * amount
// from a difference of 51 on.
int ZVImageSharpenAdaptive(ZVImage *image, uint16_t radius, float amount);
// p + amount * (p - bilateral blur with range sigma 15).
int ZVImageSharpenEdgePreserving(ZVImage *image, uint16_t radius, float amount);
// Where |p - blur| > 5: p + amount * d, doubled for differences below 30.
int ZVImageSharpenHighPass(ZVImage *image, uint16_t radius, float amount);
// 0.6 x (unsharp masking with radius/2 and 0.7 * amount)
// + 0.4 x (unsharp masking with radius and 0.5 * amount).
int ZVImageSharpenMultiScale(ZVImage *image, uint16_t radius, float amount);

#endif
