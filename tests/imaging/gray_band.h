// Small image fixtures for the tone and sharpening tests.
#ifndef ZV_TESTS_IMAGING_GRAY_BAND_H
#define ZV_TESTS_IMAGING_GRAY_BAND_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/zv_image.h"
#include "tests/support/owned_handles.h"

using zvtest::ImagePtr;

inline ImagePtr grayImage(const std::vector<uint8_t> &gray, uint32_t width, uint32_t height) {
    return ImagePtr(creatZVImageWithGrayData(gray.data(), width, height));
}

inline ImagePtr flatGray(uint8_t value, uint32_t width, uint32_t height) {
    return grayImage(std::vector<uint8_t>(static_cast<size_t>(width) * height, value), width, height);
}

inline std::vector<uint8_t> grayOf(const ZVImage *image) {
    return std::vector<uint8_t>(image->grayData, image->grayData + static_cast<size_t>(image->width) * image->height);
}

// Deterministic pseudo-random bytes (xorshift), so fixtures need no files.
inline std::vector<uint8_t> noiseBytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> out(count);
    uint32_t s = seed ? seed : 1;
    for (auto &b : out) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = static_cast<uint8_t>(s >> 24);
    }
    return out;
}

#endif
