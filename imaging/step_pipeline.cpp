#include "imaging/step_pipeline.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct ZvFree {
    void operator()(void *p) const { zv_free(p); }
};

// A work area from zv_malloc, released when it goes out of scope; null when
// the size does not fit in 32 bits or the memory cannot be had.
template <typename T>
std::unique_ptr<T[], ZvFree> workArea(uint64_t count) {
    const uint64_t bytes = count * sizeof(T);
    if (count == 0 || bytes / sizeof(T) != count || bytes > UINT32_MAX) return nullptr;
    return std::unique_ptr<T[], ZvFree>(static_cast<T *>(zv_malloc(static_cast<uint32_t>(bytes))));
}

uint64_t pixelsOf(const ZVImage *image) { return static_cast<uint64_t>(image->width) * image->height; }

bool hasGray(const ZVImage *image) { return !isEmptyGrayData(image); }

constexpr uint32_t kTile = 32;

float g_blueNoise64[64][64];
bool g_blueNoiseInit = false;

// The steps proper. Each returns false when it could not run for want of
// memory or planes; the image is then unchanged.

bool rgbaToGray(ZVImage *image) {
    if (isEmptyRGBAData(image) || !hasGray(image)) return false;
    // The share of the pixel and of the white paper behind it, per alpha.
    std::array<float, 256> share{}, paper{};
    for (int alpha = 0; alpha < 256; ++alpha) {
        share[alpha] = static_cast<float>(alpha) / 255.0f;
        paper[alpha] = 255.0f * (1.0f - share[alpha]);
    }
    const uint64_t pixels = pixelsOf(image);
    const uint8_t *p = image->rgbaData;
    uint8_t *gray = image->grayData;
    for (uint64_t i = 0; i < pixels; ++i, p += 4) {
        // Composited over white paper: a transparent pixel is paper.
        const float a = share[p[3]];
        const float g = paper[p[3]];
        const float r = static_cast<float>(p[0]) * a + g;
        const float gr = static_cast<float>(p[1]) * a + g;
        const float b = static_cast<float>(p[2]) * a + g;
        gray[i] = CLIP8((r * 0.299f + 0.587f * gr) + b * 0.114f);
    }
    return true;
}

// The tile's 256-level map: clipped histogram, excess spread evenly, then the
// cumulative counts stretched over 0..255.
void tileMap(const uint8_t *gray, uint32_t width, uint32_t x0, uint32_t y0, uint32_t tw, uint32_t th, uint8_t *map) {
    std::array<uint32_t, 256> histogram{};
    for (uint32_t y = 0; y < th; ++y) {
        const uint8_t *row = gray + static_cast<size_t>(y0 + y) * width + x0;
        for (uint32_t x = 0; x < tw; ++x) ++histogram[row[x]];
    }
    const uint32_t n = tw * th;
    uint32_t limit = static_cast<uint32_t>(static_cast<float>(n) * 0.00390625f * 2.5f + 0.5f);
    if (limit < 1) limit = 1;
    uint32_t excess = 0;
    for (uint32_t &bin : histogram) {
        if (bin > limit) {
            excess += bin - limit;
            bin = limit;
        }
    }
    const uint32_t share = excess / 256;
    const uint32_t extra = excess % 256;
    for (uint32_t i = 0; i < 256; ++i) histogram[i] += share + (i < extra ? 1 : 0);

    std::array<uint32_t, 256> cumulative{};
    uint32_t running = 0;
    uint32_t cmin = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        running += histogram[i];
        cumulative[i] = running;
        if (cmin == 0) cmin = running;
    }
    const uint32_t total = running;
    if (total <= cmin) {
        for (uint32_t i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(i);
        return;
    }
    const float scale = 255.0f / static_cast<float>(total - cmin);
    for (uint32_t i = 0; i < 256; ++i) {
        map[i] = cumulative[i] >= cmin ? CLIP8(static_cast<float>(cumulative[i] - cmin) * scale) : 0;
    }
}

