// Fuzzes the receiving side with what a printer could send over the radio
// link: arbitrary bytes fed one at a time into the reply frame decoder, under
// a plain ODM type or under 163 with its AES key (first input byte selects).
// A second mode wraps the rest of the input as the body of a frame with a
// matching CRC, so that every reply interpretation (TLV items, texts,
// numbers, the JSON system reply, download progress) sees hostile payloads
// and not only frames that fail their CRC.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/aes.h"
#include "protocol/protocol_state.h"
#include "protocol/replies.h"

namespace {

const uint8_t kKey[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const uint8_t kIv[16] = {0x0F, 0x0E, 0x0D, 0x0C, 0x0B, 0x0A, 0x09, 0x08,
                         0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00};

void check(const ReceivePack &pack) {
    if (pack.json == nullptr) return;  // no memory for the text
    // The text is always zero-terminated and the failed flag follows the code.
    const size_t length = std::strlen(pack.json);
    if (length == 0) std::abort();
    if ((pack.resultCode <= 1) != (pack.failed == 0)) std::abort();
}

void feed(const uint8_t *data, size_t size) {
    ReplyDecoder own;
    for (size_t i = 0; i < size; ++i) {
        ReceivePack pack = getJsonString(data[i]);
        check(pack);
        freeReceivePack(pack);
        ReceivePack second = own.receive(data[i]);
        check(second);
        freeReceivePack(second);
    }
}

// Body bytes as a frame of the current ODM type, encrypted for 163.
std::vector<uint8_t> frameOf(const uint8_t *body, size_t size, uint32_t odm) {
    std::vector<uint8_t> plain(body, body + (size > 2050 ? 2050 : size));
    std::vector<uint8_t> frame;
    if (odm == 163) {
        plain.resize((plain.size() / 16 + 1) * 16 > 2048 ? 2048 : (plain.size() / 16 + 1) * 16, 0);
        AES_Init(kKey);
        AES_Encrypt(plain.data(), plain.data(), static_cast<uint32_t>(plain.size()), kIv);
        frame = {0xA3, 0x20};
    } else {
        frame = {0xA3, 0x1E, static_cast<uint8_t>(odm), 0x00};
    }
    frame.push_back(static_cast<uint8_t>(plain.size()));
    frame.push_back(static_cast<uint8_t>(plain.size() >> 8));
    frame.insert(frame.end(), plain.begin(), plain.end());
    const uint32_t seed = odm == 31 ? 0x76983521u : 0x76953521u;
    const uint32_t crc = static_cast<uint32_t>(crc32(seed, plain.data(), static_cast<uInt>(plain.size())));
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const uint32_t odms[4] = {28, 31, 163, 30};
    const uint32_t odm = odms[mode & 3];
    resetProtocolState();
    setODMType(odm);
    setAES128Key(kKey);
    setAES128IV(kIv);
    setConnectedDeviceName((mode & 8) != 0 ? "N10-fuzz" : "P1");
    HAL_ZVDecodeReset();
    if ((mode & 4) != 0) {
        const std::vector<uint8_t> frame = frameOf(data + 1, size - 1, odm);
        feed(frame.data(), frame.size());
        // The TLV reader alone, on the same bytes.
        analysisDatas(data + 1, static_cast<uint32_t>(size - 1));
    } else {
        feed(data + 1, size - 1);
    }
    return 0;
}
