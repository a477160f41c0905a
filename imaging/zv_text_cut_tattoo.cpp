#include "imaging/zv_text_cut_tattoo.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace {

bool hasGray(const ZVImage *image) { return !isEmptyGrayData(image); }

// Releases the first `made` bands and the array.
void releaseBands(ZVImage **bands, uint32_t made) {
    freeZVImageDataArray(bands, made);
    std::free(bands);
}

struct Run {
    uint32_t first;
    uint32_t last;
    bool blank;
};

void setDot(uint8_t *packed, uint32_t width, uint32_t x, uint32_t y) {
    const uint64_t i = static_cast<uint64_t>(y) * width + x;
    packed[i >> 3] |= static_cast<uint8_t>(0x80u >> (i & 7));
}

// Sets `count` dots from column x in row y and the same run mirrored.
void drawMirrored(uint8_t *packed, uint32_t width, uint32_t y, uint32_t x, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        setDot(packed, width, x + i, y);
        setDot(packed, width, width - 1 - (x + i), y);
    }
}

}  // namespace

int isWhiteLine(const uint8_t *row, size_t count) {
    if (count == 0) return 1;
    if (row == nullptr) return 0;
    for (size_t i = 0; i < count; ++i) {
        if (row[i] < 253) return 0;
    }
    return 1;
}

int ZVImageIsText(const ZVImage *image) {
    if (!hasGray(image)) return 0;
    const uint64_t n = zvImagePixelCount(image->width, image->height);
    std::array<uint64_t, 256> histogram{};
    for (uint64_t i = 0; i < n; ++i) ++histogram[image->grayData[i]];

    const auto levels = [&histogram](int from, int to) {
        uint64_t sum = 0;
        for (int v = from; v <= to; ++v) sum += histogram[v];
        return sum;
    };
    const uint64_t bright = levels(239, 255);
    const uint64_t top = levels(253, 255);
    const uint64_t mid = levels(64, 191);
    const uint64_t dark = levels(0, 99);
    bool peak = false;
    for (uint64_t count : histogram) peak = peak || count * 100 > n * 80;

    if (bright * 100 < n * 45 && top * 100 < n * 40) {
        return 0;
    }
    if (mid * 100 <= n * 40) {
        if (peak && dark >= 8) {
            return 1;
        }
        if (peak) {
            return 0;
        }
        return 1;
    }
    return 0;
}

ZVImage **ZVImageCutImage(const ZVImage *image, uint32_t *count) {
    if (count == nullptr) return nullptr;
    *count = 0;
    if (!hasGray(image)) return nullptr;
    const uint32_t width = image->width;
    const uint32_t height = image->height;
    const uint8_t *gray = image->grayData;
    const auto rowAt = [gray, width](uint32_t y) { return gray + static_cast<size_t>(y) * width; };

    try {
        std::vector<Run> runs;
        for (uint32_t y = 0; y < height; ++y) {
            const bool blank = isWhiteLine(rowAt(y), width) != 0;
            if (!runs.empty() && runs.back().blank == blank) {
                runs.back().last = y;
            } else {
                runs.push_back({y, y, blank});
            }
        }

        if (runs.size() == 1 && !runs.front().blank) {
            auto **bands = static_cast<ZVImage **>(std::calloc(1, sizeof(ZVImage *)));
            if (bands == nullptr) return nullptr;
            bands[0] = deepCopyZVImage(image);
            if (bands[0] == nullptr) {
                std::free(bands);
                return nullptr;
            }
            *count = 1;
            return bands;
        }

        const auto bandCount = static_cast<uint32_t>(runs.size());
        auto **bands = static_cast<ZVImage **>(std::calloc(bandCount, sizeof(ZVImage *)));
        if (bands == nullptr) return nullptr;
        for (uint32_t i = 0; i < bandCount; ++i) {
            const uint32_t rows = runs[i].last - runs[i].first + 1;
            bands[i] = creatZVImage(width, rows);
            const size_t size = zvImagePixelCount(width, rows);
            if (bands[i] != nullptr) {
                bands[i]->grayData = static_cast<uint8_t *>(std::malloc(size));
            }
            if (bands[i] == nullptr || bands[i]->grayData == nullptr) {
                releaseBands(bands, i + 1);
                return nullptr;
            }
            std::memcpy(bands[i]->grayData, rowAt(runs[i].first), size);
        }
        *count = bandCount;
        return bands;
    } catch (const std::exception &) {  // the run list could not grow
        return nullptr;
    }
}

int ZVImageAddTattooLine(ZVImage *image, uint32_t r) {
    if (isEmptyPixByteData(image)) return 1;
    const uint32_t width = image->width;
    const uint32_t height = image->height;
    // The marks start 16 rows above r, so a smaller r would reach above the
    // image; the 16 added rows must fit in the 32-bit height.
    if (width < 112 || static_cast<uint64_t>(height) < static_cast<uint64_t>(r) + 48 || r < 16 ||
        height > UINT32_MAX - 16) {
        return 1;
    }
    const uint32_t grownHeight = height + 16;
    const size_t oldSize = zvImagePackedSize(width, height);
    const size_t newSize = zvImagePackedSize(width, grownHeight);
    if (newSize == 0) return 2;
    auto *packed = static_cast<uint8_t *>(std::calloc(newSize, 1));
    if (packed == nullptr) return 2;
    std::memcpy(packed, image->pixByteData, oldSize);
    // With a width that is not a multiple of 8 the last old byte also holds
    // the first pixels of the new rows; whatever its spare bits held, those
    // pixels start without dots.
    const uint64_t oldPixels = static_cast<uint64_t>(width) * height;
    if (oldPixels % 8 != 0) {
        packed[oldSize - 1] &= static_cast<uint8_t>(0xFFu << (8 - oldPixels % 8));
    }
    std::free(image->pixByteData);
    image->pixByteData = packed;
    image->height = grownHeight;
    const uint32_t H = grownHeight;

    // Corner marks: 24 x 8 solid blocks at columns 32..55 and their mirrors.
    for (uint32_t i = 0; i < 8; ++i) {
        drawMirrored(packed, width, r - 16 + i, 32, 24);
        drawMirrored(packed, width, H - 8 + i, 32, 24);
    }

    // Guide lines: straight, z zigzag segments of 128 rows, straight again,
    // covering rows r - 8 .. H - 9.
    const uint32_t L = H - r - 48;
    const uint32_t q = L % 128;
    const uint32_t z = L / 128;
    uint32_t y = r - 8;
    for (uint32_t k = 0; k < 24 + q / 2; ++k) drawMirrored(packed, width, y++, 32, 8);
    for (uint32_t segment = 0; segment < z; ++segment) {
        for (uint32_t k = 0; k < 64; ++k) drawMirrored(packed, width, y++, 32 - (k + 1) / 4, 8);
        for (uint32_t k = 0; k < 64; ++k) drawMirrored(packed, width, y++, 16 + (k + 1) / 4, 8);
    }
    for (uint32_t k = 0; k < 24 + (q - q / 2); ++k) drawMirrored(packed, width, y++, 32, 8);
    return 0;
}
