#include "imaging/zv_dither.h"

#include <array>
#include <cstddef>
#include <exception>
#include <vector>

#include "imaging/simple_rand.h"

const DiffusionCoeff floydSteinbergCoeffs[4] = {
    {1, 0, 7.0f / 16.0f}, {-1, 1, 3.0f / 16.0f}, {0, 1, 5.0f / 16.0f}, {1, 1, 1.0f / 16.0f}};

const DiffusionCoeff burkesCoeffs[7] = {{1, 0, 8.0f / 32.0f},  {2, 0, 4.0f / 32.0f}, {-2, 1, 2.0f / 32.0f},
                                        {-1, 1, 4.0f / 32.0f}, {0, 1, 8.0f / 32.0f}, {1, 1, 4.0f / 32.0f},
                                        {2, 1, 2.0f / 32.0f}};

const DiffusionCoeff sierraCoeffs[10] = {
    {1, 0, 5.0f / 32.0f}, {2, 0, 3.0f / 32.0f}, {-2, 1, 2.0f / 32.0f}, {-1, 1, 4.0f / 32.0f}, {0, 1, 5.0f / 32.0f},
    {1, 1, 4.0f / 32.0f}, {2, 1, 2.0f / 32.0f}, {-1, 2, 2.0f / 32.0f}, {0, 2, 3.0f / 32.0f},  {1, 2, 2.0f / 32.0f}};

const DiffusionCoeff jarvisCoeffs[12] = {{1, 0, 7.0f / 48.0f},  {2, 0, 5.0f / 48.0f},  {-2, 1, 3.0f / 48.0f},
                                         {-1, 1, 5.0f / 48.0f}, {0, 1, 7.0f / 48.0f},  {1, 1, 5.0f / 48.0f},
                                         {2, 1, 3.0f / 48.0f},  {-2, 2, 1.0f / 48.0f}, {-1, 2, 3.0f / 48.0f},
                                         {0, 2, 5.0f / 48.0f},  {1, 2, 3.0f / 48.0f},  {2, 2, 1.0f / 48.0f}};

const DiffusionAlgo floydSteinbergAlgo = {floydSteinbergCoeffs, 4};
const DiffusionAlgo burkesAlgo = {burkesCoeffs, 7};
const DiffusionAlgo sierraAlgo = {sierraCoeffs, 10};
const DiffusionAlgo jarvisAlgo = {jarvisCoeffs, 12};

const float bayerMatrix[4][4] = {
    {0.0f, 8.0f, 2.0f, 10.0f},
    {12.0f, 4.0f, 14.0f, 6.0f},
    {3.0f, 11.0f, 1.0f, 9.0f},
    {15.0f, 7.0f, 13.0f, 5.0f},
};

namespace {

bool rowRunsLeftToRight(uint32_t scanMode, uint32_t y) {
    if (scanMode == 0) return true;
    if (scanMode == 1) return (y & 1u) == 0;
    return false;
}

// Calls visit(x) for every column of row y in the row order of scanMode.
template <typename Visit>
void forEachColumn(uint32_t width, uint32_t scanMode, uint32_t y, Visit visit) {
    if (rowRunsLeftToRight(scanMode, y)) {
        for (uint32_t x = 0; x < width; ++x) visit(x, true);
    } else {
        for (uint32_t x = width; x-- > 0;) visit(x, false);
    }
}

// The jitter added to a threshold when randomThreshold is set.
float thresholdJitter() { return (simpleRand() - 0.5f) * 20.0f; }

// The float work plane holding the gray values; throws std::bad_alloc.
std::vector<float> makeWorkPlane(const ZVImage *image, size_t pixels) {
    std::vector<float> work(pixels);
    for (size_t i = 0; i < pixels; ++i) work[i] = static_cast<float>(image->grayData[i]);
    return work;
}

// Kernels reach at most two columns sideways and two rows down.
constexpr int kPad = 2;

// A float copy of the gray plane with kPad spare columns on each side and kPad
// spare rows below; throws std::bad_alloc.
struct PaddedPlane {
    explicit PaddedPlane(const ZVImage *image)
        : stride(static_cast<size_t>(image->width) + 2 * kPad),
          cells(stride * (static_cast<size_t>(image->height) + kPad), 0.0f) {
        const size_t width = image->width;
        for (size_t y = 0; y < image->height; ++y) {
            float *target = row(static_cast<uint32_t>(y));
            const uint8_t *source = image->grayData + y * width;
            for (size_t x = 0; x < width; ++x) target[x] = static_cast<float>(source[x]);
        }
    }
    float *row(uint32_t y) { return cells.data() + static_cast<size_t>(y) * stride + kPad; }

