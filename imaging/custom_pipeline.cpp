#include "imaging/custom_pipeline.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/clahe.h"
#include "imaging/sharpen.h"
#include "imaging/tone.h"
#include "imaging/zv_dither.h"
#include "imaging/zv_text_cut_tattoo.h"

namespace {

struct MallocFree {
    void operator()(uint8_t *p) const { std::free(p); }
};
using PlanePtr = std::unique_ptr<uint8_t, MallocFree>;

// The bands of one pipeline run; every band and the array go when it ends,
// whichever way it ends. Without the cut the one band borrows the image's
// gray plane instead of a copy of it, and hands it back when it ends, so the
// image keeps a gray plane even when a stage fails.
class Bands {
  public:
    Bands() = default;
    Bands(const Bands &) = delete;
    Bands &operator=(const Bands &) = delete;
    ~Bands() { reset(); }

    void adopt(ZVImage **bands, uint32_t count) {
        reset();
        bands_ = bands;
        count_ = count;
    }
    void borrowGrayOf(ZVImage *image) { lender_ = image; }
    void reset() {
        if (lender_ != nullptr && bands_ != nullptr && bands_[0] != nullptr) {
            std::free(lender_->grayData);
            lender_->grayData = bands_[0]->grayData;
            bands_[0]->grayData = nullptr;
        }
        lender_ = nullptr;
        if (bands_ != nullptr) {
            freeZVImageDataArray(bands_, count_);
            std::free(bands_);
        }
        bands_ = nullptr;
        count_ = 0;
    }
    bool borrowed() const { return lender_ != nullptr; }
    ZVImage **begin() const { return bands_; }
    ZVImage **end() const { return bands_ + count_; }
    uint32_t count() const { return count_; }

