#include "imaging/tone.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

#include "imaging/zv_image.h"

namespace {

constexpr std::array<uint8_t, 256> kIncreaseTable = {
    0,   1,   2,   4,   5,   8,   9,   10,  12,  14,  16,  17,  18,  21,  22,  24,   // 0
    25,  26,  29,  30,  32,  33,  35,  37,  38,  40,  41,  43,  45,  46,  48,  49,   // 16
    50,  53,  54,  56,  57,  58,  60,  61,  63,  65,  66,  68,  69,  70,  72,  73,   // 32
    74,  76,  77,  80,  81,  82,  84,  85,  86,  88,  89,  91,  92,  93,  94,  95,   // 48
    96,  98,  99,  99,  101, 102, 103, 104, 105, 107, 108, 108, 110, 111, 111, 113,  // 64
    114, 115, 116, 117, 118, 119, 120, 121, 121, 123, 124, 124, 125, 127, 128, 128,  // 80
    130, 131, 131, 132, 134, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 143,  // 96
    145, 146, 147, 147, 149, 150, 151, 151, 153, 154, 155, 155, 157, 158, 159, 160,  // 112
    161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 177,  // 128
    178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191, 193, 194,  // 144
    194, 195, 196, 197, 198, 199, 200, 201, 202, 204, 205, 205, 206, 207, 207, 208,  // 160
    209, 209, 210, 211, 211, 213, 214, 214, 215, 216, 216, 217, 217, 218, 219, 219,  // 176
    221, 221, 222, 223, 223, 224, 224, 225, 225, 226, 226, 228, 228, 229, 229, 230,  // 192
    230, 231, 231, 232, 232, 233, 233, 235, 235, 236, 236, 237, 237, 238, 238, 238,  // 208
    239, 239, 240, 240, 242, 242, 242, 243, 243, 244, 244, 245, 245, 245, 246, 246,  // 224
    247, 247, 247, 249, 249, 250, 250, 250, 251, 251, 252, 252, 252, 253, 253, 255,  // 240
};

constexpr std::array<uint8_t, 256> kReduceTable = {
    0,   0,   1,   2,   2,   3,   4,   4,   5,   6,   7,   7,   8,   9,   9,   10,   // 0
    11,  11,  12,  13,  14,  14,  15,  16,  16,  17,  18,  19,  19,  20,  21,  21,   // 16
    22,  23,  24,  24,  25,  26,  26,  27,  28,  29,  29,  30,  31,  31,  32,  33,   // 32
    33,  34,  35,  36,  36,  37,  38,  39,  39,  40,  41,  41,  42,  43,  44,  44,   // 48
    45,  46,  46,  47,  48,  49,  49,  50,  51,  51,  52,  53,  54,  54,  55,  56,   // 64
    57,  57,  58,  59,  60,  60,  61,  62,  62,  63,  64,  65,  65,  66,  67,  68,   // 80
    68,  69,  70,  71,  71,  72,  73,  74,  74,  75,  76,  77,  77,  78,  79,  80,   // 96
    80,  81,  82,  83,  83,  84,  85,  86,  86,  87,  88,  89,  89,  90,  91,  92,   // 112
    93,  93,  94,  95,  96,  97,  97,  98,  99,  100, 101, 102, 102, 103, 104, 105,  // 128
    106, 107, 107, 108, 109, 110, 111, 112, 112, 113, 114, 115, 116, 117, 118, 118,  // 144
    119, 120, 121, 122, 123, 123, 124, 125, 126, 127, 128, 129, 129, 130, 131, 132,  // 160
    133, 134, 135, 135, 136, 137, 138, 139, 140, 141, 141, 142, 143, 144, 145, 146,  // 176
    147, 147, 148, 149, 150, 151, 152, 153, 154, 155, 156, 157, 159, 160, 161, 162,  // 192
    163, 164, 165, 166, 168, 169, 170, 171, 173, 174, 175, 177, 178, 180, 181, 183,  // 208
    184, 186, 187, 189, 191, 192, 194, 196, 198, 200, 201, 203, 205, 207, 209, 211,  // 224
    213, 215, 217, 219, 221, 223, 225, 227, 230, 234, 237, 241, 244, 248, 251, 255,  // 240
};

constexpr float kWhiteX = 95.047f;
constexpr float kWhiteY = 100.0f;
constexpr float kWhiteZ = 108.883f;

// sRGB byte to linear light on the 0..100 scale.
float linearChannel(uint8_t c) {
    float v = static_cast<float>(c) / 255.0f;
    if (v > 0.04045f) {
        v = std::pow((v + 0.055f) / 1.055f, 2.4f);
    } else {
        v = v / 12.92f;
    }
    return v * 100.0f;
}

float labForward(float t) {
    if (t > 0.008856f) return std::pow(t, 1.0f / 3.0f);
    return 7.787f * t + 0.13793103f;
}

float labInverse(float f, float white) {
    if (f > 0.206893f) return white * (f * f * f);
    return (f - 0.13793103f) / 7.787f * white;
}

uint8_t gammaByte(float v) {
    if (v > 0.0031308f) {
        v = 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
    } else {
        v = 12.92f * v;
    }
    v = std::min(std::max(v, 0.0f), 1.0f);
    return static_cast<uint8_t>(v * 255.0f + 0.5f);
}

// Truncates toward zero and limits to 0..255; also keeps an out-of-gamut
// lightness or colour value from wrapping when it is stored as a byte.
uint8_t clampTruncate(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

int applyTable(ZVImage *image, const std::array<uint8_t, 256> &table) {
    if (isEmptyGrayData(image)) return 1;
    const size_t n = static_cast<size_t>(image->width) * image->height;
    uint8_t *gray = image->grayData;
    for (size_t i = 0; i < n; ++i) gray[i] = table[gray[i]];
    return 0;
}

// Applies a per-value curve through a 256-entry table of its results; the
// curve is evaluated once per value, which gives the same bytes as evaluating
// it per pixel.
template <typename Curve>
int applyCurve(ZVImage *image, Curve curve) {
    if (isEmptyGrayData(image)) return 1;
    std::array<uint8_t, 256> table{};
    for (int p = 0; p < 256; ++p) table[p] = curve(p);
    return applyTable(image, table);
}

}  // namespace

void RGB2XYZ(uint8_t r, uint8_t g, uint8_t b, float *x, float *y, float *z) {
    const float R = linearChannel(r);
    const float G = linearChannel(g);
    const float B = linearChannel(b);
    *x = 0.4124564f * R + 0.3575761f * G + 0.1804375f * B;
    *y = 0.2126729f * R + 0.7151522f * G + 0.072175f * B;
    *z = 0.0193339f * R + 0.119192f * G + 0.9503041f * B;
}

void XYZ2LAB(float x, float y, float z, float *l, float *a, float *bStar) {
    const float fx = labForward(x / kWhiteX);
    const float fy = labForward(y / kWhiteY);
    const float fz = labForward(z / kWhiteZ);
    *l = 116.0f * fy - 16.0f;
    *a = 500.0f * (fx - fy);
    *bStar = 200.0f * (fy - fz);
}

void LAB2RGB(float l, float a, float bStar, uint8_t *r, uint8_t *g, uint8_t *b) {
    const float fy = (l + 16.0f) / 116.0f;
    const float fx = fy + a / 500.0f;
    const float fz = fy - bStar / 200.0f;
    const float X = labInverse(fx, kWhiteX);
    const float Y = labInverse(fy, kWhiteY);
    const float Z = labInverse(fz, kWhiteZ);
    const float R = (3.2404542f * X - 1.5371385f * Y - 0.4985314f * Z) / 100.0f;
    const float G = (-0.969266f * X + 1.8760108f * Y + 0.041556f * Z) / 100.0f;
    const float B = (0.0556434f * X - 0.2040259f * Y + 1.0572252f * Z) / 100.0f;
    *r = gammaByte(R);
    *g = gammaByte(G);
    *b = gammaByte(B);
}

void GenerateNormalCDF(float *out, float mean, float sigma) {
    std::array<float, 256> p{};
    float sum = 0.0f;
    for (int i = 0; i < 256; ++i) {
        const float d = static_cast<float>(i) - mean;
        p[i] = std::exp(-(d * d) / (2.0f * sigma * sigma));
        sum += p[i];
    }
    float running = 0.0f;
    for (int i = 0; i < 256; ++i) {
        running += p[i] / sum;
        out[i] = running;
    }
}

int HistogramSpecification(const uint8_t *src, uint8_t *dst, size_t count) {
    if (src == nullptr || dst == nullptr || count == 0) return 0;
    std::array<uint64_t, 256> histogram{};
    for (size_t i = 0; i < count; ++i) ++histogram[src[i]];

    std::array<float, 256> cdf{};
    uint64_t running = 0;
    for (int i = 0; i < 256; ++i) {
        running += histogram[i];
        cdf[i] = static_cast<float>(running) / static_cast<float>(count);
    }

    std::array<float, 256> target{};
    GenerateNormalCDF(target.data(), 128.0f, 50.0f);

    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) {
        float best = 1.0f;
        int choice = 0;
        for (int j = 0; j < 256; ++j) {
            const float distance = std::fabs(target[j] - cdf[i]);
            if (distance < best) {
                best = distance;
                choice = j;
            }
        }
        map[i] = static_cast<uint8_t>(choice);
    }

