#include "encoders/gray_pack.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "filter/core/debug_log.h"

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

// Print mode 3: a clustered-dot screen (two dot centres per 8x8 cell).
constexpr Table8 kDitherMatrixB = {{
    {24, 10, 12, 26, 35, 47, 49, 37},
    {8, 0, 2, 14, 45, 59, 61, 51},
    {22, 6, 4, 16, 43, 57, 63, 53},
    {30, 20, 18, 28, 33, 41, 55, 39},
    {34, 46, 48, 36, 25, 11, 13, 27},
    {44, 58, 60, 50, 9, 1, 3, 15},
    {42, 56, 62, 52, 23, 7, 5, 17},
    {32, 40, 54, 38, 31, 21, 19, 29},
}};

// Print mode 4: the 16x16 Bayer index matrix, M(2n) = [[4M, 4M+2], [4M+3, 4M+1]],
// with its single 255 lowered to 254 (so no gray value is black everywhere).
constexpr Table16 makeDitherMatrixC() {
    Table16 m {};
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
    return m;
}
constexpr Table16 kDitherMatrixC = makeDitherMatrixC();

constexpr std::array<uint8_t, 256> makeBitReverse() {
    std::array<uint8_t, 256> r {};
    for (int v = 0; v < 256; ++v) {
        int out = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (v & (1 << bit)) out |= 0x80 >> bit;
        r[v] = static_cast<uint8_t>(out);
    }
    return r;
}
constexpr std::array<uint8_t, 256> kBitReverse = makeBitReverse();

// Every mode reduces to "black when g < limit" with a limit per column
// (x mod 16) of the row: g <= 128 is g < 129, (g / 4) < A is g < 4A, and a
// table entry of 0 gives the limit 0, which no gray value is below.
using RowLimits = std::array<uint8_t, 16>;

RowLimits limitsForRow(int mode, long y) {
    RowLimits limits {};
    for (int x = 0; x < 16; ++x) {
        switch (mode) {
            case 0: limits[x] = 129; break;
            case 2: limits[x] = static_cast<uint8_t>(4 * kDitherMatrixA[y % 8][x % 8]); break;
            case 3: limits[x] = static_cast<uint8_t>(4 * kDitherMatrixB[y % 8][x % 8]); break;
            case 4: limits[x] = kDitherMatrixC[x][y % 16]; break;
            default: limits[x] = 161; break;
        }
    }
    return limits;
}

void packRow(const uint8_t *gray, uint8_t *out, long widthBytes, const RowLimits &limits) {
    long b = 0;
#if defined(__SSE2__)
    // Sixteen pixels at a time: (limit - g) saturates to 0 exactly when g >= limit.
    const __m128i vLimits = _mm_loadu_si128(reinterpret_cast<const __m128i *>(limits.data()));
    const __m128i zero = _mm_setzero_si128();
    for (; b + 2 <= widthBytes; b += 2) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(gray + 8 * b));
        const __m128i white = _mm_cmpeq_epi8(_mm_subs_epu8(vLimits, g), zero);
        const unsigned black = ~static_cast<unsigned>(_mm_movemask_epi8(white));
        // movemask puts pixel 0 in bit 0; the printer wants it in bit 7.
        out[b] |= kBitReverse[black & 0xFF];
        out[b + 1] |= kBitReverse[(black >> 8) & 0xFF];
    }
    if (b < widthBytes) {  // b is even here, so the columns are 0..7 of the limits
        const __m128i g = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(gray + 8 * b));
        const __m128i white = _mm_cmpeq_epi8(_mm_subs_epu8(vLimits, g), zero);
        const unsigned black = ~static_cast<unsigned>(_mm_movemask_epi8(white));
        out[b] |= kBitReverse[black & 0xFF];
        ++b;
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

void Gray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height, int printMode) {
    writeLogString("Gray2Bytes:%d", printMode);
    if (static_cast<unsigned>(printMode) <= 5) {
        writeLogString("Gray2Bytes - old");
        old_Gray2Bytes(gray, out, widthBytes, height, printMode);
        return;
    }
    writeLogString("Gray2Bytes - new");
    // The processing pipeline behind these modes is not part of this build yet:
    // leave the page white rather than guess at its dots.
    if (out != nullptr && widthBytes > 0 && height > 0)
        std::memset(out, 0, static_cast<size_t>(widthBytes) * static_cast<size_t>(height));
}
