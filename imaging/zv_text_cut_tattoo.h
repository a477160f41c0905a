// What the custom pipeline needs around its stages: the text-or-picture test
// of a band, the cut of a page into bands of blank and non-blank rows, and
// the tattoo alignment marks and guide lines drawn into the packed result.
#ifndef ZV_IMAGING_ZV_TEXT_CUT_TATTOO_H
#define ZV_IMAGING_ZV_TEXT_CUT_TATTOO_H

#include <cstddef>
#include <cstdint>

#include "imaging/zv_image.h"

// 1 when the band's gray histogram looks like text or line art (mostly paper
// white with a little dark), 0 for a picture, a missing gray plane or an
// empty image.
int ZVImageIsText(const ZVImage *image);

// 1 when every one of the count bytes is 253 or more (also for count 0).
int isWhiteLine(const uint8_t *row, size_t count);

// Splits the gray plane into maximal runs of blank and non-blank rows, one new
// band (gray plane only) per run, top to bottom; the band heights add up to
// the image height. Without any blank row the one band is a deep copy of the
// image. Returns a calloc'ed array (release with freeZVImageDataArray, then
// free) and stores its length in *count; null with *count 0 when the gray
// plane is missing, the size is zero or an allocation fails; null when count
// is null.
ZVImage **ZVImageCutImage(const ZVImage *image, uint32_t *count);

// Grows the packed plane by 16 blank rows at the bottom and draws the tattoo
// corner marks and the two guide lines below row r. 0 done; 1 when the image
// is too small (width < 112, height < r + 48), r < 16, or the packed plane is
// missing, with nothing changed; 2 when the larger plane cannot be allocated,
// with the image unchanged.
int ZVImageAddTattooLine(ZVImage *image, uint32_t r);

#endif