    size_t stride;
    std::vector<float> cells;
};

// The padded form of the shared diffusion for kernels of up to N entries; a
// fixed N lets the compiler unroll the spreading of the error.
template <int N>
void diffusePadded(PaddedPlane &plane, ZVImage *image, uint32_t scanMode, uint32_t randomThreshold,
                   DiffusionAlgo algo) {
    std::array<ptrdiff_t, N> offsets{};
    std::array<float, N> weights{};  // entries beyond the kernel stay 0
    for (int k = 0; k < algo.count && k < N; ++k) {
        offsets[k] =
            static_cast<ptrdiff_t>(algo.coeffs[k].dy) * static_cast<ptrdiff_t>(plane.stride) + algo.coeffs[k].dx;
        weights[k] = algo.coeffs[k].weight;
    }
    const int count = algo.count < N ? algo.count : N;
    const uint32_t width = image->width;
    for (uint32_t y = 0; y < image->height; ++y) {
        float *row = plane.row(y);
        uint8_t *grayRow = image->grayData + static_cast<size_t>(y) * width;
        forEachColumn(width, scanMode, y, [&](uint32_t x, bool) {
            float *cell = row + x;
            const float value = *cell;
            const bool white = value > getThreshold(randomThreshold, value);
            grayRow[x] = white ? 255 : 0;
            const float error = value - (white ? 255.0f : 0.0f);
            if (count == N) {
                for (int k = 0; k < N; ++k) cell[offsets[k]] += error * weights[k];
            } else {
                for (int k = 0; k < count; ++k) cell[offsets[k]] += error * weights[k];
            }
        });
    }
}

}  // namespace

float getThreshold(uint32_t randomThreshold, float /*value*/) {
    if (randomThreshold != 0) return 128.0f + thresholdJitter();
    return 128.0f;
}

void processPixel(uint32_t width, uint32_t height, float *work, uint8_t *gray, uint32_t x, uint32_t y,
                  uint32_t randomThreshold, DiffusionAlgo algo) {
    const size_t index = static_cast<size_t>(y) * width + x;
    const float value = work[index];
    const float threshold = getThreshold(randomThreshold, value);
    const float output = value > threshold ? 255.0f : 0.0f;
    gray[index] = value > threshold ? 255 : 0;
    const float error = value - output;
    for (int k = 0; k < algo.count; ++k) {
        const DiffusionCoeff &c = algo.coeffs[k];
        const int64_t nx = static_cast<int64_t>(x) + c.dx;
        const int64_t ny = static_cast<int64_t>(y) + c.dy;
        if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
        work[static_cast<size_t>(ny) * width + static_cast<size_t>(nx)] += error * c.weight;
    }
}

