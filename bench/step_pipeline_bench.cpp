// The small-size step chain and the colour inkjet preset on one A4 page at
// 203 dpi (1664 x 2400), with one Floyd-Steinberg pass over the same page as
// the yardstick (goals: chain within 4 x and 150 ms, colour preset within
// 4 x and 500 ms).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "imaging/ink_separation.h"
#include "imaging/print_setting.h"
#include "imaging/simple_rand.h"
#include "imaging/step_pipeline.h"
#include "imaging/zv_dither.h"
#include "imaging/zv_image.h"

namespace {

constexpr uint32_t kWidth = zvbench::kA4Width;
constexpr uint32_t kHeight = zvbench::kA4Height;
const std::vector<uint8_t> &pageFixture() { return zvbench::a4PhotoPage(); }

// Each run starts from the page as the protocol path hands it over: RGBA only.
template <typename Run>
void onPage(benchmark::State &state, Run run) {
    const std::vector<uint8_t> &page = pageFixture();
    for (auto _ : state) {
        state.PauseTiming();
        ZVImage *image = creatZVImageWithRGBAData(page.data(), kWidth, kHeight);
        state.ResumeTiming();
        benchmark::DoNotOptimize(run(image));
        state.PauseTiming();
        freeZVImageData(image);
        std::free(image);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}

void BM_FloydSteinbergPass(benchmark::State &state) {
    ImageProcessingSetting setting;
    creatDefaultImageProcessingSetting(&setting);
    setting.randomThreshold = 0;
    onPage(state, [&setting](ZVImage *image) {
        ZVImageConvertRGBA2Gray(image);
        return ZVImageFloydSteinbergDither(image, setting);
    });
}

void BM_StepPipeline(benchmark::State &state) { onPage(state, getZVImageProcessingForP20); }

void BM_CMYPreset(benchmark::State &state) { onPage(state, getZVImageProcessingForA4CMYInkejtImageMixText); }

}  // namespace

BENCHMARK(BM_FloydSteinbergPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepPipeline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CMYPreset)->Unit(benchmark::kMillisecond);
