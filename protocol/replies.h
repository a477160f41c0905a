// The receiving side of the packet protocol: a byte-wise frame decoder for the
// printer's replies (CRC checked, bodies of the encrypting printers decrypted),
// the interpretation of a reply by group and command into a small JSON text
// with a result code, and the texts of the printer's status bit word.
//
// A reply comes over a radio link and is hostile until checked: every length,
// tag and count in it is checked against the bytes that arrived, and a reply
// that does not hold what its kind needs gives result 2 and no JSON.
//
// The documented functions work on one process-wide decoder, fed from one
// thread. A program that talks to several printers at once keeps one
// ReplyDecoder per connection instead. Both read the ODM printer type and the
// AES key and initial vector from protocol_state.h.
#ifndef ZV_PROTOCOL_REPLIES_H
#define ZV_PROTOCOL_REPLIES_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Result codes of the interpretation.
enum : uint32_t {
    kReplyNothing = 0,     // no reply complete yet, or one that carries nothing
    kReplyUnderstood = 1,  // the JSON text (possibly empty) describes the reply
    kReplyRefused = 2,     // wrong reply head byte, or a malformed reply
    kReplyUnknown = 3,     // a group and command this decoder does not know
};

// Error codes the frame decoder leaves for the last dropped frame.
enum : uint8_t {
    kReceiveNoError = 0,
    kReceiveCrcMismatch = 3,
    kReceiveBodyTooLong = 5,
};

// Head bytes of the reply's command head.
constexpr uint8_t kReplyHeadOrdinary = 0x21;
constexpr uint8_t kReplyHeadNotice = 0x10;
// Longest body a reply frame may announce.
constexpr uint32_t kReplyMaxBody = 2050;

// What one receive step hands to the application. `json` is malloc'ed and
// zero-terminated ("{}" when there is nothing to say); freeReceivePack
// releases it.
struct ReceivePack {
    uint32_t resultCode;
    uint8_t headByte;
    uint8_t group;
    uint8_t command;
    uint8_t failed;  // 0 for results 0 and 1, else 1
    char *json;
};

// One connection's decoder.
class ReplyDecoder {
  public:
    ReplyDecoder();
    ~ReplyDecoder();
    ReplyDecoder(const ReplyDecoder &) = delete;
    ReplyDecoder &operator=(const ReplyDecoder &) = delete;

    // Back to the start state (0, or 2 for ODM printer type 163 whose frames
    // have no A3 1E prefix). Keeps a reply that is ready but not yet unpacked.
    void reset();
    // Advances the frame decoder by one received byte.
    void feed(uint8_t byte);
    // True while a complete frame with a good CRC waits to be unpacked.
    bool replyReady() const;
    // Decrypts (ODM printer type 163) and splits a ready reply into its
    // command head and payload; false when no reply was waiting.
    bool unpack();
    // Interprets the unpacked reply; returns the result code and leaves the
    // JSON text in json().
    uint32_t interpret();
    // Interprets a tag-length-value payload as a reply of the unpacked
    // reply's group and command: 1 with the JSON text in json(), or 2 with
    // none.
    uint32_t interpretItems(const uint8_t *payload, uint32_t length);
    // feed, then unpack and interpret when a reply is complete.
    ReceivePack receive(uint8_t byte);

    // Error code of the last dropped frame (kReceiveCrcMismatch,
    // kReceiveBodyTooLong), kReceiveNoError when none; takeError clears it.
    uint8_t lastError() const;
    uint8_t takeError();
    // True while the decoder is inside a frame (past its first byte).
    bool inFrame() const;

    uint8_t headByte() const;
    uint8_t group() const;
    uint8_t command() const;
    // The unpacked reply's payload.
    const uint8_t *payload() const;
    uint32_t payloadLength() const;
    // The JSON text of the last interpreted reply; empty means none.
    const std::string &json() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

// The process-wide decoder behind the documented functions.
ReplyDecoder &processReplyDecoder();

// Advances the process-wide frame decoder by one byte.
void HAL_ZV_Packet_Decode(uint8_t byte);
// Puts the process-wide frame decoder back to its start state.
void HAL_ZVDecodeReset();
// 1 when a complete reply was waiting and has been unpacked, else 0.
int HAL_ZV_AckToAPP_Process();
// Interprets the unpacked reply; result code, JSON text in getReplyJson().
uint32_t analysisPack();
// Interprets a tag-length-value payload as a reply of the group and command
// last unpacked into the JSON text of getReplyJson(); 1, or 2 (and no text)
// for an item that runs past the payload.
int analysisDatas(const uint8_t *payload, uint32_t length);
// The JSON text of the last interpreted reply (empty: none).
const char *getReplyJson();
// Error code of the process-wide decoder's last dropped frame.
uint8_t getReplyDecodeError();

// One receive step of the process-wide decoder.
ReceivePack getJsonString(uint8_t byte);
void freeReceivePack(ReceivePack pack);

// Texts of the printer's status bit word: for each set bit, in ascending
// order, appends the Chinese text to `chinese` and the English text to
// `english` (both zero-terminated, either may be null). Buffers of
// kPrinterStatusTextMax bytes hold every text.
constexpr size_t kPrinterStatusTextMax = 512;
void PrinterStatusFill(uint32_t status, char *chinese, char *english);
// The same texts as strings.
std::string printerStatusText(uint32_t status, bool english);

// Device name learned when the connection was made; the model family tests
// below compare its first letters without regard to case.
void setConnectedDeviceName(const char *name);
bool isN10();
bool isN20();
bool isN30();
bool isInkjetPrinter();

#endif
