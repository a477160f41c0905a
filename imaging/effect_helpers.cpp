#include "imaging/effect_helpers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

namespace {

constexpr size_t kMaxSize = std::numeric_limits<size_t>::max();

// width*height, or 0 when it does not fit in size_t (the caller then refuses).
size_t pixelsOf(uint32_t width, uint32_t height) {
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    return pixels > kMaxSize ? 0 : static_cast<size_t>(pixels);
}

bool validPlanes(const void *src, const void *dst, uint32_t width, uint32_t height) {
    return src != nullptr && dst != nullptr && width != 0 && height != 0;
}

size_t clampIndex(long long i, size_t size) {
    if (i < 0) return 0;
    if (static_cast<unsigned long long>(i) >= size) return size - 1;
    return static_cast<size_t>(i);
}

// The source row extended by `radius` edge copies on each side.
template <typename T>
void padRow(const uint8_t *row, size_t width, size_t radius, T *padded) {
    for (size_t k = 0; k < radius; ++k) padded[k] = static_cast<T>(row[0]);
    for (size_t x = 0; x < width; ++x) padded[radius + x] = static_cast<T>(row[x]);
    for (size_t k = 0; k < radius; ++k) padded[radius + width + k] = static_cast<T>(row[width - 1]);
}

uint8_t boxValue(uint32_t sum, float inverse) { return static_cast<uint8_t>(static_cast<float>(sum) * inverse); }

// Sums over the square window of every pixel, clipped to the picture, one row
// of windows at a time: per-column sums over the window's rows are moved down
// row by row, and their running sums along the row give any window's sum by
// one subtraction (an integral image that holds only the current rows).
// The sums are exact integers, the same as a whole-picture integral image
// gives, in memory of a few rows. Throws std::bad_alloc.
class WindowSums {
  public:
    struct Span {
        size_t x0, x1;
        double count;  // pixels in the clipped window
    };

    WindowSums(const uint8_t *src, uint32_t width, uint32_t height, size_t half, bool squares)
        : src_(src),
          width_(width),
          height_(height),
          half_(half),
          squares_(squares),
          columns_(width, 0),
          prefix_(static_cast<size_t>(width) + 1, 0) {
        if (squares_) {
            columnSquares_.assign(width, 0);
            prefixSquares_.assign(static_cast<size_t>(width) + 1, 0);
        }
    }

    // The windows of row y: rows max(0, y-half) .. min(height-1, y+half).
    void moveTo(size_t y) {
        const size_t first = y > half_ ? y - half_ : 0;
        const size_t last = std::min<size_t>(height_ - 1, y + std::min<size_t>(half_, height_));
        if (y == 0) {
            for (size_t r = 0; r <= last; ++r) addRow(r, true);
        } else {
            if (y + half_ < height_ && half_ < height_) addRow(y + half_, true);
            if (y > half_) addRow(y - half_ - 1, false);
        }
        rows_ = last - first + 1;
        for (size_t x = 0; x < width_; ++x) prefix_[x + 1] = prefix_[x] + columns_[x];
        if (squares_) {
            for (size_t x = 0; x < width_; ++x) prefixSquares_[x + 1] = prefixSquares_[x] + columnSquares_[x];
        }
    }

    Span span(size_t x) const {
        const size_t x0 = x > half_ ? x - half_ : 0;
        const size_t x1 = std::min<size_t>(width_ - 1, x + std::min<size_t>(half_, width_));
        return {x0, x1, static_cast<double>((x1 - x0 + 1) * rows_)};
    }
    uint64_t sum(const Span &s) const { return prefix_[s.x1 + 1] - prefix_[s.x0]; }
    uint64_t squares(const Span &s) const { return prefixSquares_[s.x1 + 1] - prefixSquares_[s.x0]; }

  private:
    void addRow(size_t r, bool add) {
        const uint8_t *in = src_ + r * width_;
        for (size_t x = 0; x < width_; ++x) {
            const uint64_t v = in[x];
            if (add) {
                columns_[x] += v;
                if (squares_) columnSquares_[x] += v * v;
            } else {
                columns_[x] -= v;
                if (squares_) columnSquares_[x] -= v * v;
            }
        }
    }