int errorDiffusion(ZVImage *image, uint32_t scanMode, uint32_t randomThreshold, DiffusionAlgo algo) {
    if (isEmptyGrayData(image)) return 1;
    if (algo.coeffs == nullptr || algo.count < 0) return 1;
    if (randomThreshold != 0) seedSimpleRandFromClock();
    const uint32_t width = image->width;
    const uint32_t height = image->height;
    // Kernels reaching further than the padding go through processPixel.
    bool padded = algo.count <= 16;
    for (int k = 0; k < algo.count; ++k) {
        const DiffusionCoeff &c = algo.coeffs[k];
        padded = padded && c.dx >= -kPad && c.dx <= kPad && c.dy >= 0 && c.dy <= kPad;
    }
    try {
        if (!padded) {
            std::vector<float> work = makeWorkPlane(image, zvImagePixelCount(width, height));
            for (uint32_t y = 0; y < height; ++y) {
                forEachColumn(width, scanMode, y, [&](uint32_t x, bool) {
                    processPixel(width, height, work.data(), image->grayData, x, y, randomThreshold, algo);
                });
            }
            return 0;
        }
        // Same arithmetic as processPixel on a plane with spare cells around
        // the image: shares that leave the image land there and are never
        // read, so the result is identical without a bounds check per share.
        PaddedPlane plane(image);
        switch (algo.count) {
            case 4:
                diffusePadded<4>(plane, image, scanMode, randomThreshold, algo);
                break;
            case 7:
                diffusePadded<7>(plane, image, scanMode, randomThreshold, algo);
                break;
            case 10:
                diffusePadded<10>(plane, image, scanMode, randomThreshold, algo);
                break;
            case 12:
                diffusePadded<12>(plane, image, scanMode, randomThreshold, algo);
                break;
            default:
                diffusePadded<16>(plane, image, scanMode, randomThreshold, algo);
                break;
        }
    } catch (const std::exception &) {  // bad_alloc or length_error: no work plane
        return 2;
    }
    return 0;
}

int ZVImageFloydSteinbergDither(ZVImage *image, ImageProcessingSetting setting) {
    return errorDiffusion(image, setting.scanMode, setting.randomThreshold, floydSteinbergAlgo);
}

int ZVImageBurkesDither(ZVImage *image, ImageProcessingSetting setting) {
    return errorDiffusion(image, setting.scanMode, setting.randomThreshold, burkesAlgo);
}

int ZVImageSierraDither(ZVImage *image, ImageProcessingSetting setting) {
    return errorDiffusion(image, setting.scanMode, setting.randomThreshold, sierraAlgo);
}

int ZVImageJarvisJudiceNinkeDither(ZVImage *image, ImageProcessingSetting setting) {
    return errorDiffusion(image, setting.scanMode, setting.randomThreshold, jarvisAlgo);
}

int ZVImageAtkinsonDither(ZVImage *image, ImageProcessingSetting setting) {
    if (isEmptyGrayData(image)) return 1;
    const uint32_t randomThreshold = setting.randomThreshold;
    if (randomThreshold != 0) seedSimpleRandFromClock();
    const uint32_t width = image->width;
    const uint32_t height = image->height;
    uint8_t *gray = image->grayData;
    try {
        PaddedPlane plane(image);
        const auto stride = static_cast<ptrdiff_t>(plane.stride);
        // Six eighths of the error go forward along the row direction; the
        // other two are dropped, which keeps highlights and shadows clean.
        // Shares leaving the image fall into the plane's spare cells.
        const std::array<ptrdiff_t, 6> forward = {1, 2, stride - 1, stride, stride + 1, 2 * stride};
        const std::array<ptrdiff_t, 6> backward = {-1, -2, stride + 1, stride, stride - 1, 2 * stride};
        for (uint32_t y = 0; y < height; ++y) {
            float *row = plane.row(y);
            uint8_t *grayRow = gray + static_cast<size_t>(y) * width;
            forEachColumn(width, setting.scanMode, y, [&](uint32_t x, bool leftToRight) {
                float *cell = row + x;
                const float value = *cell;
                const float threshold = getThreshold(randomThreshold, value);
                const float output = value > threshold ? 255.0f : 0.0f;
                grayRow[x] = value > threshold ? 255 : 0;
                const float error = (value - output) / 8.0f;
                for (ptrdiff_t offset : leftToRight ? forward : backward) cell[offset] += error;
            });
        }
    } catch (const std::exception &) {  // bad_alloc or length_error: no work plane
        return 2;
    }
    return 0;
}

