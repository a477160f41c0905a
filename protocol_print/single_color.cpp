#include "protocol_print/single_color.h"

#include <array>
#include <cstddef>

namespace {

uint32_t gRandState = 1;

uint8_t clampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The weighted sum truncates toward zero; R, G and B are never negative.
uint8_t grayOf(uint8_t r, uint8_t g, uint8_t b) { return static_cast<uint8_t>((r * 0.3 + g * 0.59) + b * 0.11); }

// Error share added to one channel: the product in single precision,
// truncated toward zero.
int32_t share(float weight, int32_t error) { return static_cast<int32_t>(weight * static_cast<float>(error)); }

// Weights of the four neighbours, in the order they are updated.
constexpr float kRight = 0.4375f;
constexpr float kDown = 0.3125f;
constexpr float kDownLeft = 0.1875f;
constexpr float kDownRight = 0.0625f;

}  // namespace

int32_t singleColorRand() {
    gRandState = gRandState * 1103515245u + 12345u;
    return static_cast<int32_t>((gRandState / 65536u) % 32768u);
}

uint32_t getSingleColorRandState() { return gRandState; }
void setSingleColorRandState(uint32_t state) { gRandState = state; }

void gray(const uint8_t *rgba, uint32_t w, uint32_t h, uint8_t *destination) {
    const size_t n = static_cast<size_t>(w) * h;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t *p = rgba + 4 * i;
        uint8_t *d = destination + 4 * i;
        const uint8_t g = grayOf(p[0], p[1], p[2]);
        const uint8_t alpha = p[3];
        d[0] = d[1] = d[2] = g;
        d[3] = alpha;
    }
}

void rgba2SingleGray(const uint8_t *rgba, uint32_t w, uint32_t h, uint8_t *destination) {
    const size_t n = static_cast<size_t>(w) * h;
    for (size_t i = 0; i < n; ++i) destination[i] = grayOf(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]);
}

uint8_t singleGrayOfLevel(uint8_t v) { return grayOf(v, v, v); }

int getNearstColor(int c1, int c2, int c3) {
    const int32_t dBlack = static_cast<int32_t>(static_cast<double>(c1 * c1) + static_cast<double>(c2 * c2) +
                                                static_cast<double>(c3 * c3));
    const int32_t dWhite = static_cast<int32_t>(static_cast<double>((255 - c1) * (255 - c1)) +
                                                static_cast<double>((255 - c2) * (255 - c2)) +
                                                static_cast<double>((255 - c3) * (255 - c3)));
    const int32_t r = singleColorRand() % 1000;
    float jitter = static_cast<float>(r) / 5000.0f - 0.1f;
    const float ratio = static_cast<float>(dBlack) / static_cast<float>(dBlack + dWhite);
    if (ratio > 0.4f && ratio < 0.6f) jitter *= 2.0f;
    return static_cast<float>(dWhite) * (1.0f - jitter) <= static_cast<float>(dBlack) * (1.0f + jitter) ? 1 : 0;
}

uint32_t getPixel(const uint8_t *rgba, uint32_t w, uint32_t h, int64_t row, int64_t column, const int32_t error[3],
                  float weight) {
    if (row < 0 || column < 0 || row >= h || column >= w) return 0xFFFFFFFFu;
    const uint8_t *p = rgba + (static_cast<size_t>(row) * w + static_cast<size_t>(column)) * 4;
    const uint32_t b3 = clampByte(p[3] + share(weight, error[0]));
    const uint32_t b2 = clampByte(p[2] + share(weight, error[1]));
    const uint32_t b1 = clampByte(p[1] + share(weight, error[2]));
    return b3 << 24 | b2 << 16 | b1 << 8 | p[0];
}

void setPixel(uint8_t *rgba, uint32_t w, uint32_t h, int64_t row, int64_t column, uint32_t value) {
    if (row < 0 || column < 0 || row >= h || column >= w) return;
    uint8_t *p = rgba + (static_cast<size_t>(row) * w + static_cast<size_t>(column)) * 4;
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

void dither(uint8_t *source, uint32_t w, uint32_t h, uint8_t *destination) {
    (void)source;  // every caller passes the one buffer twice
    uint8_t *buffer = destination;
    const size_t n = static_cast<size_t>(w) * h;
    struct Neighbour {
        int dx, dy;
        float weight;
    };
    constexpr std::array<Neighbour, 4> kNeighbours = {
        {{1, 0, kRight}, {0, 1, kDown}, {-1, 1, kDownLeft}, {1, 1, kDownRight}}};
    for (size_t i = 0; i < n; ++i) {
        const int64_t y = static_cast<int64_t>(i / w);
        const int64_t x = static_cast<int64_t>(i % w);
        uint8_t *p = buffer + 4 * i;
        int32_t error[3];
        if (getNearstColor(p[3], p[2], p[1]) == 1) {
            error[0] = p[3] - 255;
            error[1] = p[2] - 255;
            error[2] = p[1] - 255;
            p[0] = p[1] = p[2] = p[3] = 255;
        } else {
            error[0] = p[3];
            error[1] = p[2];
            error[2] = p[1];
            p[1] = p[2] = p[3] = 0;
            p[0] = 255;
        }
        // A neighbour outside the image gets nothing; no share wraps into
        // another row.
        for (const Neighbour &nb : kNeighbours) {
            const int64_t ny = y + nb.dy;
            const int64_t nx = x + nb.dx;
            // Checked here: a white pixel inside the image also packs to
            // 0xFFFFFFFF, the value getPixel gives outside it.
            if (ny >= h || nx < 0 || nx >= w) continue;
            setPixel(buffer, w, h, ny, nx, getPixel(buffer, w, h, ny, nx, error, nb.weight));
        }
    }
}

void ditherGray(uint8_t *gray, uint32_t w, uint32_t h) {
    // The three channels start equal and every step treats them alike, so
    // one byte per pixel carries them; the decision still sees all three.
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t *row = gray + static_cast<size_t>(y) * w;
        uint8_t *below = y + 1 < h ? row + w : nullptr;
        for (uint32_t x = 0; x < w; ++x) {
            const int v = row[x];
            int32_t error;
            if (getNearstColor(v, v, v) == 1) {
                error = v - 255;
                row[x] = 255;
            } else {
                error = v;
                row[x] = 0;
            }
            const bool right = x + 1 < w;
            if (right) row[x + 1] = clampByte(row[x + 1] + share(kRight, error));
            if (below != nullptr) {
                below[x] = clampByte(below[x] + share(kDown, error));
                if (x > 0) below[x - 1] = clampByte(below[x - 1] + share(kDownLeft, error));
                if (right) below[x + 1] = clampByte(below[x + 1] + share(kDownRight, error));
            }
        }
    }
}

uint32_t grayRGBA2SingleColor(const uint8_t *rgba, int64_t w, int64_t h, uint8_t *destination, uint8_t threshold) {
    if (w < 1 || h < 1) return 0;
    const size_t rowBytes = static_cast<size_t>((w + 7) / 8);
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t *source = rgba + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
        uint8_t *out = destination + static_cast<size_t>(y) * rowBytes;
        for (int64_t x = 0; x < w; ++x)
            if (source[4 * x + 1] <= threshold) out[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
    }
    return static_cast<uint32_t>(rowBytes);
}
