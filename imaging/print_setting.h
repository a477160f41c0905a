// The two value records that steer image processing: how the page is printed
// (PrintSetting) and which pipeline stages run with which parameters
// (ImageProcessingSetting with its processFlags word). Both are plain values:
// fill them with a creatDefault... function, adjust fields, pass by value.
#ifndef ZV_IMAGING_PRINT_SETTING_H
#define ZV_IMAGING_PRINT_SETTING_H

#include <cstdint>

struct PrintSetting {
    uint32_t printWidth;    // pixels
    uint32_t printHeight;   // pixels
    uint32_t spareValue;    // carried only
    uint32_t rotation;      // 180: the packed result is turned by 180 degrees
    uint32_t invertColors;  // nonzero: invert the image before processing
    uint32_t keepWidth;     // 0: pad the width to a multiple of 8 with white
    uint32_t grayType;      // binarisation route of the protocol print path
    uint8_t spareFlag;      // carried only
};

struct ImageProcessingSetting {
    uint32_t scanMode;         // 0 left to right, 1 serpentine, other right to left
    uint32_t randomThreshold;  // nonzero: reseed from the clock and jitter the threshold
    uint8_t threshold;         // plain thresholding and final packing
    uint32_t processFlags;     // stage selection, see the bits below
    float sharpenAmount;
    uint16_t sharpenRadius;
    uint32_t tattooLineRow;  // row parameter of the tattoo guide marks
};

// processFlags bits. Within the sharpen, brightness and image-algorithm groups
// the lowest set bit wins; text outsourcing is tried before the others.
enum : uint32_t {
    kZVProcessCut = 0x1,
    kZVProcessSharpenTattoo = 0x2,
    kZVProcessTattooLine = 0x4,
    kZVProcessSharpenUnsharpMasking = 0x8,
    kZVProcessSharpenAdaptive = 0x10,
    kZVProcessSharpenEdgePreserving = 0x20,
    kZVProcessSharpenHighPass = 0x40,
    kZVProcessSharpenMultiScale = 0x80,
    kZVProcessBrightnessContrastReduction = 0x200,
    kZVProcessBrightnessContrastReduction2 = 0x400,
    kZVProcessBrightnessReduceAll = 0x800,
    kZVProcessAutoLevels = 0x1000,
    kZVProcessBrightnessText = 0x2000,
    kZVProcessBrightnessImage = 0x4000,
    kZVProcessHistogram = 0x8000,
    kZVProcessFloydSteinberg = 0x400000,
    kZVProcessAtkinson = 0x800000,
    kZVProcessBurkes = 0x1000000,
    kZVProcessSierra = 0x2000000,
    kZVProcessJarvisJudiceNinke = 0x4000000,
    kZVProcessOrderedBayer = 0x8000000,
    kZVProcessRandomDither = 0x10000000,
    kZVProcessTextOutsourcing = 0x20000000,
};

// Defaults: sizes 0, rotation 0, no inversion, padding on, grayType 6,
// spareFlag 1. Returns the record it was given (null for null).
PrintSetting *creatDefaultPrintSetting(PrintSetting *setting);
PrintSetting *creatDefaultPrintSettingWithPrintSize(PrintSetting *setting, uint32_t width, uint32_t height);

// Defaults: serpentine rows, random threshold on, threshold 128, no stages,
// sharpen amount 4.0 and radius 2, tattoo line row 120.
ImageProcessingSetting *creatDefaultImageProcessingSetting(ImageProcessingSetting *setting);

#endif
