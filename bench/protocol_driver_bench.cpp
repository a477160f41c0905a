// The protocol driver per page: an A4 page at 203 dpi (1664 x 2400, text
// lines above a photograph) through getZVProtocolPrintData, for one model of
// each family (LP40 page-sized, L40 with margins, L40S tattoo mirrored, M10
// millimetre layout) in print mode 0 (threshold), 9 (text and pictures) and
// 11 (the tattoo preset, tattoo models). The goals: modes 9 and 11 within
// 0.25 s of CPU per page. Whole-process time and peak memory against the
// raster-read floor: see the README's benchmark section.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench/bench_support.h"
#include "core/debug_log.h"
#include "protocol/protocol_state.h"
#include "protocol_print/protocol_print.h"

namespace {

std::vector<uint8_t> makePage(long width, long height) {
    std::vector<uint8_t> gray(static_cast<size_t>(width * height), 255);
    uint32_t noise = 12345;
    const long textEnd = height / 3;
    for (long y = 48; y < height - 48; ++y) {
        uint8_t *row = gray.data() + y * width;
        if (y < textEnd) {
            if (y % 48 >= 32) continue;  // blank rows between text lines
            for (long x = 48; x < width - 48; ++x)
                if ((x / 3 + y / 5) % 7 < 2 && x % 11 < 6) row[x] = 0;
        } else if (y >= textEnd + 24) {
            for (long x = 48; x < width - 48; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const long v = (x * 255) / width / 2 + (y % 300) / 3 + 40 + static_cast<long>(noise >> 28);
                row[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
        }
    }
    return gray;
}

void BM_ProtocolPage(benchmark::State &state) {
    static const bool setUp = [] {
        zvbench::scratchDiagnostics();
        setODMType(28);
        return true;
    }();
    (void)setUp;
    const int32_t model = static_cast<int32_t>(state.range(0));
    static std::vector<uint8_t> page = makePage(1664, 2400);
    PrinterSettings settings{};
    settings.darkness = 8;
    settings.mediaTracking = 0;
    settings.printMode = static_cast<int16_t>(state.range(1));
    uint64_t bytes = 0;
    for (auto _ : state) {
        DynamicArrayPtr out(getZVProtocolPrintData(page.data(), 1664, 2400, &settings, model));
        if (!out) {
            state.SkipWithError("page not printed");
            break;
        }
        bytes = out->size;
        benchmark::DoNotOptimize(out->data);
    }
    closeDebugLog();
    state.counters["bytes"] = static_cast<double>(bytes);
}

void pages(benchmark::internal::Benchmark *b) {
    for (int model : {0, 1, 4, 11})
        for (int mode : {0, 9, 11})
            if (mode != 11 || model == 4 || model == 11) b->Args({model, mode});
    b->ArgNames({"model", "mode"})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
}

BENCHMARK(BM_ProtocolPage)->Apply(pages);

}  // namespace
