// Process-wide state of the packet protocol: the ODM printer type chosen for
// the job, the package-size limits set per page by the print driver, the
// printer's print width (learned only from printer replies), the counters of a
// file transfer, and the AES key and initial vector of the encrypted printers.
//
// One set per process; the filter is single-threaded and nothing here is
// guarded. Tests put everything back with resetProtocolState().
#ifndef ZV_PROTOCOL_PROTOCOL_STATE_H
#define ZV_PROTOCOL_PROTOCOL_STATE_H

#include <cstdint>

// ODM printer type: selects the head form (163 short), the encryption (163)
// and the CRC seed (31).
void setODMType(uint32_t type);
void setODMPrinterType(uint32_t type);
uint32_t getODMPrinterType();

// The ODM printer types the protocol treats apart. 163 sends short packet
// heads (no A3 1E lead-in), AES-128-CBC bodies and raw image rows instead of
// Huffman parts; 31 seeds the packet CRC with the second seed.
constexpr uint32_t kODMTypeShortHead = 163;
constexpr uint32_t kODMTypeSecondCrcSeed = 31;

// True when the job's ODM printer type is kODMTypeShortHead.
bool hasShortHeadODMType();

// Bytes of a packet in front of its payload under the job's ODM printer type:
// 9 with the short head, 11 with the long one.
uint32_t packetHeadBytes();

// Largest packet the printer takes, set by the print driver for the model.
void setMaxDataLengthOnePackage(uint32_t length);
uint32_t getMaxDataLengthOnePackage();

// Largest number of raw image bytes, a whole number of rows of `widthBytes`,
// that one image-part packet may carry under the current package length and
// head form. Also stores the result as the image package length.
uint32_t getPrintImageOnePackageWithImageWidthByte(uint32_t widthBytes);
uint32_t getPrintImageOnePackageLength();

// Maximum print width in dots. Kept as the decimal text the printer's reply
// gave; an unset value reads as 0.
void setMaxWidthDot_l(uint32_t dots);
int64_t getMaxWidthDot_l();

// Counters of a file download (packets of group 2), for progress reporting.
uint32_t getFileTransferTotalLength();
uint32_t getFileTransferCurrentLength();
uint32_t getFileTransferCurrentSendLength();
uint32_t getFileTransferOffsetIndex();
// Updates the counters from the payload of a group-2 packet; payloads too short
// for the fields a command carries leave the counters alone.
void updateFileTransferCounters(uint8_t command, const uint8_t *payload, uint32_t payloadLength);

// AES-128 key and CBC initial vector of the encrypting printers. They belong
// to the printer family and come from the PPD (*ZVAttr AESKey / AESIV, 32
// hexadecimal digits each). Without them sixteen zero bytes are used.
void setAES128Key(const uint8_t key[16]);
void setAES128IV(const uint8_t iv[16]);
// Parse 32 hexadecimal digits (surrounding blanks allowed); false, and nothing
// stored, for any other text.
bool setAES128KeyHex(const char *hex);
bool setAES128IVHex(const char *hex);
bool hasAES128Key();
bool hasAES128IV();
void getAES128Key(uint8_t key[16]);
void getAES128IV(uint8_t iv[16]);
// Writes the warning about a missing key or initial vector to standard error,
// once per process (one process prints one job).
void warnMissingAESKeyOnce();

// Back to the values a new process starts with.
void resetProtocolState();

#endif