    for (size_t i = 0; i < count; ++i) dst[i] = map[src[i]];
    return 0;
}

namespace {

// Small direct-mapped memo of a pure function from a 24-bit colour to three
// bytes. Pages repeat colours heavily (flat areas, text, gray pictures), and
// each conversion costs several powers; the memo returns exactly what the
// conversion would compute.
class ColourMemo {
  public:
    ColourMemo() : entries_(kSize) {}

    template <typename Convert>
    void lookup(uint32_t colour, uint8_t *out, Convert convert) {
        Entry &e = entries_[(colour * 2654435761u) >> (32 - kBits)];
        if (e.key != colour + 1) {
            convert(e.value);
            e.key = colour + 1;
        }
        out[0] = e.value[0];
        out[1] = e.value[1];
        out[2] = e.value[2];
    }

  private:
    static constexpr unsigned kBits = 16;
    static constexpr size_t kSize = size_t{1} << kBits;
    struct Entry {
        uint32_t key = 0;  // colour + 1; 0 is empty
        uint8_t value[3] = {};
    };
    std::vector<Entry> entries_;
};

}  // namespace

int ZVImageHistogramSpecification(ZVImage *image) {
    if (isEmptyRGBAData(image)) return 1;
    const size_t n = static_cast<size_t>(image->width) * image->height;
    std::vector<uint8_t> lPlane, aPlane, bPlane;
    try {
        lPlane.resize(n);
        aPlane.resize(n);
        bPlane.resize(n);
        ColourMemo toLab, toRgb;

        std::array<float, 256> linear{};
        for (int c = 0; c < 256; ++c) linear[c] = linearChannel(static_cast<uint8_t>(c));

        uint8_t *rgba = image->rgbaData;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t *px = rgba + i * 4;
            const uint32_t colour = (uint32_t{px[0]} << 16) | (uint32_t{px[1]} << 8) | px[2];
            uint8_t lab[3];
            toLab.lookup(colour, lab, [&](uint8_t *out) {
                // RGB2XYZ with the channel linearisation looked up.
                const float R = linear[px[0]];
                const float G = linear[px[1]];
                const float B = linear[px[2]];
                const float x = 0.4124564f * R + 0.3575761f * G + 0.1804375f * B;
                const float y = 0.2126729f * R + 0.7151522f * G + 0.072175f * B;
                const float z = 0.0193339f * R + 0.119192f * G + 0.9503041f * B;
                float l, a, b;
                XYZ2LAB(x, y, z, &l, &a, &b);
                out[0] = clampTruncate(l * 255.0f / 100.0f + 0.5f);
                out[1] = clampTruncate(a + 128.0f + 0.5f);
                out[2] = clampTruncate(b + 128.0f + 0.5f);
            });
            lPlane[i] = lab[0];
            aPlane[i] = lab[1];
            bPlane[i] = lab[2];
        }

        HistogramSpecification(lPlane.data(), lPlane.data(), n);

        for (size_t i = 0; i < n; ++i) {
            uint8_t *px = rgba + i * 4;
            const uint32_t lab = (uint32_t{lPlane[i]} << 16) | (uint32_t{aPlane[i]} << 8) | bPlane[i];
            toRgb.lookup(lab, px, [&](uint8_t *out) {
                const float l = static_cast<float>(lPlane[i]) * 100.0f / 255.0f;
                const float a = static_cast<float>(aPlane[i]) - 128.0f;
                const float b = static_cast<float>(bPlane[i]) - 128.0f;
                LAB2RGB(l, a, b, &out[0], &out[1], &out[2]);
            });
        }
    } catch (const std::bad_alloc &) {
        return 2;
    }
    return 0;
}

