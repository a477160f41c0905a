// The packet frame of the maker's protocol: head, command head, payload and a
// seeded CRC-32, with the body optionally AES-128-CBC encrypted.
#ifndef ZV_PROTOCOL_PACKET_H
#define ZV_PROTOCOL_PACKET_H

#include <cstdint>

struct PacketHead {
    uint8_t group;           // 1 device, 2 file transfer, 3 Wi-Fi, 4 Bluetooth, 5 print, 7 NFC, 8 custom, 9 inkjet
    uint8_t command;         // command code within the group
    uint8_t encryptType;     // 0 plain, 2 AES-128-CBC (getEncryptType)
    uint8_t attrHigh;        // 0..15
    uint8_t attrLow;         // 0..15; 1 for commands, 0 for image parts
    uint16_t payloadLength;  // payload bytes that follow the command head
};

// One packet, or several back to back. `data` is malloc'ed and owned by the
// holder of the pack, who releases it with freeSendPack.
struct SendPack {
    uint8_t *data;
    uint64_t length;
};

SendPack zvGetEmptyProtocolPack();
bool isEmptyProtocolPack(SendPack pack);
void freeSendPack(SendPack pack);

// 2 (AES-128-CBC) for ODM printer type 163, else 0.
uint8_t getEncryptType();

// Builds one packet from the head and `payloadLength` payload bytes (the
// payload may be null when there are none; it is copied). Group-2 packets
// update the file-transfer counters first. Empty pack when the packet cannot
// be built (no memory, or a body too long for its 16-bit length field).
SendPack zvGetProtocolPack(PacketHead head, const uint8_t *payload);

// The frame builder behind zvGetProtocolPack: returns the malloc'ed packet and
// stores its length, or returns nullptr with length 0.
uint8_t *HAL_ZV_Protocol_PacketBuid(PacketHead head, const uint8_t *payload, uint32_t *packetLength);

// CRC-32 (reflected, polynomial 0xEDB88320) continued from `seed`: equal to
// zlib's crc32(seed, data, length).
uint32_t HAL_ZV_crc32(uint32_t seed, const uint8_t *data, uint32_t length);
// The same CRC over `first`, continued over `second` (skipped when empty).
uint32_t HAL_ZV_crc32_twoBuff(uint32_t seed, const uint8_t *first, uint32_t firstLength, const uint8_t *second,
                              uint32_t secondLength);

// Seeds of the packet CRC: ODM printer type 31 (kODMTypeSecondCrcSeed) uses
// the second one.
constexpr uint32_t kPacketCrcSeed = 0x76953521u;
constexpr uint32_t kPacketCrcSeedOdm31 = 0x76983521u;

// The seed of the packet CRC under the job's ODM printer type, for packets
// sent and replies read.
uint32_t packetCrcSeed();

#endif
