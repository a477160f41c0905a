#include "protocol/packet.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/aes.h"
#include "protocol/protocol_state.h"

namespace {

constexpr uint32_t kCommandHeadBytes = 5;
constexpr uint32_t kCrcBytes = 4;

void putU16(uint8_t *p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t *p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t *buildPacket(PacketHead head, const uint8_t *payload, uint32_t *packetLength) {
    const uint32_t odm = getODMPrinterType();
    const bool shortHead = odm == kODMTypeShortHead;
    const uint32_t n = head.payloadLength;
    const uint32_t body = kCommandHeadBytes + n;
    // The body length travels in 16 bits; a longer body cannot be framed.
    if (body > 0xFFFF) return nullptr;
    if (n > 0 && payload == nullptr) return nullptr;

    // Head up to and including the body length, then the command head.
    uint8_t scratch[11];
    uint32_t at = 0;
    if (!shortHead) {
        scratch[at++] = 0xA3;
        scratch[at++] = 0x1E;
    }
    scratch[at++] = static_cast<uint8_t>(odm);
    scratch[at++] = static_cast<uint8_t>((head.encryptType & 0x0F) << 4);
    putU16(scratch + at, body);
    at += 2;
    const uint32_t lengthEnd = at;  // head bytes kept in front of a cipher body
    uint8_t *commandHead = scratch + at;
    commandHead[0] = static_cast<uint8_t>((head.attrHigh << 4) | (head.attrLow & 0x0F));
    commandHead[1] = head.group;
    commandHead[2] = head.command;
    putU16(commandHead + 3, n);
    at += kCommandHeadBytes;

    if (head.encryptType != 2) {
        const uint32_t total = at + n + kCrcBytes;
        auto *packet = static_cast<uint8_t *>(std::malloc(total));
        if (packet == nullptr) return nullptr;
        std::memcpy(packet, scratch, at);
        if (n > 0) std::memcpy(packet + at, payload, n);
        putU32(packet + at + n, HAL_ZV_crc32_twoBuff(packetCrcSeed(), commandHead, kCommandHeadBytes, payload, n));
        *packetLength = total;
        return packet;
    }

    // Encrypted: the command head and payload, zero padded to whole blocks
    // (always at least one byte of padding), AES-128-CBC with the chain
    // starting from the initial vector in every packet; the CRC covers the
    // cipher bytes.
    const uint32_t padded = (body / 16 + 1) * 16;
    if (padded > 0xFFFF) return nullptr;
    std::vector<uint8_t> work(body + 16, 0);
    std::memcpy(work.data(), commandHead, kCommandHeadBytes);
    if (n > 0) std::memcpy(work.data() + kCommandHeadBytes, payload, n);
    warnMissingAESKeyOnce();
    uint8_t key[16];
    uint8_t iv[16];
    getAES128Key(key);
    getAES128IV(iv);
    AES_Init(key);
    AES_add_zeros(work.data(), body);
    AES_Encrypt(work.data(), work.data(), padded, iv);

    const uint32_t total = lengthEnd + padded + kCrcBytes;
    auto *packet = static_cast<uint8_t *>(std::malloc(total));
    if (packet == nullptr) return nullptr;
    std::memcpy(packet, scratch, lengthEnd);
    putU16(packet + lengthEnd - 2, padded);
    std::memcpy(packet + lengthEnd, work.data(), padded);
    putU32(packet + lengthEnd + padded, HAL_ZV_crc32(packetCrcSeed(), work.data(), padded));
    *packetLength = total;
    return packet;
}

}  // namespace

SendPack zvGetEmptyProtocolPack() { return SendPack{nullptr, 0}; }

bool isEmptyProtocolPack(SendPack pack) { return pack.data == nullptr || pack.length == 0; }

void freeSendPack(SendPack pack) { std::free(pack.data); }

uint32_t packetCrcSeed() { return getODMPrinterType() == kODMTypeSecondCrcSeed ? kPacketCrcSeedOdm31 : kPacketCrcSeed; }

uint8_t getEncryptType() { return hasShortHeadODMType() ? 2 : 0; }

uint32_t HAL_ZV_crc32(uint32_t seed, const uint8_t *data, uint32_t length) {
    if (data == nullptr || length == 0) return seed;
    return static_cast<uint32_t>(crc32(seed, data, length));
}

uint32_t HAL_ZV_crc32_twoBuff(uint32_t seed, const uint8_t *first, uint32_t firstLength, const uint8_t *second,
                              uint32_t secondLength) {
    const uint32_t crc = HAL_ZV_crc32(seed, first, firstLength);
    return secondLength > 0 ? HAL_ZV_crc32(crc, second, secondLength) : crc;
}

uint8_t *HAL_ZV_Protocol_PacketBuid(PacketHead head, const uint8_t *payload, uint32_t *packetLength) {
    uint32_t length = 0;
    uint8_t *packet = nullptr;
    try {
        packet = buildPacket(head, payload, &length);
    } catch (const std::bad_alloc &) {
        packet = nullptr;
    }
    if (packet == nullptr) length = 0;
    if (packetLength != nullptr) *packetLength = length;
    return packet;
}

SendPack zvGetProtocolPack(PacketHead head, const uint8_t *payload) {
    if (head.group == 2) updateFileTransferCounters(head.command, payload, head.payloadLength);
    uint32_t length = 0;
    uint8_t *packet = HAL_ZV_Protocol_PacketBuid(head, payload, &length);
    if (packet == nullptr) return zvGetEmptyProtocolPack();
    return SendPack{packet, length};
}
