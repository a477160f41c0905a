// Fuzzes the decoder of the second framing: arbitrary bytes one at a time,
// or (first byte odd) the rest of the input as the body of a frame with
// correct start and end marks and length, so that the two replies'
// interpretation meets hostile texts and counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/zvsz_packet.h"

namespace {

void feed(const uint8_t *data, size_t size) {
    ZVSZDecoder own;
    for (size_t i = 0; i < size; ++i) {
        ZVSZReceivePack pack = getZVSZJsonString(data[i]);
        if (pack.json != nullptr && std::strlen(pack.json) == 0) std::abort();
        if ((pack.resultCode <= 1) != (pack.failed == 0)) std::abort();
        freeZVSZReceivePack(pack);
        ZVSZReceivePack second = own.receive(data[i]);
        freeZVSZReceivePack(second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    ZVSZ_DecodeReset();
    if ((data[0] & 1) != 0) {
        const size_t body = size - 1 > 2048 ? 2048 : size - 1;
        std::vector<uint8_t> frame = {0x19, 0x73, 0x10, 0x19};
        for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(body >> (8 * i)));
        frame.insert(frame.end(), data + 1, data + 1 + body);
        frame.insert(frame.end(), {0x19, 0x79, 0x04, 0x02});
        feed(frame.data(), frame.size());
    } else {
        feed(data + 1, size - 1);
    }
    return 0;
}