  private:
    ZVImage **bands_ = nullptr;
    uint32_t count_ = 0;
    ZVImage *lender_ = nullptr;
};

// A new plane of newWidth x height pixels of `channels` bytes, white, with the
// old rows at the left end of the new ones; null on allocation failure.
PlanePtr padPlane(const uint8_t *old, uint32_t width, uint32_t newWidth, uint32_t height, size_t channels) {
    const size_t pixels = zvImagePixelCount(newWidth, height);
    if (pixels == 0 || pixels > static_cast<size_t>(-1) / channels) return nullptr;
    PlanePtr plane(static_cast<uint8_t *>(std::malloc(pixels * channels)));
    if (!plane) return nullptr;
    std::memset(plane.get(), 255, pixels * channels);
    const size_t oldRow = static_cast<size_t>(width) * channels;
    const size_t newRow = static_cast<size_t>(newWidth) * channels;
    for (uint32_t y = 0; y < height; ++y) std::memcpy(plane.get() + y * newRow, old + y * oldRow, oldRow);
    return plane;
}

// Step 5 without the cut bit: one band over the whole gray plane (the only
// plane the band stages read and the join takes back), lent rather than
// copied.
int singleBand(ZVImage *image, Bands &bands) {
    auto **array = static_cast<ZVImage **>(std::calloc(1, sizeof(ZVImage *)));
    if (array == nullptr) return 2;
    bands.adopt(array, 1);
    array[0] = creatZVImage(image->width, image->height);
    if (array[0] == nullptr) return 2;
    array[0]->grayData = image->grayData;
    image->grayData = nullptr;
    bands.borrowGrayOf(image);
    return 0;
}

int adjustBrightness(ZVImage *band, uint32_t flags) {
    if (flags & kZVProcessBrightnessContrastReduction) {
        return ZVImageBrightnessContrastReduction(band);
    }
    if (flags & kZVProcessBrightnessContrastReduction2) {
        return ZVImageBrightnessContrastReduction_2(band);
    }
    if (flags & kZVProcessBrightnessReduceAll) {
        return ZVImageBrightnessReduce(band);
    }
    if (flags & kZVProcessAutoLevels) {
        return ZVImageBrightnessAutoLevels(band);
    }
    if (flags & (kZVProcessBrightnessText | kZVProcessBrightnessImage)) {
        const int text = ZVImageIsText(band);
        if (text == 1 && (flags & kZVProcessBrightnessText)) {
            return ZVImageBrightnessReduce(band);
        }
        if (text == 0 && (flags & kZVProcessBrightnessImage)) {
            return ZVImageBrightnessIncrease(band);
        }
    }
    return 0;
}

int sharpen(ZVImage *band, uint32_t flags, uint16_t radius, float amount) {
    if (flags & kZVProcessSharpenUnsharpMasking) {
        return ZVImageSharpenUnsharpMasking(band, radius, amount);
    }
    if (flags & kZVProcessSharpenAdaptive) {
        return ZVImageSharpenAdaptive(band, radius, amount);
    }
    if (flags & kZVProcessSharpenEdgePreserving) {
        return ZVImageSharpenEdgePreserving(band, radius, amount);
    }
    if (flags & kZVProcessSharpenHighPass) {
        return ZVImageSharpenHighPass(band, radius, amount);
    }
    if (flags & kZVProcessSharpenMultiScale) {
        return ZVImageSharpenMultiScale(band, radius, amount);
    }
    return 0;
}

int halftone(ZVImage *band, const ImageProcessingSetting &setting) {
    const uint32_t flags = setting.processFlags;
    if (flags & kZVProcessTextOutsourcing) {
        if (ZVImageIsText(band) == 1) return ZVImageTextImageDither(band);
    }
    if (flags & kZVProcessFloydSteinberg) {
        return ZVImageFloydSteinbergDither(band, setting);
    }
    if (flags & kZVProcessAtkinson) {
        return ZVImageAtkinsonDither(band, setting);
    }
    if (flags & kZVProcessBurkes) {
        return ZVImageBurkesDither(band, setting);
    }
    if (flags & kZVProcessSierra) {
        return ZVImageSierraDither(band, setting);
    }
    if (flags & kZVProcessJarvisJudiceNinke) {
        return ZVImageJarvisJudiceNinkeDither(band, setting);
    }
    if (flags & kZVProcessOrderedBayer) {
        return ZVImageOrderedBayerDither(band, setting);
    }
    if (flags & kZVProcessRandomDither) {
        return ZVImageRandomDither(band, setting);
    }
    return ZVImageThresholding(band, setting.threshold);
}

// Step 11: the bands' gray planes, in order, refill the image's gray plane.
// The cut makes every band as wide as the image with heights adding up to
// its height; a band that does not fit is refused rather than copied.
int joinBands(ZVImage *image, const Bands &bands) {
    const size_t total = zvImagePixelCount(image->width, image->height);
    size_t offset = 0;
    for (ZVImage *band : bands) {
        if (isEmptyGrayData(band) || band->width != image->width) return 1;
        const size_t size = zvImagePixelCount(band->width, band->height);
        if (size > total - offset) return 1;
        std::memcpy(image->grayData + offset, band->grayData, size);
        offset += size;
    }
    return offset == total ? 0 : 1;
}

uint32_t runPipeline(ZVImage *image, const PrintSetting &printSetting, const ImageProcessingSetting &setting) {
    const uint32_t flags = setting.processFlags;
    if (isEmptyZVImageData(image)) return 1;
    if (const int status = adjustImageWithPrintSetting(image, printSetting)) return status;

    if (!isEmptyRGBAData(image) && (flags & kZVProcessHistogram)) {
        if (const int status = ZVImageHistogramSpecification(image)) return status;
    }
    if (isEmptyGrayData(image)) {
        if (const int status = ZVImageConvertRGBA2Gray(image)) return status;
    }

    Bands bands;
    if (flags & kZVProcessCut) {
        uint32_t count = 0;
        ZVImage **cut = ZVImageCutImage(image, &count);
        if (cut == nullptr) return 2;
        bands.adopt(cut, count);
        if (count == 0) return 2;
    } else {
        if (const int status = singleBand(image, bands)) return status;
    }

    if (flags & kZVProcessSharpenTattoo) {
        for (ZVImage *band : bands)
            if (const int status = ZVImageSharpenTattoo(band)) return status;
    }

    for (ZVImage *band : bands)
        if (const int status = adjustBrightness(band, flags)) return status;

    if (flags & kZVProcessHistogram) {
        for (ZVImage *band : bands) {
            // The text cut makes bands of any height, many of them prime or
            // shorter than two regions; refusing those would refuse nearly
            // every real page. Such a band keeps its gray values, as a refused
            // equalisation leaves its input elsewhere in the pipeline.
            if (!claheCanTile(band->width, band->height)) continue;
            if (const int status = ZVImageGrayHistogramCLAHE(band)) return status;
        }
    }

    for (ZVImage *band : bands)
        if (const int status = sharpen(band, flags, setting.sharpenRadius, setting.sharpenAmount)) return status;

    for (ZVImage *band : bands)
        if (const int status = halftone(band, setting)) return status;

    if (bands.borrowed()) {
        bands.reset();  // the band's plane is the image's plane again
    } else {
        if (const int status = joinBands(image, bands)) return status;
        bands.reset();
    }

    if (const int status = ZVImageConvertGray2PixByte(image, setting.threshold)) return status;

    if (flags & kZVProcessTattooLine) {
        // Too small for the marks: the picture is printed without them.
        ZVImageAddTattooLine(image, setting.tattooLineRow);
    }
    return 0;
}

}  // namespace

