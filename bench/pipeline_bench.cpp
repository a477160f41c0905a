// Gray2Bytes per page: the classic threshold (print mode 0) against the
// pipeline modes 6 (text), 7 (picture) and 8 (mixed), on a 4x6 inch label at
// 203 dpi (812 x 1218, rows padded to 816 pixels as the page loop does) and on
// a 1664 x 2400 page. Compare each mode's time with mode 0 on the same page.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "encoders/gray_pack.h"

namespace {

// Text lines on the upper third, a photograph below, blank rows between,
// white margins: the kind of label the mixed mode is meant for.
std::vector<uint8_t> makePage(long width, long height) {
    std::vector<uint8_t> gray(static_cast<size_t>(width * height), 255);
    uint32_t noise = 12345;
    const long textEnd = height / 3;
    for (long y = 16; y < height - 16; ++y) {
        uint8_t *row = gray.data() + y * width;
        if (y < textEnd) {
            if (y % 48 >= 32) continue;  // blank rows between text lines
            for (long x = 16; x < width - 16; ++x)
                if ((x / 3 + y / 5) % 7 < 2 && x % 11 < 6) row[x] = 0;
        } else if (y >= textEnd + 24) {
            for (long x = 16; x < width - 16; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const long v = (x * 255) / width / 2 + (y % 300) / 3 + 40 + static_cast<long>(noise >> 28);
                row[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
        }
    }
    return gray;
}

const std::vector<uint8_t> &pageFor(long width, long height) {
    static std::map<std::pair<long, long>, std::vector<uint8_t>> pages;
    auto &page = pages[{width, height}];
    if (page.empty()) page = makePage(width, height);
    return page;
}

void BM_Gray2Bytes(benchmark::State &state) {
    static const bool logAway = [] {
        zvbench::scratchDiagnostics();
        return true;
    }();
    (void)logAway;
    const long widthBytes = state.range(0) / 8;
    const long height = state.range(1);
    const int mode = static_cast<int>(state.range(2));
    const std::vector<uint8_t> &page = pageFor(widthBytes * 8, height);
    std::vector<uint8_t> out(static_cast<size_t>(widthBytes * height));
    for (auto _ : state) {
        std::fill(out.begin(), out.end(), 0);
        Gray2Bytes(page.data(), out.data(), widthBytes, height, mode);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * widthBytes * 8 * height);
}

void pages(benchmark::internal::Benchmark *b) {
    for (const auto &size : {std::pair<long, long>{816, 1218}, std::pair<long, long>{1664, 2400}})
        for (int mode : {0, 6, 7, 8}) b->Args({size.first, size.second, mode});
    b->ArgNames({"width", "height", "mode"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Gray2Bytes)->Apply(pages);

}  // namespace
