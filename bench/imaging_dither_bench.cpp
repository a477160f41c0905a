// Halftoning of one full A4 page at 203 dpi (1664 x 2400 gray pixels).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/print_setting.h"
#include "imaging/simple_rand.h"
#include "imaging/zv_dither.h"
#include "imaging/zv_image.h"

namespace {

constexpr uint32_t kWidth = 1664;
constexpr uint32_t kHeight = 2400;

// A page with smooth gradients, a photo-like texture and text-like strokes.
const std::vector<uint8_t> &pageFixture() {
    static const std::vector<uint8_t> page = [] {
        std::vector<uint8_t> gray(static_cast<size_t>(kWidth) * kHeight);
        uint32_t noise = 12345;
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                noise = noise * 1664525u + 1013904223u;
                int v = static_cast<int>((x * 255u) / kWidth + (y % 300)) / 2 + static_cast<int>(noise >> 28);
                if (y % 40 < 4 && x % 13 < 3) v = 0;  // strokes
                gray[static_cast<size_t>(y) * kWidth + x] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
        }
        return gray;
    }();
    return page;
}

template <typename Run>
void ditherPage(benchmark::State &state, Run run) {
    const std::vector<uint8_t> &page = pageFixture();
    ZVImage *image = creatZVImageWithGrayData(page.data(), kWidth, kHeight);
    ImageProcessingSetting setting;
    creatDefaultImageProcessingSetting(&setting);
    setting.randomThreshold = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image->grayData, page.data(), page.size());
        resetSimpleRand();
        state.ResumeTiming();
        benchmark::DoNotOptimize(run(image, setting));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(page.size()));
    freeZVImageData(image);
    std::free(image);
}

void BM_FloydSteinberg(benchmark::State &state) {
    ditherPage(state, [](ZVImage *image, ImageProcessingSetting s) { return ZVImageFloydSteinbergDither(image, s); });
}
void BM_Atkinson(benchmark::State &state) {
    ditherPage(state, [](ZVImage *image, ImageProcessingSetting s) { return ZVImageAtkinsonDither(image, s); });
}
void BM_TextDither(benchmark::State &state) {
    ditherPage(state, [](ZVImage *image, ImageProcessingSetting) { return ZVImageTextImageDither(image); });
}
void BM_JarvisJudiceNinke(benchmark::State &state) {
    ditherPage(state,
               [](ZVImage *image, ImageProcessingSetting s) { return ZVImageJarvisJudiceNinkeDither(image, s); });
}

}  // namespace

BENCHMARK(BM_FloydSteinberg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Atkinson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextDither)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JarvisJudiceNinke)->Unit(benchmark::kMillisecond);
