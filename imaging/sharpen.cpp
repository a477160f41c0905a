#include "imaging/sharpen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/zv_image.h"

namespace {

uint8_t clampByte(int v) { return static_cast<uint8_t>(std::min(std::max(v, 0), 255)); }

// Truncation toward zero of a correction term. Far beyond the byte range the
// result only feeds a clamp, so it is capped to keep the conversion defined.
int truncateTerm(float v) {
    if (std::isnan(v)) return 0;
    if (v < -1.0e6f) return -1000000;
    if (v > 1.0e6f) return 1000000;
    return static_cast<int>(v);
}

uint8_t clampTruncate(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

// Index of every coordinate from -radius to size-1+radius, clamped into the
// image: entry k is for coordinate k - radius.
std::vector<uint32_t> clampedIndices(uint32_t size, uint16_t radius) {
    std::vector<uint32_t> idx(static_cast<size_t>(size) + 2 * static_cast<size_t>(radius));
    for (size_t k = 0; k < idx.size(); ++k) {
        const long long c = static_cast<long long>(k) - radius;
        idx[k] = static_cast<uint32_t>(std::min<long long>(std::max<long long>(c, 0), size - 1));
    }
    return idx;
}

bool emptyGray(const ZVImage *image) { return isEmptyGrayData(image); }

size_t pixelCount(const ZVImage *image) { return static_cast<size_t>(image->width) * image->height; }

// Blurs grayData into `blurred` with the Gaussian or bilateral filter.
int gaussianOf(const ZVImage *image, uint16_t radius, std::vector<uint8_t> &blurred) {
    blurred.resize(pixelCount(image));
    return gaussianBlur(image->grayData, blurred.data(), image->width, image->height, radius);
}

}  // namespace

int gaussianBlur(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, uint16_t radius) {
    if (src == nullptr || dst == nullptr || width == 0 || height == 0) return 1;
    const size_t n = static_cast<size_t>(width) * height;
    if (radius == 0) {
        if (dst != src) std::memmove(dst, src, n);
        return 0;
    }
    try {
        const int r = radius;
        const float sigma = static_cast<float>(r) / 2.0f;
        std::vector<float> kernel(2 * static_cast<size_t>(r) + 1);
        float sum = 0.0f;
        for (int i = 0; i <= 2 * r; ++i) {
            const float d = static_cast<float>(i - r);
            const float q = -(d * d) / (2.0f * sigma * sigma);
            kernel[i] = static_cast<float>(std::exp(static_cast<double>(q)));
            sum += kernel[i];
        }
        for (float &w : kernel) w /= sum;

        std::vector<uint8_t> work(n);
        const std::vector<uint32_t> cols = clampedIndices(width, radius);
        const std::vector<uint32_t> rows = clampedIndices(height, radius);
        const size_t taps = kernel.size();

        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t *in = src + static_cast<size_t>(y) * width;
            uint8_t *out = work.data() + static_cast<size_t>(y) * width;
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t *c = &cols[x];  // coordinates x - r .. x + r
                float acc = 0.0f;
                for (size_t i = 0; i < taps; ++i) acc += static_cast<float>(in[c[i]]) * kernel[i];
                out[x] = clampTruncate(acc);
            }
        }
        // Vertical pass row by row so the work plane is read sequentially; each
        // output pixel still sums its taps in kernel order.
        std::vector<float> acc(width);
        for (uint32_t y = 0; y < height; ++y) {
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (size_t i = 0; i < taps; ++i) {
                const uint8_t *in = work.data() + static_cast<size_t>(rows[y + i]) * width;
                const float w = kernel[i];
                for (uint32_t x = 0; x < width; ++x) acc[x] += static_cast<float>(in[x]) * w;
            }
            uint8_t *out = dst + static_cast<size_t>(y) * width;
            for (uint32_t x = 0; x < width; ++x) out[x] = clampTruncate(acc[x]);
        }
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

int bilateralFilter(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, uint16_t radius,
                    float rangeSigma) {
    if (src == nullptr || dst == nullptr || width == 0 || height == 0) return 1;
    const size_t n = static_cast<size_t>(width) * height;
    if (radius == 0) {
        if (dst != src) std::memmove(dst, src, n);
        return 0;
    }
    try {
        const int r = radius;
        const size_t side = 2 * static_cast<size_t>(r) + 1;
        const float sigma = static_cast<float>(r) / 2.0f;
        std::vector<float> spatial(side * side);
        float sum = 0.0f;
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                const float q = -static_cast<float>(dx * dx + dy * dy) / (2.0f * sigma * sigma);
                const float w = static_cast<float>(std::exp(static_cast<double>(q)));
                spatial[static_cast<size_t>(dy + r) * side + (dx + r)] = w;
                sum += w;
            }
        }
        for (float &w : spatial) w /= sum;

        // The range weight depends only on |q - p|, so it is evaluated once
        // per difference with the same expression as per neighbour.
        float range[256];
        for (int d = 0; d < 256; ++d) {
            const float diff = static_cast<float>(d);
            const float q = -(diff * diff) / (2.0f * rangeSigma * rangeSigma);
            range[d] = static_cast<float>(std::exp(static_cast<double>(q)));
        }

        std::vector<uint8_t> out(n);
        const std::vector<uint32_t> cols = clampedIndices(width, radius);
        const std::vector<uint32_t> rows = clampedIndices(height, radius);
        std::vector<const uint8_t *> window(side);