const uint8_t *brightnessIncreaseTable() { return kIncreaseTable.data(); }
const uint8_t *brightnessReduceTable() { return kReduceTable.data(); }

int ZVImageBrightnessIncrease(ZVImage *image) { return applyTable(image, kIncreaseTable); }

int ZVImageBrightnessReduce(ZVImage *image) { return applyTable(image, kReduceTable); }

int ZVImageBrightnessContrastReduction(ZVImage *image) {
    return applyCurve(image, [](int p) {
        const float x = static_cast<float>(p) / 255.0f;
        const double exponent = 0.7f;
        float y;
        if (x < 0.1f) {
            y = 1.2f * x;
        } else if (x < 0.5f) {
            y = 0.5f * static_cast<float>(std::pow(static_cast<double>(2.0f * x), exponent));
        } else if (x < 0.9f) {
            y = 1.0f - 0.5f * static_cast<float>(std::pow(static_cast<double>(2.0f * (1.0f - x)), exponent));
        } else {
            y = 0.8f + 0.2f * (x - 0.9f) / 0.1f;
        }
        return clampTruncate(255.0f * y);
    });
}

int ZVImageBrightnessContrastReduction_2(ZVImage *image) {
    return applyCurve(image, [](int p) {
        const double exponent = 0.8f;
        const float v = static_cast<float>(std::pow(static_cast<double>(static_cast<float>(p) / 255.0f), exponent));
        return clampTruncate(255.0f * (0.9f * (v - 0.5f) + 0.5f));
    });
}

