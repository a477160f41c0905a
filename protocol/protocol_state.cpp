#include "protocol/protocol_state.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t gOdmPrinterType = 0;
uint32_t gMaxDataLengthOnePackage = 0;
uint32_t gImagePackageLength = 0;
// Decimal text as the printer reports it; empty until a reply sets it.
char gMaxWidthDot[200] = "";

uint32_t gFileTotalLength = 0;
uint32_t gFileCurrentLength = 0;
uint32_t gFileCurrentSendLength = 0;
uint32_t gFileOffsetIndex = 0;

std::array<uint8_t, 16> gAesKey{};
std::array<uint8_t, 16> gAesIV{};
bool gHaveAesKey = false;
bool gHaveAesIV = false;
bool gWarnedMissingAes = false;

uint32_t readU32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseHex16(const char *text, std::array<uint8_t, 16> &out) {
    if (text == nullptr) return false;
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int hi = hexValue(text[2 * i]);
        if (hi < 0) return false;
        const int lo = hexValue(text[2 * i + 1]);
        if (lo < 0) return false;
        bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    for (const char *rest = text + 32; *rest != '\0'; ++rest)
        if (!std::isspace(static_cast<unsigned char>(*rest))) return false;
    out = bytes;
    return true;
}

}  // namespace

void setODMPrinterType(uint32_t type) { gOdmPrinterType = type; }
void setODMType(uint32_t type) { setODMPrinterType(type); }
uint32_t getODMPrinterType() { return gOdmPrinterType; }
bool hasShortHeadODMType() { return gOdmPrinterType == kODMTypeShortHead; }
uint32_t packetHeadBytes() { return hasShortHeadODMType() ? 9 : 11; }

void setMaxDataLengthOnePackage(uint32_t length) { gMaxDataLengthOnePackage = length; }
uint32_t getMaxDataLengthOnePackage() { return gMaxDataLengthOnePackage; }

uint32_t getPrintImageOnePackageWithImageWidthByte(uint32_t widthBytes) {
    // Packet head before the payload, CRC, and the image-part head fields.
    const uint32_t overhead = packetHeadBytes() + 4 + 2 + 2 + 7 + 10;
    // A package length that does not even hold the overhead (for example one
    // that was never set) would wrap around to a size no packet can carry;
    // treat it as no room, which falls back to ten rows below.
    uint32_t length = gMaxDataLengthOnePackage > overhead ? gMaxDataLengthOnePackage - overhead : 0;
    if (widthBytes == 0) {
        length = 0;
    } else {
        length = length / widthBytes * widthBytes;
        if (length <= 11) length = widthBytes * 10;
    }
    gImagePackageLength = length;
    return length;
}

uint32_t getPrintImageOnePackageLength() { return gImagePackageLength; }

void setMaxWidthDot_l(uint32_t dots) { std::snprintf(gMaxWidthDot, sizeof gMaxWidthDot, "%u", dots); }

int64_t getMaxWidthDot_l() { return std::strtoll(gMaxWidthDot, nullptr, 10); }

uint32_t getFileTransferTotalLength() { return gFileTotalLength; }
uint32_t getFileTransferCurrentLength() { return gFileCurrentLength; }
uint32_t getFileTransferCurrentSendLength() { return gFileCurrentSendLength; }
uint32_t getFileTransferOffsetIndex() { return gFileOffsetIndex; }

void updateFileTransferCounters(uint8_t command, const uint8_t *payload, uint32_t payloadLength) {
    if (payload == nullptr) return;
    if (command == 1) {
        if (payloadLength < 12) return;
        gFileTotalLength = readU32(payload + 8);
        gFileCurrentLength = 0;
    } else if (command == 3) {
        if (payloadLength < 8) return;
        const uint32_t offset = readU32(payload + 4);
        if (payload[0] == 1 && payload[1] == 0) gFileOffsetIndex = offset;
        gFileCurrentLength = offset - gFileOffsetIndex;
        gFileCurrentSendLength = static_cast<uint32_t>(payload[2]) | static_cast<uint32_t>(payload[3]) << 8;
    }
}

void setAES128Key(const uint8_t key[16]) {
    std::memcpy(gAesKey.data(), key, gAesKey.size());
    gHaveAesKey = true;
}

void setAES128IV(const uint8_t iv[16]) {
    std::memcpy(gAesIV.data(), iv, gAesIV.size());
    gHaveAesIV = true;
}

bool setAES128KeyHex(const char *hex) {
    std::array<uint8_t, 16> key{};
    if (!parseHex16(hex, key)) return false;
    setAES128Key(key.data());
    return true;
}

bool setAES128IVHex(const char *hex) {
    std::array<uint8_t, 16> iv{};
    if (!parseHex16(hex, iv)) return false;
    setAES128IV(iv.data());
    return true;
}

bool hasAES128Key() { return gHaveAesKey; }
bool hasAES128IV() { return gHaveAesIV; }
void getAES128Key(uint8_t key[16]) { std::memcpy(key, gAesKey.data(), gAesKey.size()); }
void getAES128IV(uint8_t iv[16]) { std::memcpy(iv, gAesIV.data(), gAesIV.size()); }

void warnMissingAESKeyOnce() {
    if (gWarnedMissingAes || (gHaveAesKey && gHaveAesIV)) return;
    gWarnedMissingAes = true;
    std::fprintf(
        stderr,
        "WARNING: The PPD gives no %s for this encrypting printer (*ZVAttr AESKey and *ZVAttr AESIV, 32 "
        "hexadecimal digits each); packets are encrypted with zero bytes instead and the printer may "
        "reject them\n",
        !gHaveAesKey && !gHaveAesIV ? "AES key and initial vector" : (!gHaveAesKey ? "AES key" : "AES initial vector"));
}

void resetProtocolState() {
    gOdmPrinterType = 0;
    gMaxDataLengthOnePackage = 0;
    gImagePackageLength = 0;
    gMaxWidthDot[0] = '\0';
    gFileTotalLength = gFileCurrentLength = gFileCurrentSendLength = gFileOffsetIndex = 0;
    gAesKey.fill(0);
    gAesIV.fill(0);
    gHaveAesKey = gHaveAesIV = false;
    gWarnedMissingAes = false;
}