bool clahe(ZVImage *image) {
    if (!hasGray(image)) return false;
    const uint32_t width = image->width;
    const uint32_t height = image->height;
    const uint32_t tilesX = (width - 1) / kTile + 1;  // (width + 31) / 32 without the wrap
    const uint32_t tilesY = (height - 1) / kTile + 1;
    auto maps = workArea<uint8_t>(static_cast<uint64_t>(tilesX) * tilesY * 256);
    if (!maps) return false;
    const uint8_t *gray = image->grayData;
    for (uint32_t ty = 0; ty < tilesY; ++ty) {
        for (uint32_t tx = 0; tx < tilesX; ++tx) {
            const uint32_t x0 = tx * kTile, y0 = ty * kTile;
            const uint32_t tw = width - x0 < kTile ? width - x0 : kTile;
            const uint32_t th = height - y0 < kTile ? height - y0 : kTile;
            tileMap(gray, width, x0, y0, tw, th, &maps[(static_cast<size_t>(ty) * tilesX + tx) * 256]);
        }
    }
    // Each pixel between the maps of its tile and of the tiles to the right
    // and below, the maps anchored at the tiles' top-left corners. A pixel's
    // new value depends on its own old value only (the maps are complete),
    // so it is written in place.
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t ty = y / kTile;
        const uint32_t ty1 = ty + 1 < tilesY ? ty + 1 : ty;
        const float fy = static_cast<float>(y % kTile) / 32.0f;
        uint8_t *row = image->grayData + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t tx = x / kTile;
            const uint32_t tx1 = tx + 1 < tilesX ? tx + 1 : tx;
            const float fx = static_cast<float>(x % kTile) / 32.0f;
            const uint8_t v = row[x];
            const float m00 = maps[(static_cast<size_t>(ty) * tilesX + tx) * 256 + v];
            const float m01 = maps[(static_cast<size_t>(ty) * tilesX + tx1) * 256 + v];
            const float m10 = maps[(static_cast<size_t>(ty1) * tilesX + tx) * 256 + v];
            const float m11 = maps[(static_cast<size_t>(ty1) * tilesX + tx1) * 256 + v];
            const float top = m00 * (1.0f - fx) + m01 * fx;
            const float bottom = m10 * (1.0f - fx) + m11 * fx;
            row[x] = CLIP8(top * (1.0f - fy) + bottom * fy);
        }
    }
    return true;
}

// Sums of 3 and of 5 neighbours along row y (edges clamped).
void rowSums(const uint8_t *row, uint32_t width, uint16_t *s3, uint16_t *s5) {
    const auto at = [row, width](int64_t x) { return row[x < 0 ? 0 : (x >= width ? width - 1 : x)]; };
    const int64_t w = width;
    for (int64_t x = 0; x < w; ++x) {
        if (x >= 2 && x + 2 < w) {
            const unsigned inner = row[x - 1] + row[x] + row[x + 1];
            s3[x] = static_cast<uint16_t>(inner);
            s5[x] = static_cast<uint16_t>(inner + row[x - 2] + row[x + 2]);
        } else {
            const unsigned inner = at(x - 1) + at(x) + at(x + 1);
            s3[x] = static_cast<uint16_t>(inner);
            s5[x] = static_cast<uint16_t>(inner + at(x - 2) + at(x + 2));
        }
    }
}

