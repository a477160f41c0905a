// Reply frames as a protocol printer sends them, laid out byte by byte here
// (head, command head, payload, CRC-32 of the body, AES-128-CBC for ODM
// printer type 163) so that the decoder is checked against the wire format
// and not against the project's own frame builder.
#ifndef ZV_TESTS_PROTOCOL_REPLY_FRAMES_H
#define ZV_TESTS_PROTOCOL_REPLY_FRAMES_H

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/aes.h"

namespace zvtest {

inline void appendLe16(std::vector<uint8_t> &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void appendLe32(std::vector<uint8_t> &out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One tag-length-value item.
inline std::vector<uint8_t> tlvItem(uint8_t tag, const std::vector<uint8_t> &value) {
    std::vector<uint8_t> item{tag};
    appendLe16(item, static_cast<uint32_t>(value.size()));
    item.insert(item.end(), value.begin(), value.end());
    return item;
}

inline std::vector<uint8_t> textBytes(const std::string &text) { return {text.begin(), text.end()}; }

struct ReplyCipher {
    uint8_t key[16];
    uint8_t iv[16];
};

// A reply frame with the given command head. `odm` 163 gives the short,
// encrypted form (with `cipher`); every other type the long, plain form.
// `payloadLengthField` overrides the command head's payload length when
// nonnegative, for replies that lie about it.
inline std::vector<uint8_t> replyFrame(uint32_t odm, uint8_t head, uint8_t group, uint8_t command,
                                       const std::vector<uint8_t> &payload, const ReplyCipher *cipher = nullptr,
                                       long payloadLengthField = -1) {
    std::vector<uint8_t> body{head, group, command};
    appendLe16(body, payloadLengthField >= 0 ? static_cast<uint32_t>(payloadLengthField)
                                             : static_cast<uint32_t>(payload.size()));
    body.insert(body.end(), payload.begin(), payload.end());
    const uint32_t seed = odm == 31 ? 0x76983521u : 0x76953521u;
    std::vector<uint8_t> frame;
    if (odm == 163) {
        const size_t padded = (body.size() / 16 + 1) * 16;
        body.resize(padded, 0);
        if (cipher != nullptr) {
            AES_Init(cipher->key);
            AES_Encrypt(body.data(), body.data(), static_cast<uint32_t>(body.size()), cipher->iv);
        }
        frame = {0xA3, 0x20};
    } else {
        frame = {0xA3, 0x1E, static_cast<uint8_t>(odm), 0x00};
    }
    appendLe16(frame, static_cast<uint32_t>(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
    appendLe32(frame, static_cast<uint32_t>(crc32(seed, body.data(), static_cast<uInt>(body.size()))));
    return frame;
}

}  // namespace zvtest

#endif