int ZVImageBrightnessAutoLevels(ZVImage *image) {
    if (isEmptyGrayData(image)) return 1;
    const size_t n = static_cast<size_t>(image->width) * image->height;
    uint8_t *gray = image->grayData;

    std::array<uint64_t, 256> histogram{};
    for (size_t i = 0; i < n; ++i) ++histogram[gray[i]];

    const uint64_t low = static_cast<uint64_t>(static_cast<float>(n) * 0.01f);
    const uint64_t high = static_cast<uint64_t>(static_cast<float>(n) * 0.99f);
    const uint64_t topCount = n > high ? n - high : 0;

    int lo = 0;
    uint64_t running = 0;
    for (int v = 0; v < 256; ++v) {
        running += histogram[v];
        if (running >= low) {
            lo = v;
            break;
        }
    }
    int hi = 255;
    running = 0;
    for (int v = 255; v >= 0; --v) {
        running += histogram[v];
        if (running >= topCount) {
            hi = v;
            break;
        }
    }
    if (hi <= lo) return 0;

    const float scale = 255.0f / static_cast<float>(hi - lo);
    std::array<uint8_t, 256> table{};
    for (int p = 0; p < 256; ++p) table[p] = clampTruncate(static_cast<float>(p - lo) * scale);
    for (size_t i = 0; i < n; ++i) gray[i] = table[gray[i]];
    return 0;
}
