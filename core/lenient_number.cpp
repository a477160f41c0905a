#include "core/lenient_number.h"

#include <cctype>
#include <limits>

int64_t parseLeadingInt64(const char *text) {
    if (text == nullptr) return 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    uint64_t value = 0;
    while (std::isdigit(*p)) {
        value = value * 10u + static_cast<uint64_t>(*p - '0');
        ++p;
    }
    if (negative) value = 0u - value;
    return static_cast<int64_t>(value);
}

int32_t parseLeadingInt32(const char *text) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(parseLeadingInt64(text))));
}

int16_t parseLeadingInt16(const char *text) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(parseLeadingInt64(text))));
}

int64_t parseLeadingInt64Saturated(const char *text) {
    if (text == nullptr) return 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Magnitudes up to 2^63 (the most negative value); anything longer sticks there.
    constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1u;
    uint64_t value = 0;
    while (std::isdigit(*p)) {
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        value = value > (kLimit - digit) / 10u ? kLimit : value * 10u + digit;
        ++p;
    }
    if (negative) return value == kLimit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
    return value >= kLimit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(value);
}
