#include "filter/supersample.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kMaxChannels = 4;
constexpr int kMaxSamples = kMaxSupersampleFactor * kMaxSupersampleFactor;

// Paper: every colour channel white. With an alpha channel (RGBA), a fully
// transparent sample marks nothing either.
bool isPaper(const unsigned char *sample, int channels) {
    if (channels == 4 && sample[3] == 0) return true;
    const int colours = channels == 4 ? 3 : channels;
    for (int c = 0; c < colours; ++c)
        if (sample[c] != 255) return false;
    return true;
}

bool isPure(const unsigned char *sample, int channels) {
    for (int c = 0; c < channels; ++c)
        if (sample[c] != 0 && sample[c] != 255) return false;
    return true;
}

// One output pixel from the samples of its block.
void reduceBlock(const std::array<const unsigned char *, kMaxSamples> &samples, int count, int blockSize, int channels,
                 unsigned char *out) {
    static const unsigned char kWhite[kMaxChannels] = {255, 255, 255, 255};
    bool pure = true;
    for (int i = 0; i < count && pure; ++i) pure = isPure(samples[i], channels);
    if (!pure) {
        // Missing samples (past the page's edge) are white paper.
        for (int c = 0; c < channels; ++c) {
            unsigned sum = 255u * static_cast<unsigned>(blockSize - count);
            for (int i = 0; i < count; ++i) sum += samples[i][c];
            out[c] = static_cast<unsigned char>((sum + static_cast<unsigned>(blockSize) / 2) /
                                                static_cast<unsigned>(blockSize));
        }
        return;
    }
    int inked = 0;
    for (int i = 0; i < count; ++i) inked += isPaper(samples[i], channels) ? 0 : 1;
    if (2 * inked <= blockSize) {
        std::memcpy(out, kWhite, static_cast<size_t>(channels));
        return;
    }
    // The inked colour most samples have; on a tie the first one met.
    int best = -1, bestVotes = 0;
    for (int i = 0; i < count; ++i) {
        if (isPaper(samples[i], channels)) continue;
        int votes = 0;
        for (int j = 0; j < count; ++j)
            if (std::memcmp(samples[i], samples[j], static_cast<size_t>(channels)) == 0) ++votes;
        if (votes > bestVotes) {
            best = i;
            bestVotes = votes;
        }
    }
    std::memcpy(out, samples[best], static_cast<size_t>(channels));
}

// The gray case, which every label printer takes: no per-sample pointers.
void reduceGrayRow(const unsigned char *top, uint64_t pitch, uint64_t rowsHere, uint64_t pixels, int factor,
                   unsigned char *out, uint64_t outPixels) {
    const unsigned blockSize = static_cast<unsigned>(factor * factor);
    for (uint64_t x = 0; x < outPixels; ++x) {
        const uint64_t first = x * static_cast<uint64_t>(factor);
        const uint64_t columns = std::min<uint64_t>(static_cast<uint64_t>(factor), pixels - first);
        unsigned sum = 0, count = 0, black = 0;
        bool pure = true;
        for (uint64_t r = 0; r < rowsHere; ++r) {
            const unsigned char *sample = top + r * pitch + first;
            for (uint64_t c = 0; c < columns; ++c) {
                const unsigned char g = sample[c];
                sum += g;
                black += g == 0;
                pure = pure && (g == 0 || g == 255);
                ++count;
            }
        }
        if (pure) {
            out[x] = 2 * black > blockSize ? 0 : 255;
        } else {
            sum += 255u * (blockSize - count);
            out[x] = static_cast<unsigned char>((sum + blockSize / 2) / blockSize);
        }
    }
}

}  // namespace

int supersampleFactor(unsigned headerXDpi, unsigned headerYDpi, int32_t nativeDpi) {
    if (nativeDpi <= 0 || headerXDpi == 0 || headerYDpi == 0) return 1;
    const unsigned native = static_cast<unsigned>(nativeDpi);
    for (int factor = 1; factor <= kMaxSupersampleFactor; ++factor)
        if (headerXDpi == native * static_cast<unsigned>(factor) && headerYDpi == headerXDpi) return factor;
    return 0;
}

PageLayout reduceSupersampledPage(std::vector<unsigned char> *page, const PageLayout &layout, int factor) {
    if (factor <= 1 || factor > kMaxSupersampleFactor) return layout;
    const int channels = layout.bytesPerPixel;
    const uint64_t f = static_cast<uint64_t>(factor);
    PageLayout reduced;
    reduced.bytesPerPixel = channels;
    reduced.pixels = (layout.pixels + f - 1) / f;
    reduced.rows = (layout.rows + f - 1) / f;
    reduced.pitch = (reduced.pixels + 7) / 8 * 8 * static_cast<uint64_t>(channels);

    // Row r of the result is built aside and then stored at r x the new
    // pitch, which never reaches past the first source row of the block it
    // came from (nor into rows still to be read), so one buffer serves.
    std::vector<unsigned char> row(reduced.pitch, 0xFF);
    unsigned char *data = page->data();
    for (uint64_t r = 0; r < reduced.rows; ++r) {
        const uint64_t firstRow = r * f;
        const uint64_t rowsHere = std::min<uint64_t>(f, layout.rows - firstRow);
        const unsigned char *top = data + firstRow * layout.pitch;
        std::fill(row.begin(), row.end(), 0xFF);
        if (channels == 1) {
            reduceGrayRow(top, layout.pitch, rowsHere, layout.pixels, factor, row.data(), reduced.pixels);
        } else {
            std::array<const unsigned char *, kMaxSamples> samples{};
            for (uint64_t x = 0; x < reduced.pixels; ++x) {
                const uint64_t first = x * f;
                const uint64_t columns = std::min<uint64_t>(f, layout.pixels - first);
                int count = 0;
                for (uint64_t dy = 0; dy < rowsHere; ++dy)
                    for (uint64_t dx = 0; dx < columns; ++dx)
                        samples[static_cast<size_t>(count++)] =
                            top + dy * layout.pitch + (first + dx) * static_cast<uint64_t>(channels);
                reduceBlock(samples, count, factor * factor, channels,
                            row.data() + x * static_cast<uint64_t>(channels));
            }
        }
        std::memcpy(data + r * reduced.pitch, row.data(), reduced.pitch);
    }
    page->resize(reduced.pitch * reduced.rows);
    return reduced;
}
