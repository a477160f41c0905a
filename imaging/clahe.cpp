#include "imaging/clahe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "imaging/zv_image.h"

namespace {

constexpr unsigned int kGrayLevels = 256;

using BinLut = std::array<uint8_t, kGrayLevels>;

// Bin of every byte value. Values below min fall into the first bin and values
// above max into the last, so a pixel outside the declared range can never
// index past a region's histogram.
void MakeLut(BinLut &lut, uint8_t min, uint8_t max, unsigned int nrBins) {
    const unsigned int binSize = 1 + (static_cast<unsigned int>(max) - min) / nrBins;
    for (unsigned int v = 0; v < kGrayLevels; ++v) {
        const unsigned int clamped = std::min<unsigned int>(std::max<unsigned int>(v, min), max);
        lut[v] = static_cast<uint8_t>((clamped - min) / binSize);
    }
}

// Histogram of one region of xSize x ySize pixels starting at `region`.
void MakeHistogram(const uint8_t *region, unsigned int xRes, unsigned int xSize, unsigned int ySize,
                   uint64_t *histogram, unsigned int nrBins, const BinLut &lut) {
    std::fill(histogram, histogram + nrBins, 0);
    for (unsigned int y = 0; y < ySize; ++y) {
        const uint8_t *row = region + static_cast<size_t>(y) * xRes;
        for (unsigned int x = 0; x < xSize; ++x) ++histogram[lut[row[x]]];
    }
}

// Clips every bin at `limit` and hands the clipped counts out again over the
// bins, first evenly, then one by one.
void ClipHistogram(uint64_t *histogram, unsigned int nrBins, uint64_t limit) {
    uint64_t excess = 0;
    for (unsigned int i = 0; i < nrBins; ++i) {
        if (histogram[i] > limit) excess += histogram[i] - limit;
    }

    const uint64_t increment = excess / nrBins;
    const uint64_t upper = limit - increment;  // unsigned, as in the reference
    for (unsigned int i = 0; i < nrBins; ++i) {
        if (histogram[i] > limit) {
            histogram[i] = limit;
        } else if (histogram[i] > upper) {
            excess -= histogram[i] - upper;
            histogram[i] = limit;
        } else {
            excess -= increment;
            histogram[i] += increment;
        }
    }

    // The reference loops until every excess count is placed; when all bins
    // have reached the limit that never happens, so a round that places
    // nothing ends the redistribution.
    while (excess > 0) {
        const uint64_t before = excess;
        for (unsigned int start = 0; start < nrBins && excess > 0; ++start) {
            const uint64_t step = std::max<uint64_t>(1, nrBins / excess);
            for (uint64_t bin = start; bin < nrBins && excess > 0; bin += step) {
                if (histogram[bin] < limit) {
                    ++histogram[bin];
                    --excess;
                }
            }
        }
        if (excess == before) break;
    }
}

// Turns a clipped histogram into the region's gray-level map.
void MapHistogram(uint64_t *histogram, uint8_t min, uint8_t max, unsigned int nrBins, uint64_t regionPixels) {
    const float scale = static_cast<float>(max - min) / static_cast<float>(regionPixels);
    uint64_t sum = 0;
    for (unsigned int i = 0; i < nrBins; ++i) {
        sum += histogram[i];
        histogram[i] = static_cast<uint64_t>(static_cast<float>(min) + static_cast<float>(sum) * scale);
        if (histogram[i] > max) histogram[i] = max;
    }
}

// Bilinear interpolation of one sub-block of subX x subY pixels starting at
// `block` between the maps of its four neighbouring regions.
void Interpolate(uint8_t *block, unsigned int xRes, const uint64_t *mapLU, const uint64_t *mapRU, const uint64_t *mapLB,
                 const uint64_t *mapRB, unsigned int subX, unsigned int subY, const BinLut &lut) {
    const uint64_t num = static_cast<uint64_t>(subX) * subY;
    if (num == 0) return;
    for (unsigned int y = 0, yInv = subY; y < subY; ++y, --yInv) {
        uint8_t *row = block + static_cast<size_t>(y) * xRes;
        for (unsigned int x = 0, xInv = subX; x < subX; ++x, --xInv) {
            const uint8_t bin = lut[row[x]];
            // Unsigned with truncating division; equal to the reference's right
            // shift when num is a power of two.
            row[x] = static_cast<uint8_t>(
                (yInv * (xInv * mapLU[bin] + x * mapRU[bin]) + y * (xInv * mapLB[bin] + x * mapRB[bin])) / num);
        }
    }
}

}  // namespace

