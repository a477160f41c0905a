// Each photo effect on one full A4 page at 203 dpi (1664 x 2400 RGBA pixels).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "imaging/effects.h"
#include "imaging/zv_image.h"

namespace {

constexpr uint32_t kWidth = zvbench::kA4Width;
constexpr uint32_t kHeight = zvbench::kA4Height;
const std::vector<uint8_t> &pageFixture() { return zvbench::a4PhotoPage(); }

template <typename Run>
void effectOnPage(benchmark::State &state, Run run) {
    const std::vector<uint8_t> &page = pageFixture();
    ZVImage *image = creatZVImageWithRGBAData(page.data(), kWidth, kHeight);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image->rgbaData, page.data(), page.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(run(image));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
    freeZVImageData(image);
    std::free(image);
}

void BM_Text(benchmark::State &s) {
    effectOnPage(s, [](ZVImage *i) { return textWithZVImage(i, 31); });
}
void BM_LineDraft(benchmark::State &s) { effectOnPage(s, lineDraftWithZVImage); }
void BM_LineDraft4(benchmark::State &s) { effectOnPage(s, lineDraft4WithZVImage); }
void BM_Sepia(benchmark::State &s) { effectOnPage(s, nostalgiaWithZVImage); }
void BM_Negative(benchmark::State &s) { effectOnPage(s, negativeFilmWithZVImage); }
void BM_Sketch(benchmark::State &s) { effectOnPage(s, sketchWithZVImage); }
void BM_Sketch2(benchmark::State &s) { effectOnPage(s, sketch2WithZVImage); }
void BM_BlackWhite(benchmark::State &s) { effectOnPage(s, blackWhiteWithZVImage); }
void BM_Equalize(benchmark::State &s) { effectOnPage(s, equalizeHistWithZVImage); }
void BM_Adjust(benchmark::State &s) {
    effectOnPage(s, [](ZVImage *i) { return adjustWithZVImage(i, 0.2f, 0.05f); });
}

}  // namespace

BENCHMARK(BM_Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineDraft)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineDraft4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sepia)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Negative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sketch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sketch2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlackWhite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Equalize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adjust)->Unit(benchmark::kMillisecond);
