// What the benchmarks share: where the diagnostic files go while they measure,
// and a page that looks like a label or receipt to the encoders.
#ifndef ZV_BENCH_BENCH_SUPPORT_H
#define ZV_BENCH_BENCH_SUPPORT_H

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/temp_dir.h"

namespace zvbench {

// The diagnostic files point at a directory that does not exist, so they are
// not written and only the encoding itself is measured.
inline void switchOffDiagnostics() {
    static const bool off = ::setenv("ZORVAN_LOG_DIR", "/nonexistent/zorvan-bench/", 1) == 0;
    (void)off;
}

// The diagnostic files are written as in a job, into a scratch directory of
// the benchmark program that is removed when it exits.
inline void scratchDiagnostics() {
    static const zvtest::ScopedLogDir scratch;
    (void)scratch;
}

// White margins, lines of "text" (short dark runs), a barcode-like block, a
// gray ramp and full-width black rules, row pitch = width.
inline std::vector<unsigned char> labelLikePage(long width, long height) {
    std::vector<unsigned char> page(static_cast<size_t>(width * height), 255);
    uint32_t state = 2463534242u;
    for (long y = 0; y < height; ++y) {
        unsigned char *row = page.data() + y * width;
        const long band = (y / 40) % 10;
        if (y % 400 == 399) {
            for (long x = 0; x < width; ++x) row[x] = 0;  // a rule across the page
        } else if (band < 5 && y % 40 < 24) {
            for (long x = 16; x < width - 16; ++x) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                if ((x / 6 + y / 3) % 4 != 0 && (state & 7) < 3) row[x] = 0;
            }
        } else if (band < 7) {
            for (long x = 32; x < width - 32; ++x) row[x] = ((x * 7919) / 13) % 5 < 2 ? 0 : 255;
        } else if (band < 8) {
            for (long x = 0; x < width; ++x) row[x] = static_cast<unsigned char>((x + y) & 0xFF);
        }
    }
    return page;
}

// An A4 page at 203 dpi (1664 x 2400) in RGBA: gradients, a photo-like
// texture and dark strokes, built once per program.
constexpr uint32_t kA4Width = 1664;
constexpr uint32_t kA4Height = 2400;
inline const std::vector<uint8_t> &a4PhotoPage() {
    static const std::vector<uint8_t> page = [] {
        std::vector<uint8_t> rgba(size_t{4} * kA4Width * kA4Height);
        uint32_t noise = 12345;
        for (uint32_t y = 0; y < kA4Height; ++y) {
            for (uint32_t x = 0; x < kA4Width; ++x) {
                uint8_t *p = &rgba[(size_t{y} * kA4Width + x) * 4];
                for (int c = 0; c < 3; ++c) {
                    noise = noise * 1664525u + 1013904223u;
                    int v = static_cast<int>((x * 255u) / kA4Width + (y % 300) + 40 * c) / 2 +
                            static_cast<int>(noise >> 28);
                    if (y % 40 < 4 && x % 13 < 3) v = 0;
                    p[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
                }
                p[3] = 255;
            }
        }
        return rgba;
    }();
    return page;
}

}  // namespace zvbench

#endif
