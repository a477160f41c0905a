// The decoders of zvrender, written here rather than taken from the encoders
// so that a fault in an encoder's Base64, CRC or compression cannot hide
// itself in the check. Each faults (see stream.h) on input the filter would
// not write, with the offset of the offending byte.
#ifndef ZV_TOOLS_RENDER_DECODE_H
#define ZV_TOOLS_RENDER_DECODE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zvrender {

// Inflates a zlib stream that must hold exactly `expected` bytes and end
// exactly at the end of `size` input bytes; `offset` is that of src.
std::vector<uint8_t> inflateExact(const uint8_t *src, size_t size, size_t expected, size_t offset);

// Strict Base64: groups of four, '=' only in the last group's last places.
std::vector<uint8_t> decodeBase64(const uint8_t *text, size_t size, size_t offset);

// CRC-16/XMODEM, bit by bit (independent of the table the encoder uses).
uint16_t crc16Xmodem(const uint8_t *data, size_t size);

// 0..15 for a hexadecimal digit of either case, -1 otherwise.
int hexValue(uint8_t c);

// `bytes` bytes from 2 * `bytes` hexadecimal digits.
std::vector<uint8_t> decodeHex(const uint8_t *text, size_t bytes, size_t offset);

}  // namespace zvrender

#endif
