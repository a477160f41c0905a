// The configurable processing pipeline: a colour or gray page in, a packed
// 1-bit page out. processFlags (imaging/print_setting.h) switches the stages:
// optional cut into bands of blank and non-blank rows, tattoo highlight lift,
// one brightness rule, gray CLAHE, one sharpening method and one halftoning
// method per band; the bands are joined, packed at `threshold`, and tattoo
// guide marks may be drawn below the picture.
//
// Statuses: 0 done, 1 empty image or missing input plane, 2 allocation failure
// (or a band geometry the CLAHE cannot tile). The first nonzero status of any
// stage ends the pipeline and is returned; the image is then partly processed
// and has no valid pixByteData.
#ifndef ZV_IMAGING_CUSTOM_PIPELINE_H
#define ZV_IMAGING_CUSTOM_PIPELINE_H

#include <cstdint>

#include "imaging/print_setting.h"
#include "imaging/zv_image.h"

// Runs the whole pipeline in place. On 0 the image holds a grayData of only 0
// and 255, pixByteData packed from it (set bit where gray < threshold),
// a width that is a multiple of 8 unless keepWidth was set, and 16 more rows
// when the tattoo line was drawn. rgbaData, when present, is padded and
// inverted like the gray plane (and histogram-specified with the histogram
// bit) but not halftoned. An existing grayData is used as it is.
uint32_t getZVImageProcessingForCustom(ZVImage *image, PrintSetting printSetting,
                                       ImageProcessingSetting processingSetting);

// Width padding (unless keepWidth) and inversion (when invertColors).
int adjustImageWithPrintSetting(ZVImage *image, PrintSetting printSetting);

// Pads rgbaData and grayData (where present) on the right with white up to
// the next multiple of 8 pixels. 0 done (also when nothing is to be done),
// 2 allocation failure with the image unchanged. Other planes are untouched.
int fixZVImageWidthTo8Multiple(ZVImage *image);

// 255 - v for R, G, B of rgbaData (alpha kept) and for grayData.
// 1 when the image has neither plane.
int invertZVImageColors(ZVImage *image);

#endif
