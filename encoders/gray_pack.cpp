#include "encoders/gray_pack.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/debug_log.h"
#include "imaging/custom_pipeline.h"
#include "imaging/print_setting.h"
#include "imaging/zv_image.h"

namespace {

using Table8 = std::array<std::array<uint8_t, 8>, 8>;
using Table16 = std::array<std::array<uint8_t, 16>, 16>;

// Print mode 2: the transposed 8x8 Bayer index matrix, except that the corner
// holds 1 instead of 0, so that even pure black never leaves a dot unprinted.
constexpr Table8 kDitherMatrixA = {{
    {1, 48, 12, 60, 3, 51, 15, 63},
    {32, 16, 44, 28, 35, 19, 47, 31},
    {8, 56, 4, 52, 11, 59, 7, 55},
    {40, 24, 36, 20, 43, 27, 39, 23},
    {2, 50, 14, 62, 1, 49, 13, 61},
    {34, 18, 46, 30, 33, 17, 45, 29},
    {10, 58, 6, 54, 9, 57, 5, 53},
    {42, 26, 38, 22, 41, 25, 37, 21},
}};

// Print mode 3: a clustered-dot screen (two dot centres per 8x8 cell). The
// centre of the first dot holds 1, not 0: no gray value is below 0, so a 0 would
// leave one dot of every cell white even on solid black (as mode 2's corner).
constexpr Table8 kDitherMatrixB = {{
    {24, 10, 12, 26, 35, 47, 49, 37},
    {8, 1, 2, 14, 45, 59, 61, 51},
    {22, 6, 4, 16, 43, 57, 63, 53},
    {30, 20, 18, 28, 33, 41, 55, 39},
    {34, 46, 48, 36, 25, 11, 13, 27},
    {44, 58, 60, 50, 9, 1, 3, 15},
    {42, 56, 62, 52, 23, 7, 5, 17},
    {32, 40, 54, 38, 31, 21, 19, 29},
}};

// Print mode 4: the 16x16 Bayer index matrix, M(2n) = [[4M, 4M+2], [4M+3, 4M+1]],
// with its single 255 lowered to 254 (so white paper stays white) and its
// single 0 raised to 1 (so solid black is black in every dot).
constexpr Table16 makeDitherMatrixC() {
    Table16 m{};
    m[0][0] = 0;
    for (int n = 1; n < 16; n *= 2) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                const int v = 4 * m[i][j];
                m[i][j] = static_cast<uint8_t>(v);
                m[i][j + n] = static_cast<uint8_t>(v + 2);
                m[i + n][j] = static_cast<uint8_t>(v + 3);
                m[i + n][j + n] = static_cast<uint8_t>(v + 1);
            }
        }
    }
    m[15][0] = 254;
    m[0][0] = 1;
    return m;
}
constexpr Table16 kDitherMatrixC = makeDitherMatrixC();

// Every mode reduces to "black when g < limit" with a limit per column
// (x mod 16) of the row: g <= 128 is g < 129, (g / 4) < A is g < 4A. Every
// table entry is at least 1, so gray 0 is black in every mode.
using RowLimits = std::array<uint8_t, 16>;

RowLimits limitsForRow(int mode, long y) {
    RowLimits limits{};
    for (int x = 0; x < 16; ++x) {
        switch (mode) {
            case 0:
                limits[x] = 129;
                break;
            case 2:
                limits[x] = static_cast<uint8_t>(4 * kDitherMatrixA[y % 8][x % 8]);
                break;
            case 3:
                limits[x] = static_cast<uint8_t>(4 * kDitherMatrixB[y % 8][x % 8]);
                break;
            case 4:
                limits[x] = kDitherMatrixC[x][y % 16];
                break;
            default:
                limits[x] = 161;
                break;
        }
    }
    return limits;
}

#if defined(__SSE2__)
// Mirrors the bit order inside every byte: movemask gives pixel 0 in bit 0,
// the printer wants it in bit 7.
inline uint64_t reverseBitsInBytes(uint64_t m) {
    m = ((m >> 1) & 0x5555555555555555ull) | ((m & 0x5555555555555555ull) << 1);
    m = ((m >> 2) & 0x3333333333333333ull) | ((m & 0x3333333333333333ull) << 2);
    return ((m >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((m & 0x0F0F0F0F0F0F0F0Full) << 4);
}

// Black mask of sixteen pixels, pixel i in bit i. Both sides are shifted by
// 0x80 so the signed byte compare orders them as unsigned: g < limit.
inline unsigned blackMask16(const uint8_t *gray, __m128i biasedLimits) {
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i g = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(gray)), bias);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(biasedLimits, g)));
}
#endif

void packRow(const uint8_t *gray, uint8_t *out, long widthBytes, const RowLimits &limits) {
    long b = 0;
#if defined(__SSE2__)
    const __m128i biasedLimits = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(limits.data())),
                                               _mm_set1_epi8(static_cast<char>(0x80)));
    // Sixty-four pixels (eight output bytes) per step; every step starts on a
    // multiple of 16 pixels, so the limits line up with the columns.
    for (; b + 8 <= widthBytes; b += 8) {
        const uint8_t *g = gray + 8 * b;
        uint64_t mask = static_cast<uint64_t>(blackMask16(g, biasedLimits)) |
                        static_cast<uint64_t>(blackMask16(g + 16, biasedLimits)) << 16 |
                        static_cast<uint64_t>(blackMask16(g + 32, biasedLimits)) << 32 |
                        static_cast<uint64_t>(blackMask16(g + 48, biasedLimits)) << 48;
        mask = reverseBitsInBytes(mask);  // little-endian: byte k of mask is output byte b + k
        uint64_t current;
        std::memcpy(&current, out + b, sizeof current);
        current |= mask;
        std::memcpy(out + b, &current, sizeof current);
    }
    for (; b + 2 <= widthBytes; b += 2) {
        const uint64_t mask = reverseBitsInBytes(blackMask16(gray + 8 * b, biasedLimits));
        out[b] |= static_cast<uint8_t>(mask);
        out[b + 1] |= static_cast<uint8_t>(mask >> 8);
    }