    const uint8_t *src_;
    size_t width_, height_, half_;
    bool squares_;
    size_t rows_ = 0;
    std::vector<uint64_t> columns_, columnSquares_, prefix_, prefixSquares_;
};

}  // namespace

int sat_int(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

uint8_t sat_double(double x) {
    if (!(x >= 0.0)) return 0;  // also NaN
    if (x > 255.0) return 255;
    return static_cast<uint8_t>(x + 0.5);  // at most 255.5, truncated
}

void rgba_to_gray(const uint8_t *rgba, uint8_t *gray, size_t count) {
    for (size_t i = 0; i < count; ++i, rgba += 4) {
        const double v = (rgba[0] * 0.299 + 0.587 * rgba[1]) + rgba[2] * 0.114 + 0.5;
        gray[i] = static_cast<uint8_t>(sat_int(static_cast<int>(v)));
    }
}

void gray_to_rgba(const uint8_t *gray, uint8_t *rgba, size_t count) {
    for (size_t i = 0; i < count; ++i, rgba += 4) {
        rgba[0] = rgba[1] = rgba[2] = gray[i];
        rgba[3] = 255;
    }
}

void pack_pix_byte(const uint8_t *gray, uint8_t *packed, uint32_t width, uint32_t height) {
    const size_t pixels = pixelsOf(width, height);
    if (gray == nullptr || packed == nullptr || pixels == 0) return;
    const size_t whole = pixels / 8;
    for (size_t b = 0; b < whole; ++b) {
        const uint8_t *g = gray + 8 * b;
        unsigned byte = 0;
        for (unsigned k = 0; k < 8; ++k) byte |= static_cast<unsigned>(g[k] < 128) << (7 - k);
        packed[b] = static_cast<uint8_t>(byte);
    }
    if (whole * 8 < pixels) {
        unsigned byte = 0;
        for (size_t i = whole * 8; i < pixels; ++i) byte |= static_cast<unsigned>(gray[i] < 128) << (7 - (i & 7));
        packed[whole] = static_cast<uint8_t>(byte);
    }
}

void box_blur_h(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int radius) {
    if (!validPlanes(src, dst, width, height)) return;
    const size_t r = radius > 0 ? static_cast<size_t>(radius) : 0;
    const float inverse = 1.0f / static_cast<float>(2 * r + 1);
    std::vector<uint8_t> padded;
    try {
        padded.resize(width + 2 * r);
    } catch (const std::exception &) {
        return;
    }
    for (size_t y = 0; y < height; ++y) {
        const uint8_t *in = src + y * width;
        uint8_t *out = dst + y * width;
        padRow(in, width, r, padded.data());
        // The window of x covers padded[x .. x + 2r].
        uint32_t sum = 0;
        for (size_t k = 0; k <= 2 * r; ++k) sum += padded[k];
        out[0] = boxValue(sum, inverse);
        for (size_t x = 1; x < width; ++x) {
            sum += padded[x + 2 * r];
            sum -= padded[x - 1];
            out[x] = boxValue(sum, inverse);
        }
    }
}

void box_blur_v(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int radius) {
    if (!validPlanes(src, dst, width, height)) return;
    const long long r = radius > 0 ? radius : 0;
    const float inverse = 1.0f / static_cast<float>(2 * r + 1);
    // One running sum per column, all columns advanced row by row.
    std::vector<uint32_t> sums;
    try {
        sums.assign(width, 0);
    } catch (const std::exception &) {
        return;
    }
    const auto row = [&](long long y) { return src + clampIndex(y, height) * width; };
    for (long long k = -r; k <= r; ++k) {
        const uint8_t *in = row(k);
        for (size_t x = 0; x < width; ++x) sums[x] += in[x];
    }
    for (size_t y = 0; y < height; ++y) {
        uint8_t *out = dst + y * width;
        if (y > 0) {
            const uint8_t *entering = row(static_cast<long long>(y) + r);
            const uint8_t *leaving = row(static_cast<long long>(y) - r - 1);
            for (size_t x = 0; x < width; ++x) sums[x] = sums[x] + entering[x] - leaving[x];
        }
        for (size_t x = 0; x < width; ++x) out[x] = boxValue(sums[x], inverse);
    }
}

int fast_gaussian_blur(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int radius) {
    if (!validPlanes(src, dst, width, height)) return 1;
    const size_t pixels = pixelsOf(width, height);
    if (pixels == 0) return 2;
    std::vector<uint8_t> work;
    try {
        work.resize(pixels);
    } catch (const std::exception &) {
        return 2;
    }
    box_blur_h(src, work.data(), width, height, radius);
    box_blur_v(work.data(), dst, width, height, radius);
    box_blur_h(dst, work.data(), width, height, radius);
    box_blur_v(work.data(), dst, width, height, radius);
    return 0;
}

void gaussian_kernel_1d(int n, double sigma, double *weights) {
    const int half = n / 2;
    double sum = 0.0;
    for (int i = -half; i <= half; ++i) {
        const double w = std::exp(-static_cast<double>(i) * i / (2.0 * sigma * sigma));
        weights[i + half] = w;
        sum += w;
    }
    for (int k = 0; k <= 2 * half; ++k) weights[k] /= sum;
}

int gaussian_blur_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int kernelSize) {
    if (!validPlanes(src, dst, width, height)) return 1;
    const size_t pixels = pixelsOf(width, height);
    if (pixels == 0 || pixels > kMaxSize / sizeof(double)) return 2;
    int k = kernelSize < 3 ? 3 : kernelSize;
    if (k % 2 == 0) ++k;
    double sigma = ((k - 1) * 0.5 - 1.0) * 0.3 + 0.8;
    if (!(sigma > 0.0)) sigma = 1.0;
    const size_t half = static_cast<size_t>(k / 2);
    const size_t taps = 2 * half + 1;
    try {
        std::vector<double> weights(taps);
        gaussian_kernel_1d(k, sigma, weights.data());
        std::vector<double> horizontal(pixels);
        std::vector<double> padded(width + 2 * half);
        std::vector<double> acc(width);
        // Both passes add the taps from the first to the last for every pixel,
        // a tap at a time across the row so that the loop runs over contiguous
        // memory.
        for (size_t y = 0; y < height; ++y) {
            padRow(src + y * width, width, half, padded.data());
            std::fill(acc.begin(), acc.end(), 0.0);
            for (size_t i = 0; i < taps; ++i) {
                const double w = weights[i];
                const double *in = padded.data() + i;
                for (size_t x = 0; x < width; ++x) acc[x] += w * in[x];
            }
            std::copy(acc.begin(), acc.end(), horizontal.begin() + static_cast<ptrdiff_t>(y * width));
        }
        for (size_t y = 0; y < height; ++y) {
            std::fill(acc.begin(), acc.end(), 0.0);
            for (size_t i = 0; i < taps; ++i) {
                const double w = weights[i];
                const long long row =
                    static_cast<long long>(y) + static_cast<long long>(i) - static_cast<long long>(half);
                const double *in = horizontal.data() + clampIndex(row, height) * width;
                for (size_t x = 0; x < width; ++x) acc[x] += w * in[x];
            }
            uint8_t *out = dst + y * width;
            for (size_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(sat_int(static_cast<int>(acc[x] + 0.5)));
        }
    } catch (const std::exception &) {
        return 2;
    }
    return 0;
}

int adaptive_threshold_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int block, bool invert,
                          double c) {
    if (!validPlanes(src, dst, width, height)) return 1;
    int b = block < 3 ? 3 : block;
    if (b % 2 == 0) ++b;
    const uint8_t high = invert ? 0 : 255;
    const uint8_t low = invert ? 255 : 0;
    try {
        WindowSums window(src, width, height, static_cast<size_t>(b / 2), false);
        for (size_t y = 0; y < height; ++y) {
            window.moveTo(y);
            const uint8_t *in = src + y * width;
            uint8_t *out = dst + y * width;
            for (size_t x = 0; x < width; ++x) {
                const WindowSums::Span span = window.span(x);
                const double threshold = static_cast<double>(window.sum(span)) / span.count - c;
                out[x] = static_cast<double>(in[x]) > threshold ? high : low;
            }
        }
    } catch (const std::exception &) {
        return 2;
    }
    return 0;
}

