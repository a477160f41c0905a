#include "imaging/ink_separation.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "imaging/custom_pipeline.h"
#include "imaging/print_setting.h"

namespace {

float limitUnit(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

uint8_t toByte(float v) { return static_cast<uint8_t>(limitUnit(v) * 255.0f + 0.5f); }

size_t planeBytes(const ZVImage *image, size_t perPixel) {
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    if (pixels == 0 || pixels > std::numeric_limits<size_t>::max() / perPixel) return 0;
    return pixels * perPixel;
}

// One ink plane halftoned through the custom pipeline. The ink amount stands
// in for the gray value, so much ink reads as light and is left without a
// packed dot; the inversion then puts the dots where the ink is.
bool halftoneInk(uint8_t *plane, uint32_t width, uint32_t height, PrintSetting print,
                 ImageProcessingSetting processing) {
    ZVImage *ink = creatZVImageWithGrayData(plane, width, height);
    if (ink == nullptr) return false;
    bool done = false;
    if (getZVImageProcessingForCustom(ink, print, processing) == 0 && ZVImagePixByteInvertColors(ink) == 0 &&
        ZVImageConvertPixByte2Pix(ink) == 0) {
        std::memcpy(plane, ink->pixData, static_cast<size_t>(width) * height);
        done = true;
    }
    freeZVImageData(ink);
    std::free(ink);
    return done;
}

}  // namespace

ZVColorConfig *creatDefaultZVColorConfig(ZVColorConfig *config) {
    if (config == nullptr) return nullptr;
    config->srgbDecode = 0;
    config->inkGamma = 1.6f;
    config->maxInk = 0.9f;
    config->totalInkLimit = 0.9f;
    config->blackGeneration = 0.0f;
    return config;
}

float zv_srgb_decode(float v) {
    if (v <= 0.04045f) return v / 12.92f;
    return std::pow((0.055f + v) / 1.055f, 2.4f);
}

int ZVImageConvertRGBA2CMY_ICC(ZVImage *image, ZVColorConfig config) {
    if (isEmptyRGBAData(image)) return 1;
    const size_t bytes = planeBytes(image, 4);
    if (bytes == 0) return 2;
    std::free(image->cmyData);
    image->cmyData = static_cast<uint8_t *>(std::malloc(bytes / 4 * 3));
    if (image->cmyData == nullptr) return 2;

    const float exponent = config.inkGamma <= 0.0f ? 1.0f : config.inkGamma;
    const bool perInkCeiling = config.maxInk > 0.0f && config.maxInk < 1.0f;
    std::array<float, 256> table{};
    for (int i = 0; i < 256; ++i) {
        float v = static_cast<float>(i) / 255.0f;
        if (config.srgbDecode != 0) v = zv_srgb_decode(v);
        float ink = 1.0f - v;
        if (exponent != 1.0f) ink = std::pow(ink, exponent);
        if (perInkCeiling && ink > config.maxInk) ink = config.maxInk;
        table[i] = limitUnit(ink);
    }
    const bool totalCeiling = config.totalInkLimit > 0.0f && config.totalInkLimit < 1.0f;
    const float total = 3.0f * config.totalInkLimit;
    const size_t pixels = bytes / 4;
    const uint8_t *p = image->rgbaData;
    uint8_t *out = image->cmyData;
    for (size_t i = 0; i < pixels; ++i, p += 4, out += 3) {
        float c = table[p[0]], m = table[p[1]], y = table[p[2]];
        if (config.blackGeneration > 0.0f) {
            const float k = std::fmin(c, std::fmin(m, y)) * config.blackGeneration;
            c -= k;
            m -= k;
            y -= k;
        }
        if (totalCeiling) {
            const float sum = c + m + y;
            if (sum > total && sum > 0.0f) {
                const float scale = total / sum;
                c *= scale;
                m *= scale;
                y *= scale;
            }
        }
        out[0] = toByte(c);
        out[1] = toByte(m);
        out[2] = toByte(y);
    }
    return 0;
}

int ZVImageInkLimiting(ZVImage *image, float limit) {
    if (isEmptyCMYData(image)) return 1;
    if (!(limit > 0.0f && limit <= 1.0f)) return 0;
    const int maxTotal = static_cast<int>(3.0f * limit * 255.0f + 0.5f);
    const size_t pixels = planeBytes(image, 3) / 3;
    uint8_t *p = image->cmyData;
    for (size_t i = 0; i < pixels; ++i, p += 3) {
        const int sum = p[0] + p[1] + p[2];
        if (sum <= maxTotal) continue;
        const float f = static_cast<float>(maxTotal) / static_cast<float>(sum);
        for (int c = 0; c < 3; ++c) {
            const int v = static_cast<int>(static_cast<float>(p[c]) * f + 0.5f);
            p[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
    return 0;
}

uint32_t getZVImageProcessingForA4CMYInkejtImageMixText(ZVImage *image) {
    PrintSetting print;
    creatDefaultPrintSetting(&print);
    print.keepWidth = 2;
    ImageProcessingSetting processing;
    creatDefaultImageProcessingSetting(&processing);
    processing.processFlags = kZVProcessJarvisJudiceNinke;

    ZVColorConfig config;
    creatDefaultZVColorConfig(&config);
    const int separated = ZVImageConvertRGBA2CMY_ICC(image, config);
    if (separated != 0) return static_cast<uint32_t>(separated);
    ZVImageInkLimiting(image, 0.75f);

    const size_t pixels = planeBytes(image, 1);
    uint8_t *ZVImage::*const inks[3] = {&ZVImage::cPixData, &ZVImage::mPixData, &ZVImage::yPixData};
    for (uint8_t *ZVImage::*ink : inks) {
        std::free(image->*ink);
        image->*ink = static_cast<uint8_t *>(std::malloc(pixels));
    }
    if (image->cPixData == nullptr || image->mPixData == nullptr || image->yPixData == nullptr) {
        freeZVImageCPixData(image);
        freeZVImageMPixData(image);
        freeZVImageYPixData(image);
        return 2;
    }
    for (size_t i = 0; i < pixels; ++i) {
        image->cPixData[i] = image->cmyData[3 * i];
        image->mPixData[i] = image->cmyData[3 * i + 1];
        image->yPixData[i] = image->cmyData[3 * i + 2];
    }
    // A failed ink does not stop the others.
    bool all = true;
    for (uint8_t *ZVImage::*ink : inks) {
        all = halftoneInk(image->*ink, image->width, image->height, print, processing) && all;
    }
    return all ? 0 : 2;
}
