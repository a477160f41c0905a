#include "protocol_print/text_binarisation.h"

#include <array>
#include <cstddef>
#include <cstdlib>

#include "imaging/zv_dither.h"
#include "imaging/zv_image.h"
#include "protocol_print/single_color.h"

namespace {

constexpr int32_t kStuckiImagesType = 5;
constexpr int32_t kLiftedImagesType = 63;

// Darkens the middle tones of text before its diffusion.
constexpr std::array<uint8_t, 256> textToneTable = {{
    0,   0,   1,   2,   2,   3,   4,   4,   5,   6,   7,   7,   8,   9,   9,   10,  11,  11,  12,  13,  14,  14,
    15,  16,  16,  17,  18,  19,  19,  20,  21,  21,  22,  23,  24,  24,  25,  26,  26,  27,  28,  29,  29,  30,
    31,  31,  32,  33,  33,  34,  35,  36,  36,  37,  38,  39,  39,  40,  41,  41,  42,  43,  44,  44,  45,  46,
    46,  47,  48,  49,  49,  50,  51,  51,  52,  53,  54,  54,  55,  56,  57,  57,  58,  59,  60,  60,  61,  62,
    62,  63,  64,  65,  65,  66,  67,  68,  68,  69,  70,  71,  71,  72,  73,  74,  74,  75,  76,  77,  77,  78,
    79,  80,  80,  81,  82,  83,  83,  84,  85,  86,  86,  87,  88,  89,  89,  90,  91,  92,  93,  93,  94,  95,
    96,  97,  97,  98,  99,  100, 101, 102, 102, 103, 104, 105, 106, 107, 107, 108, 109, 110, 111, 112, 112, 113,
    114, 115, 116, 117, 118, 118, 119, 120, 121, 122, 123, 123, 124, 125, 126, 127, 128, 129, 129, 130, 131, 132,
    133, 134, 135, 135, 136, 137, 138, 139, 140, 141, 141, 142, 143, 144, 145, 146, 147, 147, 148, 149, 150, 151,
    152, 153, 154, 155, 156, 157, 159, 160, 161, 162, 163, 164, 165, 166, 168, 169, 170, 171, 173, 174, 175, 177,
    178, 180, 181, 183, 184, 186, 187, 189, 191, 192, 194, 196, 198, 200, 201, 203, 205, 207, 209, 211, 213, 215,
    217, 219, 221, 223, 225, 227, 230, 234, 237, 241, 244, 248, 251, 255,
}};
constexpr std::array<uint8_t, 256> imageToneTable = {{
    0,   1,   2,   4,   5,   8,   9,   10,  12,  14,  16,  17,  18,  21,  22,  24,  25,  26,  29,  30,  32,  33,
    35,  37,  38,  40,  41,  43,  45,  46,  48,  49,  50,  53,  54,  56,  57,  58,  60,  61,  63,  65,  66,  68,
    69,  70,  72,  73,  74,  76,  77,  80,  81,  82,  84,  85,  86,  88,  89,  91,  92,  93,  94,  95,  96,  98,
    99,  99,  101, 102, 103, 104, 105, 107, 108, 108, 110, 111, 111, 113, 114, 115, 116, 117, 118, 119, 120, 121,
    121, 123, 124, 124, 125, 127, 128, 128, 130, 131, 131, 132, 134, 134, 135, 136, 137, 138, 139, 140, 141, 142,
    143, 143, 145, 146, 147, 147, 149, 150, 151, 151, 153, 154, 155, 155, 157, 158, 159, 160, 161, 162, 163, 164,
    165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 177, 178, 179, 180, 181, 182, 183, 184, 185, 186, 187,
    188, 189, 190, 191, 193, 194, 194, 195, 196, 197, 198, 199, 200, 201, 202, 204, 205, 205, 206, 207, 207, 208,
    209, 209, 210, 211, 211, 213, 214, 214, 215, 216, 216, 217, 217, 218, 219, 219, 221, 221, 222, 223, 223, 224,
    224, 225, 225, 226, 226, 228, 228, 229, 229, 230, 230, 231, 231, 232, 232, 233, 233, 235, 235, 236, 236, 237,
    237, 238, 238, 238, 239, 239, 240, 240, 242, 242, 242, 243, 243, 244, 244, 245, 245, 245, 246, 246, 247, 247,
    247, 249, 249, 250, 250, 250, 251, 251, 252, 252, 252, 253, 253, 255,
}};
constexpr std::array<uint8_t, 256> imageToneTableLifted = {{
    10,  10,  11,  13,  14,  17,  18,  19,  21,  23,  25,  26,  27,  30,  31,  33,  34,  35,  38,  39,  41,  42,
    44,  46,  47,  49,  50,  52,  54,  55,  57,  58,  59,  62,  63,  65,  66,  67,  69,  70,  72,  74,  75,  77,
    78,  79,  81,  82,  83,  85,  86,  89,  90,  91,  93,  94,  95,  97,  98,  100, 101, 102, 103, 104, 105, 107,
    108, 108, 110, 111, 112, 113, 114, 116, 117, 117, 119, 120, 120, 122, 123, 123, 124, 125, 126, 127, 128, 129,
    129, 131, 132, 132, 133, 135, 136, 136, 138, 139, 139, 140, 142, 142, 143, 144, 145, 146, 147, 148, 149, 150,
    151, 151, 153, 154, 155, 154, 156, 157, 158, 158, 160, 161, 162, 162, 164, 165, 166, 167, 168, 169, 170, 171,
    172, 173, 174, 175, 176, 177, 178, 179, 179, 180, 181, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193,
    194, 195, 196, 197, 199, 200, 200, 201, 201, 202, 203, 204, 205, 206, 207, 209, 210, 210, 211, 212, 212, 213,
    214, 214, 215, 216, 216, 217, 218, 218, 219, 220, 220, 221, 221, 222, 223, 223, 225, 225, 226, 227, 227, 228,
    227, 228, 228, 229, 229, 231, 231, 232, 232, 233, 233, 234, 234, 235, 235, 236, 235, 237, 237, 238, 238, 239,
    239, 240, 240, 240, 241, 241, 242, 242, 244, 243, 243, 244, 244, 245, 245, 246, 246, 246, 247, 247, 248, 248,
    247, 249, 249, 250, 250, 250, 251, 251, 252, 252, 252, 253, 253, 255,
}};

// Gray-level counts of the pixels being judged, and the shares of the four
// ranges the decisions look at. Percentages are compared exactly, as
// count * 100 against total * percent.
struct Histogram {
    std::array<uint32_t, 256> counts{};
    uint64_t total = 0;

