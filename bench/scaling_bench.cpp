// Scaling a full 1664 x 2400 page onto the L40 (image 1502 x 2167): the
// per-pixel formula against the version with per-column and per-row weights.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/cubic_zoom.h"
#include "protocol_print/model_scaling.h"

namespace {

constexpr uint32_t kSrcW = 1664;
constexpr uint32_t kSrcH = 2400;
constexpr uint32_t kDstW = 1502;
constexpr uint32_t kDstH = 2167;

const std::vector<uint8_t> &sourcePage() {
    static const std::vector<uint8_t> page = [] {
        std::vector<uint8_t> p(static_cast<size_t>(kSrcW) * kSrcH);
        for (uint32_t y = 0; y < kSrcH; ++y) {
            for (uint32_t x = 0; x < kSrcW; ++x)
                p[static_cast<size_t>(y) * kSrcW + x] = ((x / 13 + y / 17) % 2) ? 255 : 20;
        }
        return p;
    }();
    return page;
}

template <void (*Zoom)(const ZoomBitmap *, const ZoomBitmap *)>
void zoomToL40(benchmark::State &state) {
    const auto &src = sourcePage();
    std::vector<uint8_t> dst(static_cast<size_t>(kDstW) * kDstH);
    const ZoomBitmap from{const_cast<uint8_t *>(src.data()), kSrcW, kSrcW, kSrcH};
    const ZoomBitmap to{dst.data(), kDstW, kDstW, kDstH};
    for (auto _ : state) {
        Zoom(&to, &from);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kDstW * kDstH);
}

void BM_ZoomL40_DirectFormula(benchmark::State &state) { zoomToL40<PicZoom_ThreeOrder0_Reference>(state); }
void BM_ZoomL40_Precomputed(benchmark::State &state) { zoomToL40<PicZoom_ThreeOrder0>(state); }

// The whole model function: white page, scaling and placement.
void BM_DriveBitmapZoomToL40(benchmark::State &state) {
    const auto &src = sourcePage();
    for (auto _ : state) {
        uint32_t w = 0;
        uint32_t h = 0;
        uint8_t *page = driveBitmapZoomToL40(src.data(), kSrcW, kSrcH, &w, &h);
        benchmark::DoNotOptimize(page);
        std::free(page);
    }
}

BENCHMARK(BM_ZoomL40_DirectFormula)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomL40_Precomputed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DriveBitmapZoomToL40)->Unit(benchmark::kMillisecond);

}  // namespace
