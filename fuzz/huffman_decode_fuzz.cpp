// Fuzzes the Huffman decoder with the bytes a printer could send: two
// traversals of any length and content and a coded part. A second mode treats
// the input as an image chunk and checks that encode, serialise, rebuild and
// decode give it back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/huffman.h"

namespace {

uint16_t readU16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void decodeUntrusted(const uint8_t *data, size_t size) {
    if (size < 4) return;
    // Node counts as a printer states them, possibly disagreeing.
    const int32_t preCount = readU16(data) % 1024;
    const int32_t inCount = (data[2] & 1) != 0 ? preCount : readU16(data + 2) % 1024;
    data += 4;
    size -= 4;
    const size_t symbolBytes = 2 * static_cast<size_t>(preCount + inCount);
    std::vector<uint16_t> pre(static_cast<size_t>(preCount)), in(static_cast<size_t>(inCount));
    for (int32_t i = 0; i < preCount; ++i) {
        const size_t at = 2 * static_cast<size_t>(i);
        pre[i] = at + 1 < size ? readU16(data + at) : 0;
    }
    for (int32_t i = 0; i < inCount; ++i) {
        const size_t at = 2 * static_cast<size_t>(preCount + i);
        in[i] = at + 1 < size ? readU16(data + at) : 0;
    }
    HuffmanDecodeNode *tree = ZVMakeHfmTree(pre.data(), preCount, in.data(), inCount);
    if (tree == nullptr) return;
    const uint8_t *part = symbolBytes < size ? data + symbolBytes : data;
    const uint32_t partLength = symbolBytes < size ? static_cast<uint32_t>(size - symbolBytes) : 0;
    // Exact-size copy so that any read past the part is caught.
    std::vector<uint8_t> copy(part, part + partLength);
    uint32_t count = 0;
    uint8_t *out = ZVHFMdecoding(tree, preCount, copy.empty() ? nullptr : copy.data(), partLength, &count);
    if ((out == nullptr) != (count == 0)) std::abort();
    std::free(out);
    std::free(tree);
}

void roundTrip(const uint8_t *data, size_t size) {
    if (size < 3) return;
    const int32_t width = 1 + data[0] % 32;
    const int32_t maxPart = 1 + data[1] % 128;
    data += 2;
    size -= 2;
    const int32_t rows = static_cast<int32_t>(size) / width;
    if (rows < 1) return;
    const int32_t length = rows * width;
    int32_t nodes = 0;
    HuffmanNode *tree = ZVGetHfmTree(data, length, &nodes);
    if (tree == nullptr) std::abort();
    uint16_t *pre = ZVGetTreePreorder(tree, nodes);
    uint16_t *in = ZVGetTreeMiddleorder(tree, nodes);
    HuffmanDecodeNode *decoder = ZVMakeHfmTree(pre, nodes, in, nodes);
    int32_t partCount = 0;
    CodedPart *parts = ZVHFMDGencoding(tree, nodes, data, width, rows, maxPart, &partCount);
    if (pre == nullptr || in == nullptr || decoder == nullptr || parts == nullptr) std::abort();
    size_t offset = 0;
    for (int32_t k = 0; k < partCount; ++k) {
        uint32_t count = 0;
        uint8_t *out = ZVHFMdecoding(decoder, nodes, parts[k].data, parts[k].length, &count);
        if (out == nullptr || count != parts[k].imageBytes || std::memcmp(out, data + offset, count) != 0) std::abort();
        offset += count;
        std::free(out);
    }
    if (offset != static_cast<size_t>(length)) std::abort();
    ZVFreeSendDataBag(parts);
    std::free(decoder);
    std::free(in);
    std::free(pre);
    std::free(tree);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    if ((data[0] & 0x80) != 0)
        roundTrip(data + 1, size - 1);
    else
        decodeUntrusted(data + 1, size - 1);
    return 0;
}