bool detailEnhance(ZVImage *image) {
    if (!hasGray(image)) return false;
    const uint32_t width = image->width;
    const uint32_t height = image->height;
    // Row sums of the five rows around the current one, in a ring. Row y + 2
    // is summed before row y is written, and rows above were summed before
    // they were written, so every mean comes from the unchanged plane.
    constexpr uint64_t kRing = 5;
    auto sums3 = workArea<uint16_t>(kRing * width);
    auto sums5 = sums3 ? workArea<uint16_t>(kRing * width) : nullptr;
    if (!sums3 || !sums5) return false;
    uint8_t *gray = image->grayData;
    const auto clampRow = [height](int64_t y) { return y < 0 ? 0 : (y >= height ? height - 1 : y); };
    const auto slot = [width](int64_t y) { return static_cast<size_t>(y % kRing) * width; };
    const auto sumRow = [&](int64_t y) {
        rowSums(gray + static_cast<size_t>(y) * width, width, &sums3[slot(y)], &sums5[slot(y)]);
    };
    for (int64_t y = 0; y < 2 && y < height; ++y) sumRow(y);
    for (int64_t y = 0; y < height; ++y) {
        if (y + 2 < height) sumRow(y + 2);
        const uint16_t *a[3], *b[5];
        for (int k = 0; k < 3; ++k) a[k] = &sums3[slot(clampRow(y - 1 + k))];
        for (int k = 0; k < 5; ++k) b[k] = &sums5[slot(clampRow(y - 2 + k))];
        uint8_t *out = gray + static_cast<size_t>(y) * width;
        for (size_t x = 0; x < width; ++x) {
            const unsigned s3 = a[0][x] + a[1][x] + a[2][x];
            const unsigned s5 = b[0][x] + b[1][x] + b[2][x] + b[3][x] + b[4][x];
            const float a3 = static_cast<float>(s3) / 9.0f;
            const float a5 = static_cast<float>(s5) / 25.0f;
            const float d = CLIPF(a3 - a5, -40.0f, 40.0f);
            out[x] = CLIP8(d * 0.8f + static_cast<float>(out[x]));
        }
    }
    return true;
}

// 256-level power curve p -> CLIP8((p/255)^exponent * 255).
void applyPower(ZVImage *image, float exponent) {
    std::array<uint8_t, 256> curve{};
    for (int p = 0; p < 256; ++p) curve[p] = CLIP8(std::pow(static_cast<float>(p) / 255.0f, exponent) * 255.0f);
    uint8_t *gray = image->grayData;
    const uint64_t pixels = pixelsOf(image);
    for (uint64_t i = 0; i < pixels; ++i) gray[i] = curve[gray[i]];
}

// Mean and population deviation from exact integer sums (the same value for a
// small label and for a page of millions of pixels).
void meanAndDeviation(const ZVImage *image, float &mean, float &deviation) {
    const uint64_t pixels = pixelsOf(image);
    uint64_t sum = 0, squares = 0;
    const uint8_t *gray = image->grayData;
    for (uint64_t i = 0; i < pixels; ++i) {
        sum += gray[i];
        squares += static_cast<uint64_t>(gray[i]) * gray[i];
    }
    const double m = static_cast<double>(sum) / static_cast<double>(pixels);
    const double variance = static_cast<double>(squares) / static_cast<double>(pixels) - m * m;
    mean = static_cast<float>(m);
    deviation = static_cast<float>(std::sqrt(variance > 0.0 ? variance : 0.0));
}

bool adaptiveGamma(ZVImage *image) {
    if (!hasGray(image)) return false;
    const uint64_t pixels = pixelsOf(image);
    uint64_t sum = 0, dark = 0;
    const uint8_t *gray = image->grayData;
    for (uint64_t i = 0; i < pixels; ++i) {
        sum += gray[i];
        dark += gray[i] < 80;
    }
    const float mean = static_cast<float>(static_cast<double>(sum) / static_cast<double>(pixels));
    const float darkShare = static_cast<float>(static_cast<double>(dark) / static_cast<double>(pixels));
    float exponent;
    if (mean < 110.0f && darkShare > 0.35f) {
        exponent = 0.7f;
    } else if (mean >= 120.0f && mean <= 180.0f) {
        return true;
    } else {
        exponent = mean < 120.0f ? 0.8f : 1.15f;
    }
    applyPower(image, exponent);
    return true;
}

bool adaptiveContrast(ZVImage *image) {
    if (!hasGray(image)) return false;
    float mean, deviation;
    meanAndDeviation(image, mean, deviation);
    if (!(mean > 150.0f && deviation < 55.0f)) return true;
    applyPower(image, 1.08f);
    float mean2, unused;
    meanAndDeviation(image, mean2, unused);
    std::array<uint8_t, 256> curve{};
    for (int p = 0; p < 256; ++p) curve[p] = CLIP8((static_cast<float>(p) - mean2) * 1.25f + mean2);
    uint8_t *gray = image->grayData;
    const uint64_t pixels = pixelsOf(image);
    for (uint64_t i = 0; i < pixels; ++i) gray[i] = curve[gray[i]];
    return true;
}

