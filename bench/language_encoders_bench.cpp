// Whole-page cost of the ZPL (hexadecimal and Z64), CPCL and ESC/POS encoders
// on a 4x6 inch label at 203 dpi (812 x 1218) and an 80 mm receipt one metre
// long (576 x 8000). The diagnostic files are switched off by pointing them at a
// directory that does not exist, so only the encoding itself is measured.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench/bench_support.h"
#include "core/dynamic_array.h"
#include "core/printer_settings.h"
#include "encoders/cpcl.h"
#include "encoders/escpos.h"
#include "encoders/zpl.h"
#include "tests/support/label_settings.h"

namespace {

PrinterSettings settingsFor(int16_t compressed) {
    zvbench::switchOffDiagnostics();
    PrinterSettings s = zvtest::labelSettings();
    s.isCompressie = compressed;
    s.feedDist = 2;
    s.cutting = 1;
    return s;
}

using Encoder = dynamic_array *(*)(unsigned char *, long, long, PrinterSettings *);

void runEncoder(benchmark::State &state, Encoder encoder, int16_t compressed, int16_t blankSpace) {
    const long width = state.range(0);
    const long height = state.range(1);
    std::vector<unsigned char> page = zvbench::labelLikePage(width, height);
    PrinterSettings settings = settingsFor(compressed);
    settings.blankSpace = blankSpace;
    uint64_t outBytes = 0;
    for (auto _ : state) {
        dynamic_array *out = encoder(page.data(), width, height, &settings);
        outBytes = out->size;
        benchmark::DoNotOptimize(out->data);
        dynamic_array_destroy(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * width * height);
    state.counters["out_bytes"] = static_cast<double>(outBytes);
}

void BM_ZPLHex(benchmark::State &state) { runEncoder(state, getZPLPrintData, 0, 0); }
void BM_ZPLZ64(benchmark::State &state) { runEncoder(state, getZPLPrintData, 1, 0); }
void BM_CPCLHex(benchmark::State &state) { runEncoder(state, getCPCLPrintData, 0, 0); }
void BM_CPCLBinary(benchmark::State &state) { runEncoder(state, getCPCLPrintData, 1, 0); }
void BM_ESCPOS(benchmark::State &state) { runEncoder(state, getESCPrintData, 0, 0); }
void BM_ESCPOSBlankSpace(benchmark::State &state) { runEncoder(state, getESCPrintData, 0, 1); }

// ESC/POS black-row removal on a receipt that is mostly black rows: must stay
// linear in the page size.
void BM_ESCPOSManyBlackRows(benchmark::State &state) {
    const long width = state.range(0);
    const long height = state.range(1);
    std::vector<unsigned char> page(static_cast<size_t>(width * height), 0);
    for (long y = 0; y < height; y += 10) page[static_cast<size_t>(y * width + width / 2)] = 255;
    PrinterSettings settings = settingsFor(0);
    settings.blankSpace = 1;
    settings.feedDist = 0;
    for (auto _ : state) {
        dynamic_array *out = getESCPrintData(page.data(), width, height, &settings);
        benchmark::DoNotOptimize(out->data);
        dynamic_array_destroy(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * width * height);
}

#define PAGES ->Args({812, 1218})->Args({576, 8000})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_ZPLHex) PAGES;
BENCHMARK(BM_ZPLZ64) PAGES;
BENCHMARK(BM_CPCLHex) PAGES;
BENCHMARK(BM_CPCLBinary) PAGES;
BENCHMARK(BM_ESCPOS) PAGES;
BENCHMARK(BM_ESCPOSBlankSpace) PAGES;
BENCHMARK(BM_ESCPOSManyBlackRows)->Args({576, 8000})->Args({576, 32000})->Unit(benchmark::kMillisecond);

}  // namespace
