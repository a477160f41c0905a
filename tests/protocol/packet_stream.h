// Splits a printer stream of protocol packets back into commands, checking
// every frame and CRC and decrypting with the current AES key, and rebuilds
// the page an image transfer carries with the project's own decoder.
#ifndef ZV_TESTS_PROTOCOL_PACKET_STREAM_H
#define ZV_TESTS_PROTOCOL_PACKET_STREAM_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/aes.h"
#include "protocol/huffman.h"
#include "protocol/packet.h"
#include "protocol/protocol_state.h"

namespace zvtest {

struct ParsedPacket {
    size_t offset = 0;  // in the stream
    size_t size = 0;    // bytes on the wire
    uint8_t attr = 0, group = 0, command = 0;
    std::vector<uint8_t> payload;
};

inline uint32_t le16(const uint8_t *p) { return p[0] | p[1] << 8; }
inline uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// Parses packets in the head form of the current ODM printer type. Any frame
// or CRC fault is a test failure and ends the parse.
inline std::vector<ParsedPacket> parsePackets(const std::vector<uint8_t> &stream) {
    std::vector<ParsedPacket> packets;
    const uint32_t odm = getODMPrinterType();
    const bool shortHead = odm == 163;
    const uint32_t seed = odm == 31 ? kPacketCrcSeedOdm31 : kPacketCrcSeed;
    const size_t lead = shortHead ? 4 : 6;
    size_t at = 0;
    while (at < stream.size()) {
        ParsedPacket packet;
        packet.offset = at;
        const uint8_t *p = stream.data() + at;
        if (stream.size() - at < lead + 5 + 4) {
            ADD_FAILURE() << "truncated packet at " << at;
            break;
        }
        if (!shortHead && (p[0] != 0xA3 || p[1] != 0x1E)) {
            ADD_FAILURE() << "no packet start at " << at;
            break;
        }
        EXPECT_EQ(p[lead - 4], static_cast<uint8_t>(odm)) << "at " << at;
        const uint8_t encrypt = p[lead - 3] >> 4;
        const uint32_t bodyLength = le16(p + lead - 2);
        if (stream.size() - at < lead + bodyLength + 4) {
            ADD_FAILURE() << "body beyond the stream at " << at;
            break;
        }
        std::vector<uint8_t> body(p + lead, p + lead + bodyLength);
        EXPECT_EQ(le32(p + lead + bodyLength), static_cast<uint32_t>(crc32(seed, body.data(), bodyLength)))
            << "CRC at " << at;
        if (encrypt == 2) {
            EXPECT_EQ(bodyLength % 16, 0u);
            uint8_t key[16], iv[16];
            getAES128Key(key);
            getAES128IV(iv);
            AES_Init(key);
            AES_Decrypt(body.data(), body.data(), bodyLength, iv);
        }
        packet.attr = body[0];
        packet.group = body[1];
        packet.command = body[2];
        const uint32_t n = le16(body.data() + 3);
        if (encrypt == 2) {
            EXPECT_LT(5 + n, bodyLength + 0u) << "at least one byte of padding";
            EXPECT_GE(5 + n + 16, bodyLength + 0u);
        } else {
            EXPECT_EQ(5 + n, bodyLength) << "at " << at;
        }
        if (5 + n > body.size()) {
            ADD_FAILURE() << "payload beyond the body at " << at;
            break;
        }
        packet.payload.assign(body.begin() + 5, body.begin() + 5 + n);
        packet.size = lead + bodyLength + 4;
        at += packet.size;
        packets.push_back(std::move(packet));
    }
    return packets;
}

struct DecodedImage {
    bool ok = false;
    uint32_t widthBytes = 0;
    std::vector<uint8_t> bytes;
    std::vector<std::vector<uint32_t>> partIndices;  // per tree (compressed) or one list (raw)
};

// Rebuilds the page from the image packets (start, trees and parts, end).
inline DecodedImage decodeImagePackets(const std::vector<ParsedPacket> &packets) {
    DecodedImage image;
    std::vector<uint16_t> pre, in;
    HuffmanDecodeNode *tree = nullptr;
    int32_t nodes = 0;
    bool started = false, ended = false;
    for (const ParsedPacket &p : packets) {
        if (p.group != 5) continue;
        if (p.command == 11) {
            EXPECT_FALSE(started);
            started = true;
        } else if (p.command == 12) {
            ended = true;
        } else if (p.command == 14) {
            EXPECT_EQ(p.attr, 0x11);
            std::free(tree);
            nodes = static_cast<int32_t>(p.payload.size() / 4);
            pre.assign(nodes, 0);
            in.assign(nodes, 0);
            for (int32_t i = 0; i < nodes; ++i) {
                pre[i] = static_cast<uint16_t>(le16(p.payload.data() + 2 * i));
                in[i] = static_cast<uint16_t>(le16(p.payload.data() + 2 * nodes + 2 * i));
            }
            tree = ZVMakeHfmTree(pre.data(), nodes, in.data(), nodes);
            EXPECT_NE(tree, nullptr);
            image.partIndices.emplace_back();
        } else if (p.command == 13) {
            EXPECT_EQ(p.attr, 0x10);
            const uint8_t *h = p.payload.data();
            const uint32_t dataLength = static_cast<uint32_t>(p.payload.size()) - 11;
            EXPECT_EQ(le16(h + 2), dataLength + 7);
            EXPECT_EQ(le16(h + 9), 0u);
            if (image.widthBytes == 0) image.widthBytes = le16(h + 5);
            EXPECT_EQ(le16(h + 5), image.widthBytes);
            if (h[4] == 17) {
                EXPECT_EQ(le16(h + 7), 0u);
                if (tree == nullptr || image.partIndices.empty()) {
                    ADD_FAILURE() << "part without a tree";
                    break;
                }
                image.partIndices.back().push_back(le16(h));
                uint32_t count = 0;
                uint8_t *out = ZVHFMdecoding(tree, nodes, h + 11, dataLength, &count);
                EXPECT_NE(out, nullptr);
                if (out != nullptr) image.bytes.insert(image.bytes.end(), out, out + count);
                std::free(out);
            } else {
                EXPECT_EQ(h[4], 1);
                if (image.partIndices.empty()) image.partIndices.emplace_back();
                image.partIndices.back().push_back(le16(h));
                EXPECT_EQ(le16(h + 7) * image.widthBytes, image.bytes.size()) << "rows sent before";
                image.bytes.insert(image.bytes.end(), h + 11, h + 11 + dataLength);
            }
        }
    }
    std::free(tree);
    image.ok = started && ended;
    return image;
}

}  // namespace zvtest

#endif
