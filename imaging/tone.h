// Tone and contrast operations applied to a picture before halftoning:
// lightness histogram specification of the colour plane, two brightness
// tables, two contrast-reducing curves and an automatic levels stretch.
// (Gray CLAHE lives in imaging/clahe.h.)
//
// Every ZVImage operation works in place and returns 0 done, 1 the input plane
// is missing or the image is empty, 2 an allocation failed.
#ifndef ZV_IMAGING_TONE_H
#define ZV_IMAGING_TONE_H

#include <cstddef>
#include <cstdint>

struct ZVImage;

// Lightness of rgbaData in L*a*b* reshaped towards a normal distribution
// (mean 128, sigma 50 on the lightness byte); a* and b* and alpha are kept.
int ZVImageHistogramSpecification(ZVImage *image);

// dst[i] = map[src[i]] where the map sends every byte to the level of the
// normal target whose cumulative fraction is nearest to the byte's own.
// src and dst may be the same buffer. Returns 0.
int HistogramSpecification(const uint8_t *src, uint8_t *dst, size_t count);

// out[i] = cumulative normalised normal distribution over 0..255.
void GenerateNormalCDF(float *out, float mean, float sigma);

// sRGB (0..255) to XYZ (D65, 0..100 scale).
void RGB2XYZ(uint8_t r, uint8_t g, uint8_t b, float *x, float *y, float *z);
// XYZ to L*a*b* with the D65 white (95.047, 100, 108.883).
void XYZ2LAB(float x, float y, float z, float *l, float *a, float *bStar);
// L*a*b* back to sRGB bytes, clamped to the gamut.
void LAB2RGB(float l, float a, float bStar, uint8_t *r, uint8_t *g, uint8_t *b);

// grayData through the fixed brightening or darkening table.
int ZVImageBrightnessIncrease(ZVImage *image);
int ZVImageBrightnessReduce(ZVImage *image);
// The tables themselves (256 entries each).
const uint8_t *brightnessIncreaseTable();
const uint8_t *brightnessReduceTable();

// Piecewise curve with 0.7 powers that flattens the mid tones.
int ZVImageBrightnessContrastReduction(ZVImage *image);
// 0.8 power followed by a contrast of 0.9 around the middle.
int ZVImageBrightnessContrastReduction_2(ZVImage *image);

// Stretches the 1 % / 99 % points of the histogram to 0 and 255.
int ZVImageBrightnessAutoLevels(ZVImage *image);

#endif
