// Each photo effect on one full A4 page at 203 dpi (1664 x 2400 RGBA pixels).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/effects.h"
#include "imaging/zv_image.h"

namespace {

constexpr uint32_t kWidth = 1664;
constexpr uint32_t kHeight = 2400;

// A colour page with gradients, a photo-like texture and dark strokes.
const std::vector<uint8_t> &pageFixture() {
    static const std::vector<uint8_t> page = [] {
        std::vector<uint8_t> rgba(size_t{4} * kWidth * kHeight);
        uint32_t noise = 12345;
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                uint8_t *p = &rgba[(size_t{y} * kWidth + x) * 4];
                for (int c = 0; c < 3; ++c) {
                    noise = noise * 1664525u + 1013904223u;
                    int v =
                        static_cast<int>((x * 255u) / kWidth + (y % 300) + 40 * c) / 2 + static_cast<int>(noise >> 28);
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
