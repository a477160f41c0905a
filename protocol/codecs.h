// Small codecs used by the ZPL graphic fields: Base64 text of the compressed
// bitmap and the CRC-16 the printer checks that text against.
#ifndef ZV_PROTOCOL_CODECS_H
#define ZV_PROTOCOL_CODECS_H

#include <cstdint>

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks). Writes
// exactly 4 * ceil(count / 3) characters to `output` and no terminating NUL;
// returns `output`. A count of 0 or less writes nothing.
char *Base64Encode(const unsigned char *input, int64_t count, char *output);

// Number of characters Base64Encode writes for `count` input bytes.
constexpr int64_t base64EncodedLength(int64_t count) { return count <= 0 ? 0 : (count + 2) / 3 * 4; }

// CRC-16/XMODEM: polynomial 0x1021, MSB first, initial value 0, no final XOR.
uint16_t CRC16(const unsigned char *data, uint32_t length);

#endif
