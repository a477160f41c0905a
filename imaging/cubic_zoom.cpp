#include "imaging/cubic_zoom.h"

#include <array>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

// The printers' output is pinned byte for byte: every conversion between
// single and double precision below is deliberate; keep the order of
// operations when touching them.

namespace {

// Helpers shared by the fast and the direct path.

int64_t floorOf(float f) {
    int64_t i = static_cast<int64_t>(f);
    if (static_cast<float>(i) > f) --i;
    return i;
}

// Source position of the centre of destination pixel `index` (row or column).
float sourcePosition(uint64_t index, uint64_t srcSize, uint64_t dstSize) {
    return static_cast<float>(
        (static_cast<double>(index) + 0.4999999) * static_cast<double>(srcSize) / static_cast<double>(dstSize) - 0.5);
}

// The four kernel weights for a fractional offset t, each rounded to float.
// The arguments are formed in single precision, as t is.
void kernelWeights(float t, float w[4]) {
    w[0] = static_cast<float>(SinXDivX(1.0f + t));
    w[1] = static_cast<float>(SinXDivX(t));
    w[2] = static_cast<float>(SinXDivX(1.0f - t));
    w[3] = static_cast<float>(SinXDivX(2.0f - t));
}

// Adds the +15 lift (in double) to the weighted sum, truncates and clamps.
inline uint8_t toByte(float total) {
    const double lifted = static_cast<double>(total) + 15.0;
    const long value = static_cast<long>(lifted);
    if (value >= 255) return 255;
    if (value < 0) return 0;
    return static_cast<uint8_t>(value);
}

// One row of four samples weighted in single precision, left to right.
inline float weightedRow(const float w[4], uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    float sum = 0.0f;
    sum += w[0] * static_cast<float>(a);
    sum += w[1] * static_cast<float>(b);
    sum += w[2] * static_cast<float>(c);
    sum += w[3] * static_cast<float>(d);
    return sum;
}

// Where a destination column (or row) reads from: the first of its four
// source columns, their weights, and whether all four lie inside the source.
struct Taps {
    int64_t first;
    float weight[4];
    bool inside;
};

Taps tapsFor(uint64_t index, uint64_t srcSize, uint64_t dstSize) {
    const float position = sourcePosition(index, srcSize, dstSize);
    const int64_t base = floorOf(position);
    Taps taps{};
    taps.first = base - 1;
    kernelWeights(position - static_cast<float>(base), taps.weight);
    taps.inside = taps.first >= 0 && static_cast<uint64_t>(taps.first) + 3 < srcSize;
    return taps;
}

void zoomSeparable(const ZoomBitmap *dst, const ZoomBitmap *src) {
    const uint64_t dstW = dst->width;
    std::vector<Taps> columns(dstW);
    for (uint64_t x = 0; x < dstW; ++x) columns[x] = tapsFor(x, src->width, dstW);

    // The weighted sums of one source row are the same for every destination
    // row that reads it: keep the last four source rows (slot = row mod 4).
    std::vector<float> rowSums(4 * dstW);
    std::array<int64_t, 4> rowInSlot;
    rowInSlot.fill(INT64_MIN);

    auto sumsOfRow = [&](int64_t row) -> const float * {
        const size_t slot = static_cast<size_t>(row & 3);
        float *sums = rowSums.data() + slot * dstW;
        if (rowInSlot[slot] == row) return sums;
        rowInSlot[slot] = row;
        if (row < 0 || static_cast<uint64_t>(row) >= src->height) {
            for (uint64_t x = 0; x < dstW; ++x) sums[x] = weightedRow(columns[x].weight, 255, 255, 255, 255);
            return sums;
        }
        const uint8_t *line = src->pixels + static_cast<uint64_t>(row) * src->rowBytes;
        for (uint64_t x = 0; x < dstW; ++x) {
            const Taps &c = columns[x];
            if (c.inside) {
                const uint8_t *p = line + c.first;
                sums[x] = weightedRow(c.weight, p[0], p[1], p[2], p[3]);
            } else {
                sums[x] = weightedRow(c.weight, Pixels_Bound(src, c.first, row), Pixels_Bound(src, c.first + 1, row),
                                      Pixels_Bound(src, c.first + 2, row), Pixels_Bound(src, c.first + 3, row));
            }
        }
        return sums;
    };

    uint8_t *out = dst->pixels;
    for (uint64_t y = 0; y < dst->height; ++y, out += dst->rowBytes) {
        const Taps r = tapsFor(y, src->height, dst->height);
        const float *s0 = sumsOfRow(r.first);
        const float *s1 = sumsOfRow(r.first + 1);
        const float *s2 = sumsOfRow(r.first + 2);
        const float *s3 = sumsOfRow(r.first + 3);
        for (uint64_t x = 0; x < dstW; ++x) {
            float total = 0.0f;
            total += s0[x] * r.weight[0];
            total += s1[x] * r.weight[1];
            total += s2[x] * r.weight[2];
            total += s3[x] * r.weight[3];
            out[x] = toByte(total);
        }
    }
}

}  // namespace