#endif
    for (; b < widthBytes; ++b) {
        uint8_t byte = 0;
        for (int i = 0; i < 8; ++i)
            if (gray[8 * b + i] < limits[(8 * b + i) % 16]) byte |= static_cast<uint8_t>(0x80 >> i);
        out[b] |= byte;
    }
}

}  // namespace

void old_Gray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height, int printMode) {
    writeLogString("Gray2Bytes: Enter function\r\n");
    if (gray != nullptr && out != nullptr && widthBytes > 0) {
        const size_t rowPixels = static_cast<size_t>(widthBytes) * 8;
        for (long y = 0; y < height; ++y) {
            packRow(gray + static_cast<size_t>(y) * rowPixels, out + static_cast<size_t>(y) * widthBytes, widthBytes,
                    limitsForRow(printMode, y));
        }
    }
    writeLogString("Gray2Bytes: Exit function11\r\n");
}

namespace {

// Print mode 8, text and pictures on one label: cut into bands between blank
// rows, text bands handed to the text route, the brightness bits for text and
// for pictures (the pipeline applies the first of its group), Atkinson
// diffusion for the rest.
constexpr uint32_t kTextImageMixedFlags = kZVProcessTextOutsourcing | kZVProcessAtkinson | kZVProcessBrightnessImage |
                                          kZVProcessBrightnessText | kZVProcessCut;
static_assert(kTextImageMixedFlags == 0x20806001u, "print mode 8's flag word");

// Runs the pipeline; fills the block and returns 0, or returns the failing
// status with the block untouched.
uint32_t packThroughPipeline(const unsigned char *gray, unsigned char *out, long widthBytes, long height,
                             uint32_t processFlags) {
    if (gray == nullptr || out == nullptr || widthBytes <= 0 || height <= 0) return 1;
    if (static_cast<unsigned long>(widthBytes) > UINT32_MAX / 8 || static_cast<unsigned long>(height) > UINT32_MAX)
        return 1;
    const auto width = static_cast<uint32_t>(widthBytes * 8);
    const auto rows = static_cast<uint32_t>(height);

    ZVImage *image = creatZVImageWithGrayData(gray, width, rows);
    if (image == nullptr) return 2;
    PrintSetting printSetting;
    creatDefaultPrintSettingWithPrintSize(&printSetting, width, rows);
    ImageProcessingSetting setting;
    creatDefaultImageProcessingSetting(&setting);
    setting.threshold = 160;
    setting.processFlags = processFlags;

    uint32_t status = getZVImageProcessingForCustom(image, printSetting, setting);
    if (status == 0 && image->pixByteData == nullptr) status = 2;
    if (status == 0) {
        // The flag words of the print modes keep the size; the block never
        // receives more than it holds, and rows the picture lacks stay white.
        const size_t block = static_cast<size_t>(widthBytes) * static_cast<size_t>(height);
        const size_t packed = zvImagePackedSize(image->width, image->height);
        const size_t copied = packed < block ? packed : block;
        std::memcpy(out, image->pixByteData, copied);
        std::memset(out + copied, 0, block - copied);
        writeLogString("getPrintData");
    }
    freeZVImageData(image);
    std::free(image);
    return status;
}

}  // namespace

uint32_t pipelineGray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height,
                            uint32_t processFlags) {
    const uint32_t status = packThroughPipeline(gray, out, widthBytes, height, processFlags);
    if (status != 0) {
        // A label with plain threshold dots beats a blank or undefined one.
        writeLogString("Gray2Bytes - pipeline failed with status %u; page packed as print mode 1",
                       static_cast<unsigned>(status));
        if (out != nullptr && widthBytes > 0 && height > 0)
            std::memset(out, 0, static_cast<size_t>(widthBytes) * static_cast<size_t>(height));
        old_Gray2Bytes(gray, out, widthBytes, height, 1);
    }
    return status;
}

void Gray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height, int printMode) {
    writeLogString("Gray2Bytes:%d", printMode);
    if (static_cast<unsigned>(printMode) <= 5) {
        writeLogString("Gray2Bytes - old");
        old_Gray2Bytes(gray, out, widthBytes, height, printMode);
        return;
    }
    writeLogString("Gray2Bytes - new");
    uint32_t flags = 0;
    switch (printMode) {
        case 6:
            writeLogString("ZVImageAlgoText");
            flags = 0;
            break;
        case 7:
            writeLogString("ZVImageAlgoImage");
            flags = kZVProcessAtkinson;
            break;
        case 8:
            writeLogString("ZVImageAlgoTextImageMixed");
            flags = kTextImageMixedFlags;
            break;
        default:
            writeLogString("unknow");
            flags = 0;
            break;
    }
    pipelineGray2Bytes(gray, out, widthBytes, height, flags);
}
