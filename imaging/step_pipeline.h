// The fixed six-step chain for small labels and photos on narrow printers:
// colour to gray over white, 32 x 32 tile histogram equalisation, detail
// enhancement, an adaptive gamma, a contrast lift for bright flat pictures,
// and a Jarvis-Judice-Ninke diffusion whose threshold follows a fixed noise
// texture and the local mean.
//
// The steps work in place on planes the caller has allocated (rgbaData,
// grayData, pixByteData) and return nothing: a step that cannot have its work
// memory, or whose planes are missing, leaves the image as it found it. The
// presets allocate the planes and notice such failures (status 2).
// No step draws on the shared random generator: the output is the same on
// every run.
#ifndef ZV_IMAGING_STEP_PIPELINE_H
#define ZV_IMAGING_STEP_PIPELINE_H

#include <cstdint>

#include "imaging/zv_image.h"

// The allocator of the steps; a size that does not fit in 32 bits cannot be
// asked for, so callers refuse larger pictures before they get here.
void *zv_malloc(uint32_t size);
void zv_free(void *pointer);  // nothing done for null

// 0 below 0, 255 above 255, else truncate(v + 0.5).
uint8_t CLIP8(float v);
// lo below lo, hi above hi, else v.
float CLIPF(float v, float lo, float hi);

// The kernel of the last step as parallel tables, in this order.
extern const int8_t g_jjnDx[12];
extern const int8_t g_jjnDy[12];
extern const float g_jjnW[12];

// Fills the 64 x 64 noise texture once per process (a sum of five sines).
void init_blue_noise();
// Texture value at row y, column x (both 0..63); fills it first if needed.
float getBlueNoise64(uint32_t y, uint32_t x);

void step_rgba_to_gray(ZVImage *image);       // rgbaData -> grayData
void step_clahe(ZVImage *image);              // grayData in place
void step_detail_enhance(ZVImage *image);     // grayData in place
void step_adaptive_gamma(ZVImage *image);     // grayData in place
void step_adaptive_contrast(ZVImage *image);  // grayData in place
void step_jjn_dither(ZVImage *image);         // grayData -> pixByteData

// The six steps on an image with rgbaData. Allocates grayData and pixByteData
// when absent. Status 0 done (result in pixByteData, grayData the enhanced
// picture before dithering; the width is not padded), 1 no rgbaData or a zero
// size, 2 memory could not be had (also for a picture whose RGBA plane does
// not fit in 32 bits); when a step could not run, pixByteData is released.
uint32_t getZVImageProcessingForP20(ZVImage *image);
// The same chain for small labels on any printer.
uint32_t getZVImageProcessingForSmallSize(ZVImage *image);

#endif