bool jjnDither(ZVImage *image) {
    if (!hasGray(image) || image->pixByteData == nullptr) return false;
    init_blue_noise();
    const uint32_t width = image->width;
    const uint32_t height = image->height;
    // The errors of the current row and of the two below it, in a ring of
    // three rows with two spare columns on each side: shares that leave the
    // picture land in the spare columns or in rows past the last one and are
    // never read. A row's slot is cleared for the row three further down as
    // soon as it is done.
    constexpr uint32_t kPad = 2;
    constexpr uint64_t kRing = 3;
    const uint64_t stride = static_cast<uint64_t>(width) + 2 * kPad;
    const uint64_t cells = stride * kRing;
    auto error = workArea<float>(cells);
    // Per row: the sums of each column over the rows of the 3x3 neighbourhood
    // that lie inside the picture (gray values, never the errors).
    auto columns = error ? workArea<uint16_t>(width) : nullptr;
    if (!error || !columns) return false;
    std::memset(error.get(), 0, static_cast<size_t>(cells) * sizeof(float));
    std::memset(image->pixByteData, 0, zvImagePackedSize(width, height));

    // Target of kernel entry k from a pixel of ring row r, by direction.
    std::array<std::array<ptrdiff_t, 12>, kRing> forward{}, backward{};
    for (uint64_t r = 0; r < kRing; ++r) {
        for (int k = 0; k < 12; ++k) {
            const auto target = static_cast<ptrdiff_t>(((r + static_cast<uint64_t>(g_jjnDy[k])) % kRing) * stride);
            const auto from = static_cast<ptrdiff_t>(r * stride);
            forward[r][k] = target - from + g_jjnDx[k];
            backward[r][k] = target - from - g_jjnDx[k];
        }
    }
    // The noise term of every texel, computed as the threshold uses it.
    std::array<std::array<float, 64>, 64> noiseTerm{};
    for (int ny = 0; ny < 64; ++ny) {
        for (int nx = 0; nx < 64; ++nx) noiseTerm[ny][nx] = 0.08f * g_blueNoise64[ny][nx] * 255.0f;
    }
    const uint8_t *gray = image->grayData;
    uint8_t *packed = image->pixByteData;
    for (uint32_t y = 0; y < height; ++y) {
        const bool leftToRight = (y & 1u) == 0;
        const uint64_t slot = y % kRing;
        const std::array<ptrdiff_t, 12> &offsets = leftToRight ? forward[slot] : backward[slot];
        float *errorRow = error.get() + static_cast<size_t>(slot * stride) + kPad;
        const uint8_t *row = gray + static_cast<size_t>(y) * width;
        const uint8_t *above = row - (y > 0 ? width : 0);
        const uint8_t *below = row + (y + 1 < height ? width : 0);
        for (uint32_t x = 0; x < width; ++x) columns[x] = row[x];
        if (y > 0) {
            for (uint32_t x = 0; x < width; ++x) columns[x] = static_cast<uint16_t>(columns[x] + above[x]);
        }
        if (y + 1 < height) {
            for (uint32_t x = 0; x < width; ++x) columns[x] = static_cast<uint16_t>(columns[x] + below[x]);
        }
        const unsigned rowsIn = 1u + (y > 0) + (y + 1 < height);
        const float *noise = noiseTerm[y % 64].data();
        for (uint32_t i = 0; i < width; ++i) {
            const uint32_t x = leftToRight ? i : width - 1 - i;
            const float v = static_cast<float>(row[x]) + errorRow[x];
            const float k = noise[x % 64];
            // Local mean of the gray values of the 3x3 pixels inside the picture.
            unsigned sum = columns[x];
            unsigned columnsIn = 1;
            if (x > 0) sum += columns[x - 1], ++columnsIn;
            if (x + 1 < width) sum += columns[x + 1], ++columnsIn;
            const unsigned count = columnsIn * rowsIn;
            const float mean = static_cast<float>(sum) / static_cast<float>(count);
            const float t = CLIPF((128.0f + k) + (mean - 128.0f) * 0.15f, 90.0f, 166.0f);
            float out = 255.0f;
            if (!(v > t)) {
                out = 0.0f;
                const uint64_t bit = static_cast<uint64_t>(y) * width + x;
                packed[bit >> 3] |= static_cast<uint8_t>(0x80u >> (bit & 7));
            }
            const float e = v - out;
            float *cell = errorRow + x;
            for (int n = 0; n < 12; ++n) cell[offsets[n]] += e * g_jjnW[n];
        }
        std::memset(errorRow - kPad, 0, static_cast<size_t>(stride) * sizeof(float));
    }
    return true;
}

}  // namespace

