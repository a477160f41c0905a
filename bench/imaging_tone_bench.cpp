// Tone and sharpening operations on a full 1664x2400 page (203 dpi, about
// 208 x 300 mm): gray CLAHE, edge-preserving (bilateral) sharpening and the
// lightness histogram specification of the colour plane.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/clahe.h"
#include "imaging/sharpen.h"
#include "imaging/tone.h"
#include "imaging/zv_image.h"

namespace {

constexpr uint32_t kWidth = 1664;
constexpr uint32_t kHeight = 2400;

// A page with a photograph-like upper half (gradients plus grain) and a
// text-like lower half (dark strokes on white).
std::vector<uint8_t> pageRgba() {
    std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
    uint32_t s = 12345;
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            const int grain = static_cast<int>(s >> 28) - 8;
            uint8_t *p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
            if (y < kHeight / 2) {
                p[0] = static_cast<uint8_t>(std::min(255, std::max(0, static_cast<int>(x * 255 / kWidth) + grain)));
                p[1] =
                    static_cast<uint8_t>(std::min(255, std::max(0, static_cast<int>(y * 255 / kHeight * 2) + grain)));
                p[2] = static_cast<uint8_t>(((x / 7) ^ (y / 5)) & 0xFF);
            } else {
                const bool stroke = ((x / 3) % 9 < 2) && ((y / 24) % 2 == 0) && ((x / 200) % 3 != 2);
                const uint8_t v = stroke ? 20 : 250;
                p[0] = p[1] = p[2] = v;
            }
            p[3] = 255;
        }
    }
    return rgba;
}

std::vector<uint8_t> pageGray() {
    const std::vector<uint8_t> rgba = pageRgba();
    std::vector<uint8_t> gray(static_cast<size_t>(kWidth) * kHeight);
    for (size_t i = 0; i < gray.size(); ++i) {
        gray[i] = static_cast<uint8_t>((rgba[i * 4] * 3 + rgba[i * 4 + 1] * 5 + rgba[i * 4 + 2] * 2) / 10);
    }
    return gray;
}

void releaseImage(ZVImage *image) {
    freeZVImageData(image);
    std::free(image);
}

void BM_GrayClahe(benchmark::State &state) {
    const std::vector<uint8_t> gray = pageGray();
    ZVImage *image = creatZVImageWithGrayData(gray.data(), kWidth, kHeight);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image->grayData, gray.data(), gray.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(ZVImageGrayHistogramCLAHE(image));
    }
    releaseImage(image);
}
BENCHMARK(BM_GrayClahe)->Unit(benchmark::kMillisecond);

void BM_SharpenEdgePreserving(benchmark::State &state) {
    const std::vector<uint8_t> gray = pageGray();
    ZVImage *image = creatZVImageWithGrayData(gray.data(), kWidth, kHeight);
    const uint16_t radius = static_cast<uint16_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image->grayData, gray.data(), gray.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(ZVImageSharpenEdgePreserving(image, radius, 4.0f));
    }
    releaseImage(image);
}
BENCHMARK(BM_SharpenEdgePreserving)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_HistogramSpecification(benchmark::State &state) {
    const std::vector<uint8_t> rgba = pageRgba();
    ZVImage *image = creatZVImageWithRGBAData(rgba.data(), kWidth, kHeight);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image->rgbaData, rgba.data(), rgba.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(ZVImageHistogramSpecification(image));
    }
    releaseImage(image);
}
BENCHMARK(BM_HistogramSpecification)->Unit(benchmark::kMillisecond);

}  // namespace