int fixZVImageWidthTo8Multiple(ZVImage *image) {
    if (image == nullptr || image->width % 8 == 0) return 0;
    if (image->width > UINT32_MAX - 7) return 2;
    const uint32_t newWidth = (image->width + 7) & ~7u;
    try {
        PlanePtr rgba, gray;
        if (image->rgbaData != nullptr) {
            rgba = padPlane(image->rgbaData, image->width, newWidth, image->height, 4);
            if (!rgba) return 2;
        }
        if (image->grayData != nullptr) {
            gray = padPlane(image->grayData, image->width, newWidth, image->height, 1);
            if (!gray) return 2;
        }
        // Swap only once both exist, so a failure leaves the image as it was.
        if (rgba) {
            std::free(image->rgbaData);
            image->rgbaData = rgba.release();
        }
        if (gray) {
            std::free(image->grayData);
            image->grayData = gray.release();
        }
        image->width = newWidth;
        return 0;
    } catch (const std::bad_alloc &) {
        return 2;
    }
}

int invertZVImageColors(ZVImage *image) {
    if (isEmptyZVImageData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    if (uint8_t *rgba = image->rgbaData) {
        for (size_t i = 0; i < pixels; ++i) {
            rgba[4 * i] = static_cast<uint8_t>(255 - rgba[4 * i]);
            rgba[4 * i + 1] = static_cast<uint8_t>(255 - rgba[4 * i + 1]);
            rgba[4 * i + 2] = static_cast<uint8_t>(255 - rgba[4 * i + 2]);
        }
    }
    if (uint8_t *gray = image->grayData) {
        for (size_t i = 0; i < pixels; ++i) gray[i] = static_cast<uint8_t>(255 - gray[i]);
    }
    return 0;
}

int adjustImageWithPrintSetting(ZVImage *image, PrintSetting printSetting) {
    if (printSetting.keepWidth == 0 && image != nullptr && image->width % 8 != 0) {
        if (const int status = fixZVImageWidthTo8Multiple(image)) return status;
    }
    if (printSetting.invertColors != 0) {
        if (const int status = invertZVImageColors(image)) return status;
    }
    return 0;
}

uint32_t getZVImageProcessingForCustom(ZVImage *image, PrintSetting printSetting,
                                       ImageProcessingSetting processingSetting) {
    try {
        return runPipeline(image, printSetting, processingSetting);
    } catch (const std::bad_alloc &) {
        return 2;
    }
}
