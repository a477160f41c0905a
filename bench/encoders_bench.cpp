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

#include "bench/bench_support.h"
#include "core/dynamic_array.h"
#include "core/printer_settings.h"
#include "encoders/encoders.h"
#include "encoders/gray_pack.h"
#include "tests/support/label_settings.h"

namespace {

constexpr long kWidth = 816;
constexpr long kHeight = 1218;

const std::vector<unsigned char> &labelPage() {
    static const std::vector<unsigned char> page = [] {
        zvbench::switchOffDiagnostics();
        return zvbench::labelLikePage(kWidth, kHeight);
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
    PrinterSettings s = zvtest::labelSettings();
    s.widthMM = 102;
    s.heightMM = 153;
    s.printMode = 2;
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
