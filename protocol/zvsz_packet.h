// The second, simpler framing of the packet protocol: fixed four-byte start
// and end marks, a 32-bit length and no checksum. Two requests (printer
// information and Wi-Fi setting), a byte-wise reply decoder and the
// interpretation of the two replies into JSON texts, with the result codes of
// replies.h.
//
// The documented functions work on one process-wide decoder fed from one
// thread; ZVSZDecoder is the same decoder as an object, one per connection.
#ifndef ZV_PROTOCOL_ZVSZ_PACKET_H
#define ZV_PROTOCOL_ZVSZ_PACKET_H

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/packet.h"

// Largest frame, request or reply, and the longest reply body.
constexpr uint32_t kZVSZMaxFrame = 2048;
// Error code of a dropped reply whose length is above kZVSZMaxFrame.
constexpr uint8_t kZVSZBodyTooLong = 4;

// A request, passed by value to the frame builder.
struct ZVSZPacket {
    uint8_t head[4];   // 19 73 10 19
    uint32_t length;   // set by the frame builder to dataLength + 4
    uint32_t command;  // request code; its low byte is sent
    uint8_t extra1;
    uint8_t randomByte;
    uint8_t extra2;
    const uint8_t *data;  // request data, not owned
    uint8_t tail[4];      // 19 79 04 02
    uint32_t dataLength;
};

// The result of one receive step; `json` is malloc'ed, released by
// freeZVSZReceivePack (or freeReceivePack's rule: std::free).
struct ZVSZReceivePack {
    uint32_t resultCode;
    uint8_t failed;
    uint8_t replyCode;
    char *json;
};

// Fills the record with the defaults (marks, zeros, a random byte) and
// returns it.
ZVSZPacket *creatDefaultZVSZPacket(ZVSZPacket *packet);
// The serialised request; the empty pack when it would not fit in
// kZVSZMaxFrame bytes or its data is missing.
SendPack ZVSZ_GetProtocolPack(ZVSZPacket packet);
// Printer information request (command 2, no data).
SendPack ZVSZ_Get_PrinterInfoData();
// Wi-Fi request (command 4): name and password, each with its zero byte.
SendPack ZVSZ_Set_PrinterWiFi(const char *ssid, const char *password);

class ZVSZDecoder {
  public:
    ZVSZDecoder();
    ~ZVSZDecoder();
    ZVSZDecoder(const ZVSZDecoder &) = delete;
    ZVSZDecoder &operator=(const ZVSZDecoder &) = delete;

    void reset();
    void feed(uint8_t byte);
    bool replyReady() const;
    bool unpack();
    uint32_t interpret();
    ZVSZReceivePack receive(uint8_t byte);

    // Error code of the last dropped frame (kZVSZBodyTooLong), 0 when none;
    // takeError clears it.
    uint8_t lastError() const;
    uint8_t takeError();
    // True while the decoder is inside a frame (past its first byte).
    bool inFrame() const;
    uint8_t replyCode() const;
    uint8_t status() const;
    uint32_t payloadLength() const;
    const std::string &json() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

ZVSZDecoder &processZVSZDecoder();

void ZVSZ_DecodeReset();
void ZVSZ_Packet_Decode(uint8_t byte);
// 1 when a reply was waiting and has been unpacked, else 0.
int ZVSZ_AckToAppProcess();
// Result code of the unpacked reply; the JSON text in getZVSZJson().
uint32_t ZVSZ_AnalysisPack();
const char *getZVSZJson();
ZVSZReceivePack getZVSZJsonString(uint8_t byte);
void freeZVSZReceivePack(ZVSZReceivePack pack);

#endif