void laplacian_abs_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height) {
    if (!validPlanes(src, dst, width, height)) return;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t *row = src + y * width;
        const uint8_t *up = src + (y > 0 ? y - 1 : 0) * width;
        const uint8_t *down = src + (y + 1 < height ? y + 1 : y) * width;
        uint8_t *out = dst + y * width;
        for (size_t x = 0; x < width; ++x) {
            const int left = row[x > 0 ? x - 1 : 0];
            const int right = row[x + 1 < width ? x + 1 : x];
            const int v = std::abs(up[x] + down[x] + left + right - 4 * row[x]);
            out[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
}

void equalize_hist_u8(uint8_t *data, size_t count) {
    if (data == nullptr || count == 0) return;
    std::array<uint64_t, 256> histogram{};
    for (size_t i = 0; i < count; ++i) ++histogram[data[i]];
    std::array<int64_t, 256> cumulative{};
    int64_t running = 0;
    int64_t cmin = -1;
    for (int i = 0; i < 256; ++i) {
        running += static_cast<int64_t>(histogram[i]);
        cumulative[i] = running;
        if (cmin < 0 && histogram[i] != 0) cmin = running;
    }
    int64_t denominator = static_cast<int64_t>(count) - cmin;
    // A picture of one level has nothing to spread: no division by zero.
    if (denominator <= 0) denominator = 1;
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) {
        const double v = static_cast<double>(cumulative[i] - cmin) * 255.0 / static_cast<double>(denominator) + 0.5;
        // Limited before the conversion: far below 0 the integer would overflow.
        map[i] = v <= 0.0 ? 0 : (v >= 255.0 ? 255 : static_cast<uint8_t>(v));
    }
    for (size_t i = 0; i < count; ++i) data[i] = map[data[i]];
}

void color_dodge_blend_with_intensity(const uint8_t *base, const uint8_t *blend, uint8_t *out, size_t count,
                                      float intensity) {
    if (base == nullptr || blend == nullptr || out == nullptr) return;
    std::array<uint8_t, 256> curve{};
    for (int i = 0; i < 256; ++i) {
        const double v = std::pow(i / 255.0, static_cast<double>(intensity)) * 255.0 + 0.5;
        curve[i] = v <= 0.0 ? 0 : (v >= 255.0 ? 255 : static_cast<uint8_t>(v));
    }
    for (size_t i = 0; i < count; ++i) {
        const unsigned b = blend[i];
        // A blend of 255 would divide by zero; it dodges to full white.
        unsigned d = 255;
        if (b != 255) d = std::min(base[i] * 255u / (255u - b), 255u);
        out[i] = curve[d];
    }
}

int sauvola_threshold_u8(const uint8_t *src, uint8_t *dst, uint32_t width, uint32_t height, int windowSize) {
    if (!validPlanes(src, dst, width, height)) return 1;
    int s = windowSize < 3 ? 31 : windowSize;
    if (s % 2 == 0) ++s;
    try {
        WindowSums window(src, width, height, static_cast<size_t>(s / 2), true);
        for (size_t y = 0; y < height; ++y) {
            window.moveTo(y);
            const uint8_t *in = src + y * width;
            uint8_t *out = dst + y * width;
            for (size_t x = 0; x < width; ++x) {
                const WindowSums::Span span = window.span(x);
                const double mean = static_cast<double>(window.sum(span)) / span.count;
                double variance = static_cast<double>(window.squares(span)) / span.count - mean * mean;
                if (variance < 0.0) variance = 0.0;
                const double sd = std::sqrt(variance);
                double t = mean * ((sd / 128.0 - 1.0) * 0.25 + 1.0);
                t = std::min(std::max(t, 0.0), 255.0);
                out[x] = static_cast<int>(in[x]) > static_cast<int>(t + 0.5) ? 255 : 0;
            }
        }
    } catch (const std::exception &) {
        return 2;
    }
    return 0;
}
