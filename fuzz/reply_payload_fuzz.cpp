// Fuzzes the interpretation of reply payloads: the first input byte picks
// one of the reply kinds the decoder knows (and the head byte it comes
// with), the rest is its payload, delivered in a frame whose CRC is right so
// that every payload reaches the TLV, text, number, JSON and byte-layout
// readers. The TLV reader is also run on the payload alone.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/protocol_state.h"
#include "protocol/replies.h"

namespace {

struct Kind {
    uint8_t group, command;
};

// Every group and command with a reply form of its own.
constexpr Kind kKinds[] = {
    {1, 3},  {1, 4},  {1, 5},  {1, 6},  {1, 8},  {1, 10}, {1, 11}, {1, 12}, {1, 14}, {1, 15}, {1, 16}, {1, 17},
    {1, 18}, {1, 19}, {1, 31}, {1, 35}, {1, 80}, {1, 81}, {1, 82}, {1, 83}, {2, 1},  {2, 2},  {2, 3},  {3, 6},
    {3, 7},  {3, 8},  {4, 1},  {4, 3},  {4, 5},  {4, 7},  {4, 9},  {4, 12}, {4, 13}, {4, 14}, {5, 1},  {5, 3},
    {5, 6},  {5, 15}, {5, 16}, {5, 18}, {5, 20}, {5, 21}, {5, 23}, {5, 28}, {5, 29}, {5, 30}, {5, 31}, {5, 38},
    {5, 40}, {7, 1},  {7, 2},  {9, 1},  {9, 2},  {9, 3},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const Kind kind = kKinds[data[0] % (sizeof kKinds / sizeof kKinds[0])];
    const uint8_t head = (data[0] & 0x80) != 0 ? 0x10 : 0x21;
    const size_t payload = size - 1 > 2045 ? 2045 : size - 1;
    resetProtocolState();
    setODMType(28);
    setConnectedDeviceName((data[0] & 0x40) != 0 ? "N10" : "");
    HAL_ZVDecodeReset();

    std::vector<uint8_t> body = {head, kind.group, kind.command, static_cast<uint8_t>(payload),
                                 static_cast<uint8_t>(payload >> 8)};
    body.insert(body.end(), data + 1, data + 1 + payload);
    std::vector<uint8_t> frame = {0xA3, 0x1E, 28, 0x00, static_cast<uint8_t>(body.size()),
                                  static_cast<uint8_t>(body.size() >> 8)};
    frame.insert(frame.end(), body.begin(), body.end());
    const uint32_t crc = static_cast<uint32_t>(crc32(0x76953521u, body.data(), static_cast<uInt>(body.size())));
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(crc >> (8 * i)));

    uint32_t result = 0;
    for (uint8_t b : frame) {
        ReceivePack pack = getJsonString(b);
        result = pack.resultCode;
        if (pack.json != nullptr && std::strlen(pack.json) == 0) std::abort();
        freeReceivePack(pack);
    }
    // Whatever the payload, the result is one of the four codes.
    if (result > 3) std::abort();
    analysisDatas(data + 1, static_cast<uint32_t>(payload));
    return 0;
}
