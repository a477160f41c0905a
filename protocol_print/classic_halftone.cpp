#include "protocol_print/classic_halftone.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/clahe.h"
#include "imaging/sharpen.h"

namespace {

constexpr uint16_t kSharpenRadius = 2;
constexpr float kSharpenAmount = 1.5f;
// Coordinates inside the error diffusion are 16-bit.
constexpr uint32_t kMaxDiffusionSide = 65535;

uint8_t clampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// First count from `start` upward (at most 255) that divides `side`; the start
// value itself when only the side does; 0 when none does.
unsigned int regionCount(uint32_t side, uint8_t start) {
    for (unsigned int count = std::max<unsigned int>(start, 1); count <= 255; ++count) {
        if (side % count != 0) continue;
        return count == side ? start : count;
    }
    return 0;
}

// A working buffer of n bytes: the caller's, or one owned here; zero-filled.
struct WorkBuffer {
    WorkBuffer(uint8_t *given, size_t n) {
        if (given == nullptr) {
            owned.assign(n, 0);
            data = owned.data();
        } else {
            data = given;
            std::memset(data, 0, n);
        }
    }
    uint8_t *data;
    std::vector<uint8_t> owned;
};

constexpr std::array<uint8_t, 8> kBitShift = {7, 6, 5, 4, 3, 2, 1, 0};

int runChain(uint8_t *image, uint8_t *packed, uint32_t w, uint32_t h, const SharpeningParam *sharpen,
             const HistogramParam *histogram, const ErrDiffParam *errDiff, PrintParam print) {
    const size_t n = static_cast<size_t>(w) * h;
    // Every stage's buffer exists before the first stage runs, so that a
    // failed allocation leaves the output untouched.
    std::vector<uint8_t> result(n / 8, 0);
    std::unique_ptr<WorkBuffer> sharpened, equalised;
    if (sharpen != nullptr) sharpened = std::make_unique<WorkBuffer>(sharpen->buffer, n);
    if (histogram != nullptr) equalised = std::make_unique<WorkBuffer>(histogram->buffer, n);

    uint8_t *current = image;
    if (sharpened) {
        if (sharpening(current, sharpened->data, w, h, kSharpenRadius, kSharpenAmount) != 0) return 0;
        current = sharpened->data;
    }
    if (equalised) {
        imageHeightenHistogram(current, equalised->data, w, h, histogram->regionsX, histogram->regionsY,
                               histogram->bins, histogram->clipLimit);
        current = equalised->data;
    }
    if (errDiff != nullptr) {
        const uint8_t threshold = errDiff->bestThreshold == 1 ? getBestThreshold(current, w, h) : 0;
        errDiffImg(current, w, h, errDiff->method, errDiff->twoLevel, threshold);
    }
    gray2BinByte(current, n, result.data(), print.threshold);
    if (print.invert == 1) invertColors(result.data(), result.size());
    if (print.reverse == 1) invertDirection(result.data(), result.size());
    std::memcpy(packed, result.data(), result.size());
    return 1;
}

bool sizeAccepted(uint32_t w, uint32_t h, const ErrDiffParam *errDiff) {
    if (w == 0 || h == 0 || w % 8 != 0) return false;
    return errDiff == nullptr || (w <= kMaxDiffusionSide && h <= kMaxDiffusionSide);
}

}  // namespace

SingleColorDataParam creatDefaultSingleColorDataParam() { return SingleColorDataParam{nullptr}; }
SharpeningParam creatDefaultSharpeningParam() { return SharpeningParam{nullptr, 2, 2}; }
HistogramParam creatDefaultHistogramParam() { return HistogramParam{nullptr, 2, 2, 128, 5}; }
ErrDiffParam creatDefaultErrDiffParam() { return ErrDiffParam{0, 1, 1}; }
PrintParam creatDefaultPrintParam() { return PrintParam{128, 0, 0}; }