void *zv_malloc(uint32_t size) { return std::malloc(size); }

void zv_free(void *pointer) {
    if (pointer != nullptr) std::free(pointer);
}

uint8_t CLIP8(float v) {
    if (v < 0.0f) return 0;
    if (v > 255.0f) return 255;
    if (!(v == v)) return 0;  // NaN
    return static_cast<uint8_t>(v + 0.5f);
}

float CLIPF(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

const int8_t g_jjnDx[12] = {1, 2, -2, -1, 0, 1, 2, -2, -1, 0, 1, 2};
const int8_t g_jjnDy[12] = {0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2};
const float g_jjnW[12] = {7.0f / 48, 5.0f / 48, 3.0f / 48, 5.0f / 48, 7.0f / 48, 5.0f / 48,
                          3.0f / 48, 1.0f / 48, 3.0f / 48, 5.0f / 48, 3.0f / 48, 1.0f / 48};

void init_blue_noise() {
    if (g_blueNoiseInit) return;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const float fy = static_cast<float>(y), fx = static_cast<float>(x);
            float v = 0.0f;
            v += 0.3f * std::sin(0.7f * fy + 1.3f * fx);
            v += 0.2f * std::sin(1.9f * fy - 0.8f * fx);
            v += 0.15f * std::sin(3.1f * fy + 2.7f * fx);
            v += 0.1f * std::sin(5.3f * fy - 4.1f * fx);
            v += 0.05f * std::sin(8.7f * fy + 7.9f * fx);
            g_blueNoise64[y][x] = v / 0.8f;
        }
    }
    g_blueNoiseInit = true;
}

float getBlueNoise64(uint32_t y, uint32_t x) {
    init_blue_noise();
    return g_blueNoise64[y % 64][x % 64];
}

void step_rgba_to_gray(ZVImage *image) { rgbaToGray(image); }
void step_clahe(ZVImage *image) { clahe(image); }
void step_detail_enhance(ZVImage *image) { detailEnhance(image); }
void step_adaptive_gamma(ZVImage *image) { adaptiveGamma(image); }
void step_adaptive_contrast(ZVImage *image) { adaptiveContrast(image); }
void step_jjn_dither(ZVImage *image) { jjnDither(image); }

uint32_t getZVImageProcessingForP20(ZVImage *image) {
    if (isEmptyRGBAData(image)) return 1;
    // The largest plane of the chain is 4 bytes a pixel (RGBA, the error
    // plane); the allocator takes 32-bit sizes, so larger pictures are
    // refused rather than given a short buffer.
    const uint64_t pixels = pixelsOf(image);
    if (pixels * 4 > UINT32_MAX) return 2;
    if (image->grayData == nullptr) {
        image->grayData = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(pixels)));
        if (image->grayData == nullptr) return 2;
    }
    if (image->pixByteData == nullptr) {
        image->pixByteData = static_cast<uint8_t *>(std::malloc(zvImagePackedSize(image->width, image->height)));
        if (image->pixByteData == nullptr) return 2;
    }
    // The steps keep their contract (no status); the chain stops at the
    // first that could not run, so a half-processed page is never reported
    // as done.
    if (!rgbaToGray(image) || !clahe(image) || !detailEnhance(image) || !adaptiveGamma(image) ||
        !adaptiveContrast(image) || !jjnDither(image)) {
        // No half-made dots are left for a caller to send.
        freeZVImagePixByteData(image);
        return 2;
    }
    return 0;
}

uint32_t getZVImageProcessingForSmallSize(ZVImage *image) { return getZVImageProcessingForP20(image); }
