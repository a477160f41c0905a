// Colour inkjet output: the RGBA page separated into cyan, magenta and yellow
// ink amounts (tone curve, per-ink and total-ink ceilings, optional removal of
// the common gray share), the total ink limited once more, and each ink
// halftoned on its own into a plane of dots.
#ifndef ZV_IMAGING_INK_SEPARATION_H
#define ZV_IMAGING_INK_SEPARATION_H

#include <cstdint>

#include "imaging/zv_image.h"

struct ZVColorConfig {
    uint32_t srgbDecode;    // nonzero: levels decoded from sRGB to linear first
    float inkGamma;         // exponent on each ink; <= 0 means 1.0
    float maxInk;           // ceiling of each ink, used when 0 < maxInk < 1
    float totalInkLimit;    // ceiling of C+M+Y as a share of 3, used when in (0, 1)
    float blackGeneration;  // share of min(C, M, Y) taken from all three, when > 0
};

// Defaults: no sRGB decoding, gamma 1.6, ceilings 0.9 and 0.9, no black
// generation. Returns the record it was given (null for null).
ZVColorConfig *creatDefaultZVColorConfig(ZVColorConfig *config);

// sRGB to linear for v in [0, 1].
float zv_srgb_decode(float v);

// cmyData (C, M, Y per pixel, 0 no ink .. 255 full ink) from rgbaData; alpha
// is ignored. 0 done, 1 no rgbaData or a zero size, 2 no memory for the plane.
int ZVImageConvertRGBA2CMY_ICC(ZVImage *image, ZVColorConfig config);

// Scales down every pixel of cmyData whose C+M+Y exceeds 3*limit*255 (limit in
// (0, 1]; any other limit changes nothing). 1 when cmyData is missing, else 0.
int ZVImageInkLimiting(ZVImage *image, float limit);

// The colour inkjet preset: separation with the default configuration, ink
// limited to 0.75, each ink halftoned by Jarvis-Judice-Ninke diffusion. The
// result is in cPixData, mPixData and yPixData (255 = a dot of that ink), the
// ink amounts stay in cmyData; the width is not padded. 0 done, 1 no rgbaData,
// 2 memory could not be had or an ink could not be halftoned (that ink's
// plane then holds its ink amounts, not dots).
uint32_t getZVImageProcessingForA4CMYInkejtImageMixText(ZVImage *image);

#endif