int rgb2PrintData(const uint8_t *rgb, uint8_t *packed, uint32_t w, uint32_t h, const ColorEqualizationParam *colorEq,
                  const SingleColorDataParam *singleColor, const SharpeningParam *sharpen,
                  const HistogramParam *histogram, const ErrDiffParam *errDiff, PrintParam print,
                  HalftoneDebugOutputs *debug) {
    if (rgb == nullptr || packed == nullptr || colorEq != nullptr || debug != nullptr) return 0;
    if (!sizeAccepted(w, h, errDiff)) return 0;
    try {
        const size_t n = static_cast<size_t>(w) * h;
        WorkBuffer grayImage(singleColor != nullptr ? singleColor->buffer : nullptr, n);
        rgb2Gray(rgb, w, h, grayImage.data);
        return runChain(grayImage.data, packed, w, h, sharpen, histogram, errDiff, print);
    } catch (const std::bad_alloc &) {
        return 0;
    }
}

int gray2PrintData(uint8_t *grayImage, uint8_t *packed, uint32_t w, uint32_t h, const SharpeningParam *sharpen,
                   const HistogramParam *histogram, const ErrDiffParam *errDiff, PrintParam print) {
    if (grayImage == nullptr || packed == nullptr || !sizeAccepted(w, h, errDiff)) return 0;
    try {
        return runChain(grayImage, packed, w, h, sharpen, histogram, errDiff, print);
    } catch (const std::bad_alloc &) {
        return 0;
    }
}

