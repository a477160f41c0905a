// Shared set-up of the encoder tests: the label settings record, gray pages and
// the bytes of an output array. (The log directory is the test program's own,
// tests/scratch_log_dir.cpp.)
#ifndef ZV_TESTS_ENCODERS_ENCODER_FIXTURE_H
#define ZV_TESTS_ENCODERS_ENCODER_FIXTURE_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "core/dynamic_array.h"
#include "core/printer_settings.h"
#include "tests/support/label_settings.h"

namespace zvtest {

// A gray page, 0 black and 255 white, row pitch = width.
struct GrayPage {
    long width;
    long height;
    std::vector<unsigned char> pixels;

    GrayPage(long w, long h, unsigned char value = 255)
        : width(w), height(h), pixels(static_cast<size_t>(w * h), value) {}
    void fillRows(long y0, long rows, unsigned char value) {
        std::fill(pixels.begin() + y0 * width, pixels.begin() + (y0 + rows) * width, value);
    }
    void set(long x, long y, unsigned char value) { pixels[static_cast<size_t>(y * width + x)] = value; }
    unsigned char *data() { return pixels.data(); }
};

using Output = DynamicArrayPtr;

inline std::vector<uint8_t> bytesOfArray(const dynamic_array *array) {
    return array == nullptr ? std::vector<uint8_t>{} : std::vector<uint8_t>(array->data, array->data + array->size);
}

inline std::string textOfArray(const dynamic_array *array) {
    return array == nullptr ? std::string{} : std::string(reinterpret_cast<const char *>(array->data), array->size);
}

}  // namespace zvtest

#endif
