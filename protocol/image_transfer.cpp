#include "protocol/image_transfer.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "protocol/huffman.h"
#include "protocol/protocol_state.h"

namespace {

constexpr uint8_t kImageGroup = 5;
constexpr uint8_t kCommandImageStart = 11;
constexpr uint8_t kCommandImageEnd = 12;
constexpr uint8_t kCommandImagePart = 13;
constexpr uint8_t kCommandImageTree = 14;
constexpr uint32_t kPartHeadBytes = 11;

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

struct BagDeleter {
    void operator()(CodedPart *p) const { ZVFreeSendDataBag(p); }
};

// maximum data length - h - extra, or 0 when the package length does not even
// hold that much (it has not been set).
uint32_t packageRoom(uint32_t extra) {
    const uint32_t max = getMaxDataLengthOnePackage();
    const uint32_t overhead = packetHeadBytes() + extra;
    return max > overhead ? max - overhead : 0;
}

SendPack packet(uint8_t command, uint8_t attrLow, const uint8_t *payload, uint32_t payloadLength) {
    if (payloadLength > 0xFFFF) return zvGetEmptyProtocolPack();
    PacketHead head{};
    head.group = kImageGroup;
    head.command = command;
    head.encryptType = getEncryptType();
    head.attrHigh = 1;
    head.attrLow = attrLow;
    head.payloadLength = static_cast<uint16_t>(payloadLength);
    return zvGetProtocolPack(head, payload);
}

// Appends the pack's bytes and frees it; false for an empty pack.
bool append(std::vector<uint8_t> &out, SendPack pack) {
    if (isEmptyProtocolPack(pack)) {
        freeSendPack(pack);
        return false;
    }
    out.insert(out.end(), pack.data, pack.data + pack.length);
    freeSendPack(pack);
    return true;
}

SendPack toPack(const std::vector<uint8_t> &bytes) {
    if (bytes.empty()) return zvGetEmptyProtocolPack();
    auto *data = static_cast<uint8_t *>(std::malloc(bytes.size()));
    if (data == nullptr) return zvGetEmptyProtocolPack();
    std::memcpy(data, bytes.data(), bytes.size());
    return SendPack{data, bytes.size()};
}

void putU16(uint8_t *p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

// Head of an image part: index, data length + 7, kind, row width, rows sent
// before, 0.
void putPartHead(uint8_t *p, uint32_t index, uint32_t dataLength, uint8_t kind, uint32_t widthBytes,
                 uint32_t rowsBefore) {
    putU16(p, index);
    putU16(p + 2, dataLength + 7);
    p[4] = kind;
    putU16(p + 5, widthBytes);
    putU16(p + 7, rowsBefore);
    putU16(p + 9, 0);
}

// Packed rows of a usable image: width a multiple of 8, the plane present and
// its size representable.
bool packedRows(const ZVImage *image, uint32_t *widthBytes, uint32_t *total) {
    if (image == nullptr || image->pixByteData == nullptr || image->width == 0 || image->height == 0) return false;
    if (image->width % 8 != 0) return false;
    const uint64_t bytes = static_cast<uint64_t>(image->width / 8) * image->height;
    if (bytes > INT32_MAX) return false;
    *widthBytes = image->width / 8;
    *total = static_cast<uint32_t>(bytes);
    return true;
}

SendPack compressedTransfer(ZVImage *image, ImageProtocolSetting setting) {
    uint32_t widthBytes = 0;
    uint32_t total = 0;
    if (!packedRows(image, &widthBytes, &total)) return zvGetEmptyProtocolPack();
    const uint8_t *data = image->pixByteData;
    const uint32_t treeLimit = packageRoom(4 + 10);

    std::vector<uint8_t> out;
    if (!append(out, getSendImageStartData())) return zvGetEmptyProtocolPack();
    for (uint32_t offset = 0; offset < total;) {
        // The largest chunk whose tree fits one packet: halve and round down
        // to whole rows until it does. An empty chunk makes an empty tree
        // pack, and the parts below then fail.
        uint32_t chunk = total - offset;
        SendPack tree = getTreePack(data + offset, chunk);
        while (!isEmptyProtocolPack(tree) && tree.length >= treeLimit) {
            freeSendPack(tree);
            chunk /= 2;
            chunk -= chunk % widthBytes;
            tree = getTreePack(data + offset, chunk);
        }
        SendPack treePacket = getSendImageTreeData(tree.data, static_cast<uint32_t>(tree.length));
        freeSendPack(tree);
        SendPack parts = getCompressSendImageData(data + offset, widthBytes, chunk);
        if (isEmptyProtocolPack(parts) || isEmptyProtocolPack(treePacket)) {
            freeSendPack(parts);
            freeSendPack(treePacket);
            return zvGetEmptyProtocolPack();
        }
        append(out, treePacket);
        append(out, parts);
        offset += chunk;
    }
    if (!append(out, getSendImageEndData(setting))) return zvGetEmptyProtocolPack();
    return toPack(out);
}

SendPack uncompressedTransfer(ZVImage *image, ImageProtocolSetting setting) {
    uint32_t widthIn = 0;
    uint32_t total = 0;
    if (!packedRows(image, &widthIn, &total)) return zvGetEmptyProtocolPack();

    // The printer's width in whole bytes. Only a printer reply tells it; until
    // then the page goes out as it is rather than not at all.
    const int64_t maxDots = getMaxWidthDot_l();
    const uint32_t widthOut =
        maxDots > 0 && maxDots < static_cast<int64_t>(UINT32_MAX) ? static_cast<uint32_t>(maxDots / 8) : widthIn;
    if (widthOut == 0) return zvGetEmptyProtocolPack();
    if (widthOut != widthIn) {
        const uint64_t newSize = static_cast<uint64_t>(widthOut) * image->height;
        if (newSize > INT32_MAX) return zvGetEmptyProtocolPack();
        auto *rows = static_cast<uint8_t *>(std::calloc(newSize, 1));
        if (rows == nullptr) return zvGetEmptyProtocolPack();
        const uint32_t copy = widthIn < widthOut ? widthIn : widthOut;
        // Wider images keep their left part; narrower ones are centred.
        const uint32_t at = widthIn < widthOut ? (widthOut - widthIn) / 2 : 0;
        for (uint32_t y = 0; y < image->height; ++y)
            std::memcpy(rows + static_cast<size_t>(y) * widthOut + at,
                        image->pixByteData + static_cast<size_t>(y) * widthIn, copy);
        freeZVImagePixByteData(image);
        image->pixByteData = rows;
        image->width = widthOut * 8;
        total = static_cast<uint32_t>(newSize);
    }

    std::vector<uint8_t> out;
    if (!append(out, getSendImageStartData())) return zvGetEmptyProtocolPack();
    if (!append(out, getSendImageData(image->pixByteData, widthOut, total, packageRoom(14))))
        return zvGetEmptyProtocolPack();
    if (!append(out, getSendImageEndData(setting))) return zvGetEmptyProtocolPack();
    return toPack(out);
}

SendPack compressedParts(const uint8_t *chunk, uint32_t widthBytes, uint32_t length) {
    if (chunk == nullptr || widthBytes == 0 || length < widthBytes || length > INT32_MAX)
        return zvGetEmptyProtocolPack();
    int32_t nodeCount = 0;
    Owned<HuffmanNode> tree(ZVGetHfmTree(chunk, static_cast<int32_t>(length), &nodeCount));
    if (!tree) return zvGetEmptyProtocolPack();
    uint32_t maxPart = getPrintImageOnePackageWithImageWidthByte(widthBytes);
    if (length < maxPart) maxPart = length;
    if (maxPart > INT32_MAX) return zvGetEmptyProtocolPack();
    int32_t partCount = 0;
    std::unique_ptr<CodedPart, BagDeleter> parts(
        ZVHFMDGencoding(tree.get(), nodeCount, chunk, static_cast<int32_t>(widthBytes),
                        static_cast<int32_t>(length / widthBytes), static_cast<int32_t>(maxPart), &partCount));
    if (!parts || partCount < 1) return zvGetEmptyProtocolPack();

    std::vector<uint8_t> out;
    std::vector<uint8_t> payload;
    for (int32_t k = 0; k < partCount; ++k) {
        const CodedPart &part = parts.get()[k];
        payload.assign(kPartHeadBytes + part.length, 0);
        putPartHead(payload.data(), static_cast<uint32_t>(k), part.length, 17, widthBytes, 0);
        std::memcpy(payload.data() + kPartHeadBytes, part.data, part.length);
        if (!append(out, packet(kCommandImagePart, 0, payload.data(), static_cast<uint32_t>(payload.size()))))
            return zvGetEmptyProtocolPack();
    }
    return toPack(out);
}

SendPack rawParts(const uint8_t *data, uint32_t widthBytes, uint32_t total, uint32_t limit) {
    if (data == nullptr || widthBytes == 0 || limit < 7) return zvGetEmptyProtocolPack();
    const uint32_t partSize = (limit - 7) / widthBytes * widthBytes;
    // Not even one row fits a packet.
    if (partSize == 0) return zvGetEmptyProtocolPack();
    std::vector<uint8_t> out;
    std::vector<uint8_t> payload;
    uint32_t rowsBefore = 0;
    uint32_t index = 0;
    for (uint32_t offset = 0; offset < total; offset += partSize, ++index) {
        const uint32_t length = total - offset < partSize ? total - offset : partSize;
        payload.assign(kPartHeadBytes + length, 0);
        putPartHead(payload.data(), index, length, 1, widthBytes, rowsBefore);
        std::memcpy(payload.data() + kPartHeadBytes, data + offset, length);
        if (!append(out, packet(kCommandImagePart, 0, payload.data(), static_cast<uint32_t>(payload.size()))))
            return zvGetEmptyProtocolPack();
        rowsBefore += length / widthBytes;
    }
    return toPack(out);
}

}  // namespace

ImageProtocolSetting creatDefaultImageProtocolSetting() { return ImageProtocolSetting{0, 0, 0, 0, 1}; }

SendPack getSendImageStartData() { return packet(kCommandImageStart, 1, nullptr, 0); }

SendPack getSendImageTreeData(const uint8_t *tree, uint32_t count) {
    return packet(kCommandImageTree, 1, count > 0 ? tree : nullptr, count);
}

SendPack getSendImageEndData(ImageProtocolSetting setting) {
    if (!hasShortHeadODMType()) return packet(kCommandImageEnd, 1, nullptr, 0);
    // Two tag-length-value items: tag 1 with two bytes, tag 2 with one.
    const uint8_t payload[9] = {0x01,
                                0x02,
                                0x00,
                                static_cast<uint8_t>(setting.endValue16),
                                static_cast<uint8_t>(setting.endValue16 >> 8),
                                0x02,
                                0x01,
                                0x00,
                                setting.endValue8};
    return packet(kCommandImageEnd, 1, payload, sizeof payload);
}

SendPack getTreePack(const uint8_t *chunk, uint32_t length) {
    if (chunk == nullptr || length == 0 || length > INT32_MAX) return zvGetEmptyProtocolPack();
    int32_t nodeCount = 0;
    Owned<HuffmanNode> tree(ZVGetHfmTree(chunk, static_cast<int32_t>(length), &nodeCount));
    if (!tree || nodeCount < 1) return zvGetEmptyProtocolPack();
    Owned<uint16_t> pre(ZVGetTreePreorder(tree.get(), nodeCount));
    Owned<uint16_t> in(ZVGetTreeMiddleorder(tree.get(), nodeCount));
    if (!pre || !in) return zvGetEmptyProtocolPack();
    const size_t count = static_cast<size_t>(nodeCount);
    auto *bytes = static_cast<uint8_t *>(std::malloc(4 * count));
    if (bytes == nullptr) return zvGetEmptyProtocolPack();
    for (size_t i = 0; i < count; ++i) {
        putU16(bytes + 2 * i, pre.get()[i]);
        putU16(bytes + 2 * count + 2 * i, in.get()[i]);
    }
    return SendPack{bytes, 4 * count};
}

SendPack getCompressSendImageData(const uint8_t *chunk, uint32_t widthBytes, uint32_t length) {
    try {
        return compressedParts(chunk, widthBytes, length);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack getSendImageData(const uint8_t *data, uint32_t widthBytes, uint32_t total, uint32_t limit) {
    try {
        return rawParts(data, widthBytes, total, limit);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack getAllCompressImagePart(ZVImage *image, ImageProtocolSetting setting) {
    try {
        return compressedTransfer(image, setting);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack getAllImageData(ZVImage *image, ImageProtocolSetting setting) {
    try {
        return uncompressedTransfer(image, setting);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}
