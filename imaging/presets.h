// Processing presets: fixed pipeline settings for one paper or printer
// situation each, run on an image through the custom pipeline.
//
// Every preset takes an image holding rgbaData or grayData and returns the
// pipeline's status (0 done, 1 empty image or no input plane, 2 allocation
// failure, or the first failing stage's status). On 0 the image carries the
// packed dots in pixByteData and the halftoned picture (only 0 and 255) in
// grayData.
#ifndef ZV_IMAGING_PRESETS_H
#define ZV_IMAGING_PRESETS_H

#include <cstdint>

#include "imaging/zv_image.h"

// processFlags of each preset.
enum : uint32_t {
    // cut; brightness for text and for pictures; Atkinson; text dither on text
    kZVPresetA4Flags = 0x20806001,
    // cut; tattoo highlight lift; unsharp masking; contrast reduction; Atkinson
    kZVPresetA4TattooFlags = 0x80020b,
    // cut; brightness for text; Jarvis-Judice-Ninke; text dither on text
    kZVPresetA4SoftFlags = 0x24002001,
    // as soft, with the colour histogram and gray CLAHE
    kZVPresetA4SoftDarkFlags = 0x2400a001,
    // cut; tattoo highlight lift; brightness for text; JJN; text dither on text
    kZVPresetA4BKInkjetTextFlags = 0x24002003,
    // cut; tattoo highlight lift; brightness for text and pictures; Atkinson;
    // text dither on text
    kZVPresetA4BKInkjetImageMixTextFlags = 0x20806003,
};

// A4 thermal paper, text and pictures.
uint32_t getZVImageProcessingForA4(ZVImage *image);

// Tattoo stencil paper. With addLine 1 (only that value) the guide marks are
// drawn below row lineRow and the image grows by 16 rows.
uint32_t getZVImageProcessingForA4Tattoo(ZVImage *image, uint32_t addLine, uint32_t lineRow);

// Softer rendering with row-by-row left-to-right diffusion, and its darker
// variant with histogram equalisation.
uint32_t getZVImageProcessingForA4Soft(ZVImage *image);
uint32_t getZVImageProcessingForA4SoftDark(ZVImage *image);

// Black ink on the inkjet models; the width is kept as it is.
uint32_t getZVImageProcessingForA4BKInkejtText(ZVImage *image);
uint32_t getZVImageProcessingForA4BKInkejtImageMixText(ZVImage *image);

#endif