int ZVImageTextImageDither(ZVImage *image) {
    if (isEmptyGrayData(image)) return 1;
    const size_t width = image->width;
    const size_t height = image->height;
    const size_t stride = width + 4;
    uint8_t *gray = image->grayData;
    try {
        // Two spare columns on each side and two spare rows below take the
        // error that leaves the image, so the kernel needs no bounds checks.
        std::vector<int16_t> work(stride * (height + 2), 0);
        for (size_t y = 0; y < height; ++y) {
            for (size_t x = 0; x < width; ++x) work[y * stride + x + 2] = gray[y * width + x];
        }
        for (size_t y = 0; y < height; ++y) {
            int16_t *row0 = &work[y * stride + 2];
            int16_t *row1 = row0 + stride;
            int16_t *row2 = row1 + stride;
            // Signed column: x - 2 reaches into the left margin and must not
            // wrap around as an unsigned index would.
            for (ptrdiff_t x = 0; x < static_cast<ptrdiff_t>(width); ++x) {
                const int value = row0[x];
                int error;
                if (value > 130) {
                    gray[y * width + static_cast<size_t>(x)] = 255;
                    error = value - 255;
                } else {
                    gray[y * width + static_cast<size_t>(x)] = 0;
                    error = value;
                }
                const auto add = [error](int16_t &cell, int k) { cell = static_cast<int16_t>(cell + error * k / 42); };
                add(row0[x + 1], 8);
                add(row0[x + 2], 4);
                add(row1[x - 2], 2);
                add(row1[x - 1], 4);
                add(row1[x], 8);
                add(row1[x + 1], 4);
                add(row1[x + 2], 2);
                add(row2[x - 2], 1);
                add(row2[x - 1], 2);
                add(row2[x], 4);
                add(row2[x + 1], 2);
                add(row2[x + 2], 1);
            }
        }
    } catch (const std::exception &) {  // bad_alloc or length_error: no work plane
        return 2;
    }
    return 0;
}

int ZVImageOrderedBayerDither(ZVImage *image, ImageProcessingSetting setting) {
    if (isEmptyGrayData(image)) return 1;
    const uint32_t randomThreshold = setting.randomThreshold;
    if (randomThreshold != 0) seedSimpleRandFromClock();
    const uint32_t width = image->width;
    uint8_t *gray = image->grayData;
    for (uint32_t y = 0; y < image->height; ++y) {
        forEachColumn(width, setting.scanMode, y, [&](uint32_t x, bool) {
            float threshold = 16.0f * bayerMatrix[y % 4][x % 4];
            if (randomThreshold != 0) threshold += thresholdJitter();
            uint8_t &pixel = gray[static_cast<size_t>(y) * width + x];
            pixel = static_cast<float>(pixel) > threshold ? 255 : 0;
        });
    }
    return 0;
}

int ZVImageRandomDither(ZVImage *image, ImageProcessingSetting setting) {
    if (isEmptyGrayData(image)) return 1;
    const uint32_t randomThreshold = setting.randomThreshold;
    if (randomThreshold != 0) seedSimpleRandFromClock();
    const uint32_t width = image->width;
    uint8_t *gray = image->grayData;
    for (uint32_t y = 0; y < image->height; ++y) {
        forEachColumn(width, setting.scanMode, y, [&](uint32_t x, bool) {
            float threshold = simpleRand() * 255.0f;
            if (randomThreshold != 0) threshold += thresholdJitter();
            uint8_t &pixel = gray[static_cast<size_t>(y) * width + x];
            pixel = static_cast<float>(pixel) > threshold ? 255 : 0;
        });
    }
    return 0;
}

int ZVImageThresholding(ZVImage *image, uint8_t threshold) {
    if (isEmptyGrayData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *gray = image->grayData;
    for (size_t i = 0; i < pixels; ++i) gray[i] = gray[i] >= threshold ? 255 : 0;
    return 0;
}
