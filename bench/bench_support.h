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

}  // namespace zvbench

#endif
