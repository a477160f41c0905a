// Gray packing per print mode against a plain copy of the same page, and a whole
// 4x6 inch label at 203 dpi through the TSPL encoder, plain and compressed.
// The raster's 812 dots arrive from the page loop rounded up to 816.
// The diagnostic files are switched off by pointing them at a directory that
// does not exist, so only the encoding itself is measured.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/dynamic_array.h"
#include "core/printer_settings.h"
#include "encoders/encoders.h"
#include "encoders/gray_pack.h"

namespace {

constexpr long kWidth = 816;
constexpr long kHeight = 1218;

// Label-like content: text-like dark runs, a barcode block, a gray ramp, rules.
const std::vector<unsigned char> &labelPage() {
    static const std::vector<unsigned char> page = [] {
        setenv("ZORVAN_LOG_DIR", "/nonexistent/zorvan-bench/", 1);
        std::vector<unsigned char> gray(static_cast<size_t>(kWidth * kHeight), 255);
        uint32_t state = 2463534242u;
        for (long y = 0; y < kHeight; ++y) {
            unsigned char *row = gray.data() + y * kWidth;
            const long band = (y / 40) % 10;
            if (y % 400 == 399) {
                for (long x = 0; x < kWidth; ++x) row[x] = 0;
            } else if (band < 5 && y % 40 < 24) {
                for (long x = 16; x < kWidth - 16; ++x) {
                    state ^= state << 13;
                    state ^= state >> 17;
                    state ^= state << 5;
                    if ((x / 6 + y / 3) % 4 != 0 && (state & 7) < 3) row[x] = 0;
                }
            } else if (band < 7) {
                for (long x = 32; x < kWidth - 32; ++x) row[x] = ((x * 7919) / 13) % 5 < 2 ? 0 : 255;
            } else if (band < 8) {
                for (long x = 0; x < kWidth; ++x) row[x] = static_cast<unsigned char>((x + y) & 0xFF);
            }
        }
        return gray;
    }();
    return page;
}

void BM_PackClassic(benchmark::State &state) {
    const std::vector<unsigned char> &page = labelPage();
    std::vector<unsigned char> packed(static_cast<size_t>(kWidth / 8 * kHeight));
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::memset(packed.data(), 0, packed.size());  // the encoders hand over a cleared block
        old_Gray2Bytes(page.data(), packed.data(), kWidth / 8, kHeight, mode);
        benchmark::DoNotOptimize(packed.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_PackClassic)->DenseRange(0, 5)->ArgName("mode");

// The yardstick: copying the same gray page once.
void BM_MemcpyGrayPage(benchmark::State &state) {
    const std::vector<unsigned char> &page = labelPage();
    std::vector<unsigned char> copy(page.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), page.data(), page.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_MemcpyGrayPage);

void BM_TSPLPage(benchmark::State &state) {
    std::vector<unsigned char> page = labelPage();
    PrinterSettings s{};
    s.copies = 1;
    s.widthMM = 102;
    s.heightMM = 153;
    s.mediaTracking = 1;
    s.printSpeed = 4;
    s.darkness = 8;
    s.printMode = 2;
    s.noCompressieLimit = 300000;
    s.compressieLimit = 64000;
    s.isCompressie = static_cast<int16_t>(state.range(0));
    uint64_t outBytes = 0;
    for (auto _ : state) {
        dynamic_array *out = getTSPLPrintData(page.data(), kWidth, kHeight, &s);
        outBytes = out->size;
        benchmark::DoNotOptimize(out->data);
        dynamic_array_destroy(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
    state.counters["out_bytes"] = static_cast<double>(outBytes);
}
BENCHMARK(BM_TSPLPage)->Arg(0)->Arg(1)->ArgName("compressed")->Unit(benchmark::kMicrosecond);

}  // namespace
