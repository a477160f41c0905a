#include "encoders/hex_text.h"

#include <array>
#include <cstddef>

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

constexpr std::array<char, 512> makePairs() {
    std::array<char, 512> pairs{};
    for (int value = 0; value < 256; ++value) {
        pairs[2 * value] = kDigits[value >> 4];
        pairs[2 * value + 1] = kDigits[value & 0x0F];
    }
    return pairs;
}

constexpr std::array<char, 512> kPairs = makePairs();

}  // namespace

void appendHexText(dynamic_array *array, const uint8_t *bytes, uint64_t count) {
    // A page is several hundred kilobytes of text; convert through a small
    // stack block instead of formatting byte by byte or copying the page.
    constexpr size_t kChunk = 4096;
    char text[2 * kChunk];
    while (count > 0) {
        const size_t n = count < kChunk ? static_cast<size_t>(count) : kChunk;
        for (size_t i = 0; i < n; ++i) {
            text[2 * i] = kPairs[2 * bytes[i]];
            text[2 * i + 1] = kPairs[2 * bytes[i] + 1];
        }
        dynamic_array_push_more_data(array, text, 2 * n);
        bytes += n;
        count -= n;
    }
}