    Histogram(const uint8_t *pixels, size_t n) {
        for (size_t i = 0; i < n; ++i) ++counts[pixels[i]];
        total = n;
    }
    uint64_t sum(int first, int last) const {
        uint64_t s = 0;
        for (int v = first; v <= last; ++v) s += counts[v];
        return s;
    }
    uint64_t bright() const { return sum(239, 255); }
    uint64_t white() const { return sum(253, 255); }
    uint64_t middle() const { return sum(64, 191); }
    uint64_t dark() const { return sum(0, 99); }
    bool below(uint64_t count, uint64_t percent) const { return count * 100 < total * percent; }
    bool atLeast(uint64_t count, uint64_t percent) const { return count * 100 >= total * percent; }
    bool above(uint64_t count, uint64_t percent) const { return count * 100 > total * percent; }
};

// A band is a picture when it is neither mostly paper nor free of mid tones,
// or when one flat level fills it with (almost) nothing dark on it.
bool bandIsImage(const Histogram &histogram) {
    if (histogram.below(histogram.bright(), 45) && histogram.below(histogram.white(), 40)) return true;
    if (histogram.above(histogram.middle(), 40)) return true;
    bool oneLevel = false;
    for (uint32_t count : histogram.counts) oneLevel = oneLevel || histogram.above(count, 80);
    return oneLevel && histogram.dark() < 8;
}

void applyTable(uint8_t *pixels, size_t n, const std::array<uint8_t, 256> &table) {
    for (size_t i = 0; i < n; ++i) pixels[i] = table[pixels[i]];
}

bool isBlankRow(const uint8_t *row, uint32_t w) {
    for (uint32_t x = 0; x < w; ++x)
        if (row[x] < 253) return false;
    return true;
}

}  // namespace

