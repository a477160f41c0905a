// Huffman coding of a 1664 x 2400 packed page (208 bytes x 2400 rows): the
// coder alone (tree + encode/cut) and the whole compressed image transfer,
// for a typical text page and a dithered photo. Counters report bytes out
// against bytes in.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "imaging/zv_image.h"
#include "protocol/huffman.h"
#include "protocol/image_transfer.h"
#include "protocol/protocol_state.h"

namespace {

constexpr uint32_t kWidth = 1664;
constexpr uint32_t kHeight = 2400;
constexpr uint32_t kWidthBytes = kWidth / 8;

void setDot(std::vector<uint8_t> &page, uint32_t x, uint32_t y) {
    page[y * kWidthBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

// Lines of 5 x 7 glyphs drawn 3 dots per glyph pixel, with margins, word gaps
// and paragraph breaks: mostly white, crisp black strokes.
std::vector<uint8_t> textPage() {
    std::vector<uint8_t> page(kWidthBytes * kHeight, 0);
    std::mt19937 rng(42);
    std::vector<uint64_t> glyphs(96);
    for (auto &g : glyphs) g = rng() | static_cast<uint64_t>(rng()) << 32;
    const uint32_t scale = 3, glyphW = 6 * scale, lineH = 12 * scale;
    for (uint32_t top = 120; top + lineH < kHeight - 120; top += lineH) {
        if (rng() % 9 == 0) continue;  // paragraph break
        const uint32_t lineEnd = rng() % 5 == 0 ? 600 + rng() % 900 : kWidth - 100;
        for (uint32_t left = 100; left + glyphW < lineEnd; left += glyphW) {
            if (rng() % 6 == 0) continue;  // space
            const uint64_t g = glyphs[rng() % glyphs.size()];
            for (uint32_t gy = 0; gy < 7; ++gy)
                for (uint32_t gx = 0; gx < 5; ++gx)
                    if ((g >> (gy * 5 + gx)) & 1)
                        for (uint32_t dy = 0; dy < scale; ++dy)
                            for (uint32_t dx = 0; dx < scale; ++dx)
                                setDot(page, left + gx * scale + dx, top + gy * scale + dy);
        }
    }
    return page;
}

// A smooth synthetic photo with fine texture, Floyd-Steinberg dithered.
std::vector<uint8_t> ditheredPhoto() {
    std::vector<uint8_t> page(kWidthBytes * kHeight, 0);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-12.0f, 12.0f);
    std::vector<float> cur(kWidth + 2), next(kWidth + 2);
    for (uint32_t x = 0; x < kWidth; ++x) cur[x + 1] = 0.0f;
    for (uint32_t y = 0; y < kHeight; ++y) {
        std::fill(next.begin(), next.end(), 0.0f);
        for (uint32_t x = 0; x < kWidth; ++x) {
            const float base = 128.0f + 90.0f * std::sin(x * 0.004f + y * 0.002f) * std::cos(y * 0.003f) +
                               30.0f * std::sin(x * 0.03f) * std::sin(y * 0.025f) + noise(rng);
            const float v = base + cur[x + 1];
            const float out = v < 128.0f ? 0.0f : 255.0f;
            if (out == 0.0f) setDot(page, x, y);
            const float err = v - out;
            cur[x + 2] += err * 7.0f / 16.0f;
            next[x] += err * 3.0f / 16.0f;
            next[x + 1] += err * 5.0f / 16.0f;
            next[x + 2] += err * 1.0f / 16.0f;
        }
        std::swap(cur, next);
    }
    return page;
}

const std::vector<uint8_t> &page(int kind) {
    static const std::vector<uint8_t> text = textPage();
    static const std::vector<uint8_t> photo = ditheredPhoto();
    return kind == 0 ? text : photo;
}

void report(benchmark::State &state, size_t in, size_t out) {
    state.counters["bytes_in"] = static_cast<double>(in);
    state.counters["bytes_out"] = static_cast<double>(out);
    state.counters["out_per_in"] = static_cast<double>(out) / static_cast<double>(in);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in));
    state.SetLabel(state.range(0) == 0 ? "text page" : "dithered photo");
}

// The coder itself over the whole page: tree, then count, write and pack.
void BM_HuffmanEncodePage(benchmark::State &state) {
    const std::vector<uint8_t> &bytes = page(static_cast<int>(state.range(0)));
    setODMType(28);
    setMaxDataLengthOnePackage(4096);
    const int32_t maxPart = static_cast<int32_t>(getPrintImageOnePackageWithImageWidthByte(kWidthBytes));
    size_t out = 0;
    for (auto _ : state) {
        int32_t nodes = 0;
        HuffmanNode *tree = ZVGetHfmTree(bytes.data(), static_cast<int32_t>(bytes.size()), &nodes);
        int32_t parts = 0;
        CodedPart *coded = ZVHFMDGencoding(tree, nodes, bytes.data(), kWidthBytes, kHeight, maxPart, &parts);
        out = 4 * static_cast<size_t>(nodes);
        for (int32_t k = 0; k < parts; ++k) out += coded[k].length;
        benchmark::DoNotOptimize(coded);
        ZVFreeSendDataBag(coded);
        std::free(tree);
    }
    report(state, bytes.size(), out);
}
BENCHMARK(BM_HuffmanEncodePage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole compressed transfer: chunks whose trees fit, packets with CRCs.
void BM_CompressedImageTransfer(benchmark::State &state) {
    const std::vector<uint8_t> &bytes = page(static_cast<int>(state.range(0)));
    setODMType(28);
    setMaxDataLengthOnePackage(4096);
    ZVImage *image = creatZVImageWithPixByteData(bytes.data(), kWidth, kHeight);
    size_t out = 0;
    for (auto _ : state) {
        SendPack pack = getAllCompressImagePart(image, creatDefaultImageProtocolSetting());
        out = pack.length;
        benchmark::DoNotOptimize(pack.data);
        freeSendPack(pack);
    }
    freeZVImageData(image);
    std::free(image);
    report(state, bytes.size(), out);
}
BENCHMARK(BM_CompressedImageTransfer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
