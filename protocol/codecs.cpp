#include "protocol/codecs.h"

#include <array>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<uint16_t, 256> makeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = makeCrc16Table();

}  // namespace

char *Base64Encode(const unsigned char *input, int64_t count, char *output) {
    char *out = output;
    int64_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const uint32_t group = (uint32_t{input[i]} << 16) | (uint32_t{input[i + 1]} << 8) | input[i + 2];
        *out++ = kAlphabet[(group >> 18) & 0x3F];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = kAlphabet[(group >> 6) & 0x3F];
        *out++ = kAlphabet[group & 0x3F];
    }
    const int64_t rest = count - i;
    if (rest == 1) {
        const uint32_t group = uint32_t{input[i]} << 16;
        *out++ = kAlphabet[(group >> 18) & 0x3F];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = '=';
        *out++ = '=';
    } else if (rest == 2) {
        const uint32_t group = (uint32_t{input[i]} << 16) | (uint32_t{input[i + 1]} << 8);
        *out++ = kAlphabet[(group >> 18) & 0x3F];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = kAlphabet[(group >> 6) & 0x3F];
        *out++ = '=';
    }
    return output;
}

uint16_t CRC16(const unsigned char *data, uint32_t length) {
    uint16_t crc = 0;
    for (uint32_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}