int isText(const uint8_t *page, uint32_t w, uint32_t h) {
    if (page == nullptr) return -1;
    const Histogram histogram(page, static_cast<size_t>(w) * h);
    const bool paper = histogram.atLeast(histogram.bright(), 50) || histogram.atLeast(histogram.white(), 40);
    return paper && !histogram.above(histogram.middle(), 20) ? 1 : 0;
}

int zv_imgdiff(uint8_t *rows, uint32_t w, uint32_t rowCount) {
    if (rows == nullptr) return -1;
    if (w == 0 || rowCount == 0) return 0;
    // The text dither of the pipeline is this very diffusion: Stucki weights
    // over 42 in 16-bit integers at threshold 130, margins absorbing the
    // error that leaves the band. It works on the rows in place.
    ZVImage band{};
    band.width = w;
    band.height = rowCount;
    band.grayData = rows;
    const int status = ZVImageTextImageDither(&band);
    return status == 0 ? 0 : -1;
}

int zv_cq_dither(uint8_t *rows, uint32_t w, uint32_t rowCount) {
    if (rows == nullptr) return -1;
    ditherGray(rows, w, rowCount);
    return 0;
}

int zv_img2bin(uint8_t *rows, uint32_t w, uint32_t rowCount, int32_t type) {
    if (rows == nullptr) return -1;
    const size_t n = static_cast<size_t>(w) * rowCount;
    const bool image = type != ZVImagePrintEffectTypeText && bandIsImage(Histogram(rows, n));
    if (!image) {
        applyTable(rows, n, textToneTable);
        return type == ZVImagePrintEffectTypeTattoo ? zv_cq_dither(rows, w, rowCount) : zv_imgdiff(rows, w, rowCount);
    }
    if (type == kStuckiImagesType) {
        applyTable(rows, n, imageToneTable);
        return zv_imgdiff(rows, w, rowCount);
    }
    applyTable(rows, n, type == kLiftedImagesType ? imageToneTableLifted : imageToneTable);
    return zv_cq_dither(rows, w, rowCount);
}

int zv_cq_img2bin(uint8_t *page, uint32_t w, uint32_t h, int32_t type) {
    if (page == nullptr) return -1;
    if (type == ZVImagePrintEffectTypeText) return zv_img2bin(page, w, h, type);
    const size_t n = static_cast<size_t>(w) * h;
    if (type == ZVImagePrintEffectTypeTattoo) {
        // Transfer paper shows light grays too strongly: lift them.
        for (size_t i = 0; i < n; ++i) {
            if (page[i] >= 240)
                page[i] = 255;
            else if (page[i] > 200)
                page[i] = static_cast<uint8_t>(page[i] + 5);
        }
    }
    if (isText(page, w, h) == 1) return zv_img2bin(page, w, h, type);

    // Every maximal run of non-blank rows is binarised as a band of its own;
    // blank rows become pure white.
    uint32_t bandStart = 0;
    bool inBand = false;
    for (uint32_t y = 0; y <= h; ++y) {
        uint8_t *row = page + static_cast<size_t>(y) * w;
        const bool blank = y < h && isBlankRow(row, w);
        if (y < h && !blank) {
            if (!inBand) bandStart = y;
            inBand = true;
            continue;
        }
        if (inBand) {
            const int status = zv_img2bin(page + static_cast<size_t>(bandStart) * w, w, y - bandStart, type);
            if (status != 0) return status;
            inBand = false;
        }
        if (blank)
            for (uint32_t x = 0; x < w; ++x) row[x] = 255;
    }
    return 0;
}

uint8_t *zv_BinImg2PrinterData(const uint8_t *page, uint32_t w, uint32_t h, uint64_t *byteCount) {
    if (byteCount != nullptr) *byteCount = 0;
    if (page == nullptr || w % 8 != 0) return nullptr;
    const size_t bytes = static_cast<size_t>(w / 8) * h;
    auto *packed = static_cast<uint8_t *>(std::calloc(bytes == 0 ? 1 : bytes, 1));
    if (packed == nullptr) return nullptr;
    for (size_t i = 0; i < bytes; ++i) {
        const uint8_t *p = page + 8 * i;
        uint8_t byte = 0;
        for (int k = 0; k < 8; ++k) byte |= static_cast<uint8_t>((255 - p[k]) & (0x80u >> k));
        packed[i] = byte;
    }
    if (byteCount != nullptr) *byteCount = bytes;
    return packed;
}
