#include "tools/render/decode.h"

#include <zlib.h>

#include <string>

#include "tools/render/stream.h"

namespace zvrender {

std::vector<uint8_t> inflateExact(const uint8_t *src, size_t size, size_t expected, size_t offset) {
    std::vector<uint8_t> out(expected + 1);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) fault(offset, "zlib could not be initialised");
    zs.next_in = const_cast<Bytef *>(src);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int ret = inflate(&zs, Z_FINISH);
    size_t produced = zs.total_out, consumed = zs.total_in;
    std::string msg = zs.msg ? zs.msg : "";
    inflateEnd(&zs);
    if (produced > expected)
        fault(offset, "compressed data inflates to more than the " + std::to_string(expected) + " bytes announced");
    if (ret == Z_DATA_ERROR || ret == Z_NEED_DICT)
        fault(offset + consumed, "compressed data is corrupt" + (msg.empty() ? std::string() : " (" + msg + ")"));
    if (ret != Z_STREAM_END)
        fault(offset + size, "compressed data is truncated (inflated " + std::to_string(produced) + " of " +
                                 std::to_string(expected) + " bytes)");
    if (consumed != size)
        fault(offset + consumed, std::to_string(size - consumed) + " bytes follow the end of the compressed data");
    if (produced != expected)
        fault(offset, "compressed data inflates to " + std::to_string(produced) + " bytes, " +
                          std::to_string(expected) + " announced");
    out.resize(expected);
    return out;
}

namespace {

int base64Value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::vector<uint8_t> decodeBase64(const uint8_t *text, size_t size, size_t offset) {
    if (size % 4 != 0) fault(offset, "Base64 text of " + std::to_string(size) + " characters is not a multiple of 4");
    std::vector<uint8_t> out;
    out.reserve(size / 4 * 3);
    for (size_t i = 0; i < size; i += 4) {
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            uint8_t c = text[i + k];
            bool last = i + 4 == size;
            if (c == '=' && last && k >= 2 && (k == 3 || text[i + 3] == '=')) {
                v[k] = 0;
                ++pad;
                continue;
            }
            if (pad > 0 || (v[k] = base64Value(c)) < 0) fault(offset + i + k, "not a Base64 character: " + byteText(c));
        }
        uint32_t group = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
        out.push_back(static_cast<uint8_t>(group >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(group >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(group));
    }
    return out;
}

uint16_t crc16Xmodem(const uint8_t *data, size_t size) {
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<uint8_t> decodeHex(const uint8_t *text, size_t bytes, size_t offset) {
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; ++i) {
        int hi = hexValue(text[2 * i]), lo = hexValue(text[2 * i + 1]);
        if (hi < 0) fault(offset + 2 * i, "not a hexadecimal digit: " + byteText(text[2 * i]));
        if (lo < 0) fault(offset + 2 * i + 1, "not a hexadecimal digit: " + byteText(text[2 * i + 1]));
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return out;
}

}  // namespace zvrender
