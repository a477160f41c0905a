// Contrast-limited adaptive histogram equalisation of gray bands.
//
// The core follows Zuiderveld's reference algorithm (Graphics Gems IV): the
// image is divided into nrX x nrY contextual regions, each region's histogram
// is clipped and turned into a gray-level map, and every pixel is bilinearly
// interpolated between the maps of the four nearest regions.
#ifndef ZV_IMAGING_CLAHE_H
#define ZV_IMAGING_CLAHE_H

#include <cstddef>
#include <cstdint>

struct ZVImage;

// CLAHE of `pixels` (xRes x yRes bytes, in place) over the value range
// min..max with nrBins histogram bins (0 means 128) and the clip factor
// clipLimit (a factor of the mean bin count; 0 or less means no clipping,
// exactly 1.0 leaves the image unchanged). Returns 0, or a refusal:
//   -1 nrX > xRes, -2 nrY > yRes,
//   -3 xRes not a multiple of nrX (or nrX == 0),
//   -4 yRes not a multiple of nrY (or nrY == 0),
//   -6 min >= max, -7 fewer than 2 regions in a direction,
//   -8 the region maps cannot be allocated (or `pixels` is missing).
// With an odd region width or height the interpolation walk leaves one pixel
// per image row of each row of regions (respectively the last image row) as
// it was, as the reference walk does.
int _CLAHE(uint8_t *pixels, unsigned int xRes, unsigned int yRes, uint8_t min, uint8_t max, unsigned int nrX,
           unsigned int nrY, unsigned int nrBins, float clipLimit);

// Region edge length chosen for a band side of `length` pixels: the divisor
// of `length` from 8 to min(length, 32) closest to 16 (the smaller one on a
// tie), accepted only when its distance from 16 is below `length`. 0 when none
// is accepted (no such divisor, or a side of 8 pixels or fewer).
uint32_t claheRegionSize(uint32_t length);

// Clip factor derived from the mean m and standard deviation s of the values:
// (2m/255 + 1) * (2s/256 + 1.5), kept within 1.5 .. 4.5.
float claheClipFactor(const uint8_t *gray, size_t count);

// Whether a band of width x height pixels can be divided into the regions
// ZVImageGrayHistogramCLAHE would choose: a region size in both directions
// and at least two regions each way.
bool claheCanTile(uint32_t width, uint32_t height);

// CLAHE of grayData with 256 bins over 0..255, regions from claheRegionSize
// and clip factor from claheClipFactor. Status 0 done, 1 grayData missing or
// empty image, 2 allocation failure or a band geometry the tiling cannot
// serve (no region size, or the core refuses).
int ZVImageGrayHistogramCLAHE(ZVImage *image);

#endif