void rgb2Gray(const uint8_t *rgb, uint32_t w, uint32_t h, uint8_t *grayImage) {
    const size_t n = static_cast<size_t>(w) * h;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t *p = rgb + 3 * i;
        const float g = (p[0] * 0.2989f + p[1] * 0.587f) + p[2] * 0.114f;
        const int v = static_cast<int>(g);
        grayImage[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

int gaussianBlur_temp(const uint8_t *source, uint8_t *blurred, uint32_t w, uint32_t h, uint16_t radius) {
    // The pipeline's blur: the same kernel, edge handling and truncation.
    const int status = gaussianBlur(source, blurred, w, h, radius);
    return status == 0 ? 0 : 2;
}

int sharpening(const uint8_t *source, uint8_t *destination, uint32_t w, uint32_t h, uint16_t radius, float amount) {
    const size_t n = static_cast<size_t>(w) * h;
    try {
        std::vector<uint8_t> blurred(n);
        if (gaussianBlur_temp(source, blurred.data(), w, h, radius) != 0) return 2;
        for (size_t i = 0; i < n; ++i) {
            const int p = source[i];
            const int term = static_cast<int>(amount * static_cast<float>(p - blurred[i]));
            destination[i] = clampByte(p + term);
        }
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

void imageHeightenHistogram(const uint8_t *source, uint8_t *destination, uint32_t w, uint32_t h, uint8_t regionsX,
                            uint8_t regionsY, uint8_t bins, uint8_t clipLimit) {
    const size_t n = static_cast<size_t>(w) * h;
    std::memcpy(destination, source, n);
    const unsigned int nrX = regionCount(w, regionsX);
    const unsigned int nrY = regionCount(h, regionsY);
    if (nrX == 0 || nrY == 0 || n == 0) return;
    const auto range = std::minmax_element(source, source + n);
    if (_CLAHE(destination, w, h, *range.first, *range.second, nrX, nrY, bins, static_cast<float>(clipLimit)) != 0)
        std::memcpy(destination, source, n);
}

uint8_t getBestThreshold(const uint8_t *grayImage, uint32_t w, uint32_t h) {
    const size_t n = static_cast<size_t>(w) * h;
    std::array<uint64_t, 256> histogram{};
    for (size_t i = 0; i < n; ++i) ++histogram[grayImage[i]];
    float totalSum = 0.0f;
    for (int v = 0; v < 256; ++v) totalSum += static_cast<float>(v) * static_cast<float>(histogram[v]);
    const float total = static_cast<float>(n);

    float w0 = 0.0f;
    float sum0 = 0.0f;
    float bestScore = 0.0f;
    uint8_t best = 0;
    for (int t = 0; t < 256; ++t) {
        w0 += static_cast<float>(histogram[t]);
        sum0 += static_cast<float>(t) * static_cast<float>(histogram[t]);
        const float w1 = total - w0;
        if (w0 == 0.0f || w1 == 0.0f) continue;
        const float mean0 = sum0 / w0;
        const float mean1 = (totalSum - sum0) / w1;
        const float score = w0 * w1 * (mean0 - mean1) * (mean0 - mean1);
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<uint8_t>(t);
        }
    }
    return best;
}

uint8_t getBinDiffFromErrDiff(uint8_t pixel, uint8_t threshold, int32_t *error) {
    if (pixel <= threshold) {
        *error = pixel;
        return 0;
    }
    *error = pixel - 255;
    return 255;
}

uint8_t getGray16DiffFromErrDiff(uint8_t pixel, int32_t *error) {
    *error = pixel & 0x0F;
    return static_cast<uint8_t>(pixel & 0xF0);
}

void errDiffWritePixel(uint8_t *grayImage, uint32_t w, uint32_t h, int64_t x, int64_t y, int32_t error, int32_t weight,
                       int32_t divisor) {
    if (x < 1 || y < 0 || x >= w || y >= h) return;
    uint8_t &pixel = grayImage[static_cast<size_t>(y) * w + static_cast<size_t>(x)];
    pixel = clampByte(pixel + error * weight / divisor);
}

void m2errDiff(uint8_t *grayImage, uint32_t w, uint32_t h, uint32_t x, uint32_t y, int32_t error) {
    const int64_t cx = x;
    const int64_t cy = y;
    errDiffWritePixel(grayImage, w, h, cx + 1, cy, error, 7, 16);
    errDiffWritePixel(grayImage, w, h, cx - 1, cy + 1, error, 3, 16);
    errDiffWritePixel(grayImage, w, h, cx, cy + 1, error, 5, 16);
    errDiffWritePixel(grayImage, w, h, cx + 1, cy + 1, error, 1, 16);
}

void m3errDiff(uint8_t *grayImage, uint32_t w, uint32_t h, uint32_t x, uint32_t y, int32_t error) {
    const int64_t cx = x;
    const int64_t cy = y;
    errDiffWritePixel(grayImage, w, h, cx + 1, cy, error, 8, 42);
    errDiffWritePixel(grayImage, w, h, cx + 2, cy, error, 4, 42);
    constexpr std::array<int32_t, 5> kNext = {2, 4, 8, 4, 2};
    constexpr std::array<int32_t, 5> kAfter = {1, 2, 4, 2, 1};
    for (int k = 0; k < 5; ++k) errDiffWritePixel(grayImage, w, h, cx - 2 + k, cy + 1, error, kNext[k], 42);
    for (int k = 0; k < 5; ++k) errDiffWritePixel(grayImage, w, h, cx - 2 + k, cy + 2, error, kAfter[k], 42);
}

void errDiffImg(uint8_t *grayImage, uint32_t w, uint32_t h, int32_t method, int32_t twoLevel, uint8_t threshold) {
    if ((method != 0 && method != 1) || (twoLevel != 0 && twoLevel != 1)) return;
    if (twoLevel == 1 && threshold == 0) threshold = 127;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t &pixel = grayImage[static_cast<size_t>(y) * w + x];
            int32_t error = 0;
            pixel = twoLevel == 1 ? getBinDiffFromErrDiff(pixel, threshold, &error)
                                  : getGray16DiffFromErrDiff(pixel, &error);
            if (method == 1)
                m2errDiff(grayImage, w, h, x, y, error);
            else
                m3errDiff(grayImage, w, h, x, y, error);
        }
    }
}

void gray2BinByte(const uint8_t *grayImage, uint64_t n, uint8_t *packed, uint8_t threshold) {
    for (uint64_t i = 0; i < n; ++i)
        if (grayImage[i] < threshold) packed[i / 8] |= static_cast<uint8_t>(1u << kBitShift[i % 8]);
}

void invertColors(uint8_t *packed, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) packed[i] = static_cast<uint8_t>(~packed[i]);
}

uint8_t invertHex(uint8_t byte) {
    uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (byte & (1u << bit)) out |= static_cast<uint8_t>(0x80u >> bit);
    return out;
}

void invertDirection(uint8_t *packed, uint64_t count) {
    for (uint64_t i = 0; i < count / 2; ++i) {
        const uint8_t first = invertHex(packed[i]);
        packed[i] = invertHex(packed[count - 1 - i]);
        packed[count - 1 - i] = first;
    }
    if (count % 2 == 1) packed[count / 2] = invertHex(packed[count / 2]);
}
