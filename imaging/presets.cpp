#include "imaging/presets.h"

#include "imaging/custom_pipeline.h"
#include "imaging/print_setting.h"

namespace {

// Both records at their defaults, the preset's flags, then its own changes.
template <typename Adjust>
uint32_t runPreset(ZVImage *image, uint32_t processFlags, Adjust adjust) {
    PrintSetting print;
    creatDefaultPrintSetting(&print);
    ImageProcessingSetting processing;
    creatDefaultImageProcessingSetting(&processing);
    processing.processFlags = processFlags;
    adjust(print, processing);
    return getZVImageProcessingForCustom(image, print, processing);
}

uint32_t runPreset(ZVImage *image, uint32_t processFlags) {
    return runPreset(image, processFlags, [](PrintSetting &, ImageProcessingSetting &) {});
}

// Rows diffused left to right only, which spreads the error more softly.
void leftToRight(PrintSetting &, ImageProcessingSetting &processing) { processing.scanMode = 0; }
void keepWidth(PrintSetting &print, ImageProcessingSetting &) { print.keepWidth = 1; }

}  // namespace

uint32_t getZVImageProcessingForA4(ZVImage *image) { return runPreset(image, kZVPresetA4Flags); }

uint32_t getZVImageProcessingForA4Tattoo(ZVImage *image, uint32_t addLine, uint32_t lineRow) {
    const uint32_t flags = kZVPresetA4TattooFlags | (addLine == 1 ? kZVProcessTattooLine : 0u);
    return runPreset(image, flags, [lineRow](PrintSetting &, ImageProcessingSetting &processing) {
        processing.tattooLineRow = lineRow;
    });
}

uint32_t getZVImageProcessingForA4Soft(ZVImage *image) { return runPreset(image, kZVPresetA4SoftFlags, leftToRight); }

uint32_t getZVImageProcessingForA4SoftDark(ZVImage *image) {
    return runPreset(image, kZVPresetA4SoftDarkFlags, leftToRight);
}

uint32_t getZVImageProcessingForA4BKInkejtText(ZVImage *image) {
    return runPreset(image, kZVPresetA4BKInkjetTextFlags, keepWidth);
}

uint32_t getZVImageProcessingForA4BKInkejtImageMixText(ZVImage *image) {
    return runPreset(image, kZVPresetA4BKInkjetImageMixTextFlags, keepWidth);
}
