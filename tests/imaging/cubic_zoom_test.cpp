#include "imaging/cubic_zoom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "tests/support/owned_handles.h"

namespace {

using Bitmap = zvtest::MallocPtr<uint8_t>;

// Pseudo-random flat blocks of `block` x `block` pixels (1: plain noise).
// Inside a flat block the weighted sum lands next to a whole number, where a
// single rounding step of difference changes the truncated byte.
std::vector<uint8_t> noisePage(uint32_t w, uint32_t h, uint32_t seed, uint32_t block) {
    std::vector<uint8_t> page(static_cast<size_t>(w) * h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t state = seed ^ ((x / block) * 2654435761u) ^ ((y / block) * 40503u);
            state = state * 1664525u + 1013904223u;
            state ^= state >> 15;
            state *= 2246822519u;
            page[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(state >> 24);
        }
    }
    return page;
}

TEST(ZoomKernel, WeightsAtQuarterOffsetSumToOne) {
    const double u = 0.25;
    EXPECT_EQ(SinXDivX(1 + u), -0.140625);
    EXPECT_EQ(SinXDivX(u), 0.890625);
    EXPECT_EQ(SinXDivX(1 - u), 0.296875);
    EXPECT_EQ(SinXDivX(2 - u), -0.046875);
    EXPECT_EQ(SinXDivX(-0.25), 0.890625);
    EXPECT_EQ(SinXDivX(2.5), 0.0);
    EXPECT_EQ(SinXDivX(0.0), 1.0);
    EXPECT_EQ(SinXDivX(1.0), 0.0);
}

TEST(ZoomKernel, OutsideSamplesCountAsWhiteNotAsTheEdgePixel) {
    // Uniform 128; at fx = 0.5 the leftmost of the four columns is column -1.
    std::vector<uint8_t> gray(4 * 4, 128);
    const ZoomBitmap src{gray.data(), 4, 4, 4};
    EXPECT_EQ(Pixels_Bound(&src, -1, 0), 255);
    EXPECT_EQ(Pixels_Bound(&src, 0, 4), 255);
    EXPECT_EQ(Pixels_Bound(&src, 3, 3), 128);
    uint8_t out = 0;
    ThreeOrder0(&src, &out, 0.5f, 1.0f);
    EXPECT_EQ(out, 127);  // edge clamping would give 143
    ThreeOrder0(&src, &out, 1.5f, 1.0f);
    EXPECT_EQ(out, 143);  // all samples inside: 128 lifted by 15
}

TEST(ZoomKernel, WhiteStaysWhite) {
    const std::vector<uint8_t> white(37 * 23, 255);
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{91, 64}, {5, 3}, {37, 23}, {1, 1}}) {
        Bitmap out(bitmapZoom(white.data(), 37, 23, w, h));
        ASSERT_NE(out, nullptr);
        const uint8_t *p = out.get();
        EXPECT_TRUE(std::all_of(p, p + w * h, [](uint8_t v) { return v == 255; })) << w << "x" << h;
    }
}

TEST(ZoomKernel, FastPathGivesTheBytesOfTheDirectFormula) {
    struct Case {
        uint32_t srcW, srcH, dstW, dstH, block;
    };
    for (const Case &c :
         {Case{1, 1, 7, 5, 1}, Case{5, 3, 1, 1, 1}, Case{37, 23, 91, 64, 1}, Case{200, 150, 67, 201, 1},
          Case{3, 400, 2, 7, 1}, Case{640, 96, 579, 88, 8}, Case{416, 600, 375, 541, 16}, Case{120, 90, 333, 250, 5}}) {
        const auto src = noisePage(c.srcW, c.srcH, c.srcW * 31 + c.srcH, c.block);
        std::vector<uint8_t> fast(static_cast<size_t>(c.dstW) * c.dstH, 0);
        std::vector<uint8_t> direct(fast.size(), 0);
        const ZoomBitmap from{const_cast<uint8_t *>(src.data()), c.srcW, c.srcW, c.srcH};
        const ZoomBitmap toFast{fast.data(), c.dstW, c.dstW, c.dstH};
        const ZoomBitmap toDirect{direct.data(), c.dstW, c.dstW, c.dstH};
        PicZoom_ThreeOrder0(&toFast, &from);
        PicZoom_ThreeOrder0_Reference(&toDirect, &from);
        EXPECT_EQ(fast, direct) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH;
    }
}

TEST(ZoomKernel, EmptySizesWriteNothing) {
    std::vector<uint8_t> src(4, 0);
    std::vector<uint8_t> dst(4, 7);
    const ZoomBitmap from{src.data(), 0, 0, 2};
    const ZoomBitmap to{dst.data(), 2, 2, 2};
    PicZoom_ThreeOrder0(&to, &from);
    EXPECT_EQ(dst, std::vector<uint8_t>(4, 7));
    EXPECT_EQ(bitmapZoom(src.data(), 2, 2, 0, 5), nullptr);
}

}  // namespace