        for (uint32_t y = 0; y < height; ++y) {
            for (size_t k = 0; k < side; ++k) window[k] = src + static_cast<size_t>(rows[y + k]) * width;
            const uint8_t *centre = src + static_cast<size_t>(y) * width;
            for (uint32_t x = 0; x < width; ++x) {
                const int p = centre[x];
                const uint32_t *c = &cols[x];
                float acc = 0.0f;
                float weights = 0.0f;
                for (size_t k = 0; k < side; ++k) {
                    const uint8_t *row = window[k];
                    const float *ws = &spatial[k * side];
                    for (size_t i = 0; i < side; ++i) {
                        const int q = row[c[i]];
                        const float w = ws[i] * range[std::abs(q - p)];
                        acc += static_cast<float>(q) * w;
                        weights += w;
                    }
                }
                out[static_cast<size_t>(y) * width + x] = clampTruncate(acc / weights);
            }
        }
        std::memcpy(dst, out.data(), n);
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

int ZVImageSharpenTattoo(ZVImage *image) {
    if (emptyGray(image)) return 1;
    uint8_t *gray = image->grayData;
    const size_t n = pixelCount(image);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t p = gray[i];
        if (p > 230 && p < 240) {
            gray[i] = static_cast<uint8_t>(p + 5);
        } else if (p >= 240) {
            gray[i] = 255;
        }
    }
    return 0;
}

int ZVImageSharpenUnsharpMasking(ZVImage *image, uint16_t radius, float amount) {
    if (emptyGray(image)) return 1;
    try {
        std::vector<uint8_t> blurred;
        if (gaussianOf(image, radius, blurred) != 0) return 2;
        uint8_t *gray = image->grayData;
        const size_t n = pixelCount(image);
        for (size_t i = 0; i < n; ++i) {
            const int p = gray[i];
            gray[i] = clampByte(p + truncateTerm(amount * static_cast<float>(p - blurred[i])));
        }
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

int ZVImageSharpenAdaptive(ZVImage *image, uint16_t radius, float amount) {
    if (emptyGray(image)) return 1;
    try {
        std::vector<uint8_t> blurred;
        if (gaussianOf(image, radius, blurred) != 0) return 2;
        uint8_t *gray = image->grayData;
        const size_t n = pixelCount(image);
        const float strong = 0.7f * amount;
        for (size_t i = 0; i < n; ++i) {
            const int p = gray[i];
            const int d = p - blurred[i];
            const int magnitude = std::abs(d);
            if (magnitude <= 10) continue;
            const float f = magnitude < 51 ? amount : strong;
            gray[i] = clampByte(p + truncateTerm(f * static_cast<float>(d)));
        }
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

int ZVImageSharpenEdgePreserving(ZVImage *image, uint16_t radius, float amount) {
    if (emptyGray(image)) return 1;
    try {
        std::vector<uint8_t> blurred(pixelCount(image));
        if (bilateralFilter(image->grayData, blurred.data(), image->width, image->height, radius, 15.0f) != 0) {
            return 2;
        }
        uint8_t *gray = image->grayData;
        const size_t n = pixelCount(image);
        for (size_t i = 0; i < n; ++i) {
            const int p = gray[i];
            gray[i] = clampByte(p + truncateTerm(amount * static_cast<float>(p - blurred[i])));
        }
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

int ZVImageSharpenHighPass(ZVImage *image, uint16_t radius, float amount) {
    if (emptyGray(image)) return 1;
    try {
        std::vector<uint8_t> blurred;
        if (gaussianOf(image, radius, blurred) != 0) return 2;
        uint8_t *gray = image->grayData;
        const size_t n = pixelCount(image);
        for (size_t i = 0; i < n; ++i) {
            const int p = gray[i];
            const int d = p - blurred[i];
            const int magnitude = std::abs(d);
            if (magnitude <= 5) continue;
            const int e = magnitude < 30 ? 2 * d : d;
            gray[i] = clampByte(p + truncateTerm(amount * static_cast<float>(e)));
        }
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

int ZVImageSharpenMultiScale(ZVImage *image, uint16_t radius, float amount) {
    if (emptyGray(image)) return 1;
    const size_t n = pixelCount(image);
    std::vector<uint8_t> original;
    try {
        original.assign(image->grayData, image->grayData + n);
    } catch (const std::bad_alloc &) {
        return 2;
    }

    uint16_t fineRadius = static_cast<uint16_t>(radius / 2);
    if (fineRadius == 0) fineRadius = 1;
    const int fine = ZVImageSharpenUnsharpMasking(image, fineRadius, 0.7f * amount);
    if (fine != 0) return fine;

    ZVImage *coarse = creatZVImageWithGrayData(original.data(), image->width, image->height);
    if (coarse == nullptr) return 2;
    const int status = ZVImageSharpenUnsharpMasking(coarse, radius, 0.5f * amount);
    if (status == 0) {
        uint8_t *gray = image->grayData;
        const uint8_t *c = coarse->grayData;
        for (size_t i = 0; i < n; ++i) {
            gray[i] = clampTruncate(static_cast<float>(gray[i]) * 0.6f + static_cast<float>(c[i]) * 0.4f);
        }
    }
    freeZVImageData(coarse);
    std::free(coarse);
    return status;
}
