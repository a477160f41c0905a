// Building blocks of the photo effects (imaging/effects.h): gray conversion,
// packing, box and Gaussian blurs, local thresholds, a Laplacian, histogram
// equalisation and the colour-dodge blend of the pencil drawings.
//
// Every plane is width x height bytes, rows top to bottom; neighbourhoods that
// reach outside the image take the nearest edge pixel, except the windowed
// means of adaptive_threshold_u8, which average only the pixels inside.
// Functions that need work memory return 0 done, 1 missing buffer or zero size,
// 2 allocation failed (the output is then left as it was); none throws.
#ifndef ZV_IMAGING_EFFECT_HELPERS_H
#define ZV_IMAGING_EFFECT_HELPERS_H

#include <cstddef>
#include <cstdint>

// Limits to 0..255.
int sat_int(int v);
// 0 below 0, 255 above 255, else truncate(x + 0.5). NaN gives 0.
uint8_t sat_double(double x);

// gray = sat_int(truncate((R*0.299 + 0.587*G) + B*0.114 + 0.5)), double precision.
void rgba_to_gray(const uint8_t *rgba, uint8_t *gray, size_t count);
// R = G = B = gray, A = 255.
void gray_to_rgba(const uint8_t *gray, uint8_t *rgba, size_t count);

// Packs a gray plane into a packed plane of (width*height+7)/8 bytes, a value
// below 128 setting its bit (a dot). The bits run on over the whole picture,
// the packed layout of the image record, so the plane is filled exactly.
void pack_pix_byte(const uint8_t *gray, uint8_t *packed, uint32_t width, uint32_t height);

// Running-sum box filter of 2r+1 taps along rows (h) or columns (v): each
// output is truncate(sum * (1/(2r+1))) in single precision. src and dst must
// be different planes. A negative radius counts as 0.
void box_blur_h(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int radius);
void box_blur_v(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int radius);
// Horizontal, vertical, horizontal, vertical box passes. src may equal dst.
int fast_gaussian_blur(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int radius);

// weights[0 .. 2*(n/2)] = exp(-i^2 / (2 sigma^2)) for i = -n/2 .. n/2,
// normalised to sum 1 (double precision).
void gaussian_kernel_1d(int n, double sigma, double *weights);
// Separable Gaussian of kernel size k (at least 3, made odd), sigma derived
// from k; both passes in double precision, the output rounded once.
// src may equal dst.
int gaussian_blur_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int kernelSize);

// Local mean threshold over a block x block window (at least 3, made odd):
// T = mean - c; 255 where v > T (0 with invert), else 0 (255 with invert).
// src and dst must differ.
int adaptive_threshold_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int block, bool invert,
                          double c);

// Sauvola's local threshold with k = 0.25 and a dynamic range of 128 over a
// windowSize square (below 3 means 31, an even size is made odd): with the
// window's mean m and standard deviation sd, T = m * ((sd/128 - 1) * 0.25 + 1)
// limited to 0..255; 255 where v > truncate(T + 0.5), else 0. src and dst
// must differ.
int sauvola_threshold_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int windowSize);

// |up + down + left + right - 4*centre|, limited to 255. src and dst must differ.
void laplacian_abs_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height);

// Histogram equalisation in place. Levels below the first one present map to
// 0; a picture of a single level maps to 0 as well.
void equalize_hist_u8(uint8_t *data, size_t count);

// Colour dodge of base by blend (255 where blend is 255, else
// min(base*255/(255-blend), 255)), then a power curve with the intensity as
// exponent. base, blend and out may overlap exactly.
void color_dodge_blend_with_intensity(const uint8_t *base, const uint8_t *blend, uint8_t *out, size_t count,
                                      float intensity);

#endif