int _CLAHE(uint8_t *pixels, unsigned int xRes, unsigned int yRes, uint8_t min, uint8_t max, unsigned int nrX,
           unsigned int nrY, unsigned int nrBins, float clipLimit) {
    if (nrX > xRes) return -1;
    if (nrY > yRes) return -2;
    if (nrX == 0 || xRes % nrX != 0) return -3;
    if (nrY == 0 || yRes % nrY != 0) return -4;
    if (min >= max) return -6;
    if (nrX < 2 || nrY < 2) return -7;
    if (clipLimit == 1.0f) return 0;
    if (nrBins == 0) nrBins = 128;
    if (pixels == nullptr) return -8;

    std::vector<uint64_t> maps;
    try {
        const uint64_t regions = static_cast<uint64_t>(nrX) * nrY;
        if (regions > std::numeric_limits<size_t>::max() / sizeof(uint64_t) / nrBins) return -8;
        maps.resize(static_cast<size_t>(regions * nrBins));
    } catch (const std::bad_alloc &) {
        return -8;
    }

    const unsigned int xSize = xRes / nrX;
    const unsigned int ySize = yRes / nrY;
    const uint64_t regionPixels = static_cast<uint64_t>(xSize) * ySize;

    uint64_t limit;
    if (clipLimit > 0.0f) {
        const float product = clipLimit * static_cast<float>(xSize * ySize) / static_cast<float>(nrBins);
        limit = static_cast<uint64_t>(product);
        if (limit < 1) limit = 1;
    } else {
        limit = uint64_t{1} << 14;
    }

    BinLut lut;
    MakeLut(lut, min, max, nrBins);

    // Gray-level map of every contextual region.
    for (unsigned int ry = 0; ry < nrY; ++ry) {
        for (unsigned int rx = 0; rx < nrX; ++rx) {
            uint64_t *histogram = &maps[static_cast<size_t>(nrBins) * (static_cast<size_t>(ry) * nrX + rx)];
            const uint8_t *region = pixels + static_cast<size_t>(ry) * ySize * xRes + static_cast<size_t>(rx) * xSize;
            MakeHistogram(region, xRes, xSize, ySize, histogram, nrBins, lut);
            ClipHistogram(histogram, nrBins, limit);
            MapHistogram(histogram, min, max, nrBins, regionPixels);
        }
    }

    // Interpolation walk over (nrX+1) x (nrY+1) sub-blocks with one running
    // position, as in the reference: the half-size border blocks use
    // xSize/2 and ySize/2, so an odd region width shifts each following row of
    // blocks one pixel back and an odd region height leaves the last row out.
    size_t position = 0;
    for (unsigned int by = 0; by <= nrY; ++by) {
        unsigned int subY, yU, yB;
        if (by == 0) {
            subY = ySize >> 1;
            yU = 0;
            yB = 0;
        } else if (by == nrY) {
            subY = ySize >> 1;
            yU = nrY - 1;
            yB = yU;
        } else {
            subY = ySize;
            yU = by - 1;
            yB = yU + 1;
        }
        for (unsigned int bx = 0; bx <= nrX; ++bx) {
            unsigned int subX, xL, xR;
            if (bx == 0) {
                subX = xSize >> 1;
                xL = 0;
                xR = 0;
            } else if (bx == nrX) {
                subX = xSize >> 1;
                xL = nrX - 1;
                xR = xL;
            } else {
                subX = xSize;
                xL = bx - 1;
                xR = xL + 1;
            }
            const auto map = [&](unsigned int ry, unsigned int rx) {
                return &maps[static_cast<size_t>(nrBins) * (static_cast<size_t>(ry) * nrX + rx)];
            };
            Interpolate(pixels + position, xRes, map(yU, xL), map(yU, xR), map(yB, xL), map(yB, xR), subX, subY, lut);
            position += subX;
        }
        if (subY > 0) position += static_cast<size_t>(subY - 1) * xRes;
    }
    return 0;
}

uint32_t claheRegionSize(uint32_t length) {
    uint32_t best = 16;
    uint32_t bestDistance = length;
    bool found = false;
    const uint32_t last = std::min<uint32_t>(length, 32);
    for (uint32_t d = 8; d <= last; ++d) {
        if (length % d != 0) continue;
        const uint32_t distance = d > 16 ? d - 16 : 16 - d;
        if (distance < bestDistance) {
            best = d;
            bestDistance = distance;
            found = true;
        }
    }
    return found ? best : 0;
}

float claheClipFactor(const uint8_t *gray, size_t count) {
    if (gray == nullptr || count == 0) return 1.5f;
    double sum = 0.0;
    double sum2 = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double v = gray[i];
        sum += v;
        sum2 += v * v;
    }
    const float mean = static_cast<float>(sum / static_cast<double>(count));
    const float moment2 = static_cast<float>(sum2 / static_cast<double>(count));
    // Rounding can make the variance of a flat band a hair negative; its
    // square root would poison the factor with NaN.
    const float variance = std::max(moment2 - mean * mean, 0.0f);
    const float deviation = std::sqrt(variance);
    float factor = (mean / 255.0f + mean / 255.0f + 1.0f) * (deviation / 256.0f + deviation / 256.0f + 1.5f);
    factor = std::min(factor, 4.5f);
    factor = std::max(factor, 1.5f);
    return factor;
}

bool claheCanTile(uint32_t width, uint32_t height) {
    const uint32_t regionWidth = claheRegionSize(width);
    const uint32_t regionHeight = claheRegionSize(height);
    return regionWidth != 0 && regionHeight != 0 && width / regionWidth >= 2 && height / regionHeight >= 2;
}

int ZVImageGrayHistogramCLAHE(ZVImage *image) {
    if (isEmptyGrayData(image)) return 1;
    const uint32_t w = image->width;
    const uint32_t h = image->height;
    const uint32_t regionWidth = claheRegionSize(w);
    const uint32_t regionHeight = claheRegionSize(h);
    if (regionWidth == 0 || regionHeight == 0) return 2;

    const float clip = claheClipFactor(image->grayData, static_cast<size_t>(w) * h);
    const int result = _CLAHE(image->grayData, w, h, 0, 255, w / regionWidth, h / regionHeight, 256, clip);
    return result == 0 ? 0 : 2;
}
