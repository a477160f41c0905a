// Halftoning of a gray band: error diffusion (Floyd-Steinberg, Burkes, Sierra,
// Jarvis-Judice-Ninke, Atkinson), the integer Stucki dither used for text,
// ordered 4x4 Bayer dither, random dither and plain thresholding.
//
// Every operation works in place on grayData and leaves only 0 (black, a dot)
// and 255 (white) in it. Status: 0 done, 1 grayData missing or size zero,
// 2 allocation failed (grayData then untouched).
//
// Of the ImageProcessingSetting only scanMode and randomThreshold are read:
// scanMode 0 runs every row left to right, 1 serpentine (even rows left to
// right, odd rows right to left), anything else every row right to left.
// A nonzero randomThreshold reseeds the shared generator (simple_rand.h) from
// the clock and jitters the threshold by up to +-10 per pixel.
#ifndef ZV_IMAGING_ZV_DITHER_H
#define ZV_IMAGING_ZV_DITHER_H

#include <cstdint>

#include "imaging/print_setting.h"
#include "imaging/zv_image.h"

// One error-diffusion kernel entry: error * weight goes to (x + dx, y + dy).
struct DiffusionCoeff {
    int dx;
    int dy;
    float weight;
};

struct DiffusionAlgo {
    const DiffusionCoeff *coeffs;
    int count;
};

extern const DiffusionCoeff floydSteinbergCoeffs[4];
extern const DiffusionCoeff burkesCoeffs[7];
extern const DiffusionCoeff sierraCoeffs[10];
extern const DiffusionCoeff jarvisCoeffs[12];
extern const DiffusionAlgo floydSteinbergAlgo;
extern const DiffusionAlgo burkesAlgo;
extern const DiffusionAlgo sierraAlgo;
extern const DiffusionAlgo jarvisAlgo;

// The standard 4x4 Bayer index matrix, [y % 4][x % 4].
extern const float bayerMatrix[4][4];

int ZVImageTextImageDither(ZVImage *image);
int ZVImageFloydSteinbergDither(ZVImage *image, ImageProcessingSetting setting);
int ZVImageBurkesDither(ZVImage *image, ImageProcessingSetting setting);
int ZVImageSierraDither(ZVImage *image, ImageProcessingSetting setting);
int ZVImageJarvisJudiceNinkeDither(ZVImage *image, ImageProcessingSetting setting);
int ZVImageAtkinsonDither(ZVImage *image, ImageProcessingSetting setting);
int ZVImageOrderedBayerDither(ZVImage *image, ImageProcessingSetting setting);
int ZVImageRandomDither(ZVImage *image, ImageProcessingSetting setting);
// 255 where gray >= threshold, else 0.
int ZVImageThresholding(ZVImage *image, uint8_t threshold);

// The shared diffusion behind the four kernel methods.
int errorDiffusion(ZVImage *image, uint32_t scanMode, uint32_t randomThreshold, DiffusionAlgo algo);

// Decides pixel (x, y) of a width x height image from the work plane, writes
// 0 or 255 into gray and spreads the error over the kernel inside the image.
void processPixel(uint32_t width, uint32_t height, float *work, uint8_t *gray, uint32_t x, uint32_t y,
                  uint32_t randomThreshold, DiffusionAlgo algo);

// 128, or 128 + (simpleRand() - 0.5) * 20 when randomThreshold is nonzero.
// The value is not used by the threshold; it is carried for callers that pass it.
float getThreshold(uint32_t randomThreshold, float value);

#endif