uint8_t Pixels(const ZoomBitmap *view, int64_t x, int64_t y) {
    return view->pixels[static_cast<uint64_t>(x) + static_cast<uint64_t>(y) * view->rowBytes];
}

uint8_t Pixels_Bound(const ZoomBitmap *view, int64_t x, int64_t y) {
    if (x < 0 || y < 0 || static_cast<uint64_t>(x) >= view->width || static_cast<uint64_t>(y) >= view->height) {
        return 255;
    }
    return Pixels(view, x, y);
}

double SinXDivX(double x) {
    const double a = x < 0.0 ? -x : x;
    const double a2 = a * a;
    const double a3 = a2 * a;
    if (a <= 1.0) return a3 - 2.0 * a2 + 1.0;
    if (a <= 2.0) return 4.0 - 8.0 * a + 5.0 * a2 - a3;
    return 0.0;
}

void ThreeOrder0(const ZoomBitmap *src, uint8_t *result, float fx, float fy) {
    const int64_t x0 = floorOf(fx);
    const int64_t y0 = floorOf(fy);
    const float u = fx - static_cast<float>(x0);
    const float v = fy - static_cast<float>(y0);

    uint8_t sample[4][4];  // [row][column]
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) sample[j][i] = Pixels_Bound(src, x0 - 1 + i, y0 - 1 + j);
    }
    float wx[4];
    float wy[4];
    kernelWeights(u, wx);
    kernelWeights(v, wy);

    float total = 0.0f;
    for (int j = 0; j < 4; ++j) {
        float rowSum = 0.0f;
        for (int i = 0; i < 4; ++i) rowSum += wx[i] * static_cast<float>(sample[j][i]);
        total += rowSum * wy[j];
    }
    *result = toByte(total);
}

void PicZoom_ThreeOrder0_Reference(const ZoomBitmap *dst, const ZoomBitmap *src) {
    if (dst->width == 0 || dst->height == 0 || src->width == 0 || src->height == 0) return;
    uint8_t *line = dst->pixels;
    for (uint64_t y = 0; y < dst->height; ++y, line += dst->rowBytes) {
        const float fy = sourcePosition(y, src->height, dst->height);
        for (uint64_t x = 0; x < dst->width; ++x) {
            const float fx = sourcePosition(x, src->width, dst->width);
            ThreeOrder0(src, &line[x], fx, fy);
        }
    }
}

void PicZoom_ThreeOrder0(const ZoomBitmap *dst, const ZoomBitmap *src) {
    if (dst->width == 0 || dst->height == 0 || src->width == 0 || src->height == 0) return;
    try {
        zoomSeparable(dst, src);
    } catch (const std::bad_alloc &) {
        // The per-column tables did not fit: the direct way needs no memory
        // and gives the same bytes.
        PicZoom_ThreeOrder0_Reference(dst, src);
    }
}

uint8_t *bitmapZoom(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t dstW, uint32_t dstH) {
    if (dstW == 0 || dstH == 0) return nullptr;
    auto *out = static_cast<uint8_t *>(std::calloc(static_cast<size_t>(dstW) * dstH, 1));
    if (out == nullptr) return nullptr;
    // The source view is only read.
    const ZoomBitmap from{const_cast<uint8_t *>(src), srcW, srcW, srcH};
    const ZoomBitmap to{out, dstW, dstW, dstH};
    if (src != nullptr) PicZoom_ThreeOrder0(&to, &from);
    return out;
}
