#include "protocol/zvsz_packet.h"

#include <cjson/cJSON.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "protocol/replies.h"

namespace {

constexpr uint8_t kHead[4] = {0x19, 0x73, 0x10, 0x19};
constexpr uint8_t kTail[4] = {0x19, 0x79, 0x04, 0x02};

struct JsonDeleter {
    void operator()(cJSON *item) const { cJSON_Delete(item); }
};

}  // namespace

ZVSZPacket *creatDefaultZVSZPacket(ZVSZPacket *packet) {
    if (packet == nullptr) return nullptr;
    std::memcpy(packet->head, kHead, 4);
    packet->length = 0;
    packet->command = 0;
    packet->extra1 = 0;
    packet->randomByte = static_cast<uint8_t>(std::rand() & 0xFF);
    packet->extra2 = 0;
    packet->data = nullptr;
    std::memcpy(packet->tail, kTail, 4);
    packet->dataLength = 0;
    return packet;
}

SendPack ZVSZ_GetProtocolPack(ZVSZPacket packet) {
    // A request must fit the printer's 2048-byte frame; a longer one would
    // run past the buffer it is assembled in.
    if (packet.dataLength > kZVSZMaxFrame - 16) return zvGetEmptyProtocolPack();
    if (packet.dataLength > 0 && packet.data == nullptr) return zvGetEmptyProtocolPack();
    packet.length = packet.dataLength + 4;
    const uint32_t total = packet.dataLength + 16;
    auto *bytes = static_cast<uint8_t *>(std::malloc(total));
    if (bytes == nullptr) return zvGetEmptyProtocolPack();
    std::memcpy(bytes, packet.head, 4);
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<uint8_t>(packet.length >> (8 * i));
    bytes[8] = static_cast<uint8_t>(packet.command);
    bytes[9] = packet.extra1;
    bytes[10] = packet.randomByte;
    bytes[11] = packet.extra2;
    if (packet.dataLength > 0) std::memcpy(bytes + 12, packet.data, packet.dataLength);
    std::memcpy(bytes + 12 + packet.dataLength, packet.tail, 4);
    return SendPack{bytes, total};
}

SendPack ZVSZ_Get_PrinterInfoData() {
    ZVSZPacket packet;
    creatDefaultZVSZPacket(&packet);
    packet.command = 2;
    return ZVSZ_GetProtocolPack(packet);
}

SendPack ZVSZ_Set_PrinterWiFi(const char *ssid, const char *password) {
    if (ssid == nullptr || password == nullptr) return zvGetEmptyProtocolPack();
    try {
        const size_t nameLength = std::strlen(ssid) + 1;
        const size_t passwordLength = std::strlen(password) + 1;
        if (nameLength + passwordLength > kZVSZMaxFrame) return zvGetEmptyProtocolPack();
        std::vector<uint8_t> data(ssid, ssid + nameLength);
        data.insert(data.end(), password, password + passwordLength);
        ZVSZPacket packet;
        creatDefaultZVSZPacket(&packet);
        packet.command = 4;
        packet.data = data.data();
        packet.dataLength = static_cast<uint32_t>(data.size());
        return ZVSZ_GetProtocolPack(packet);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

struct ZVSZDecoder::State {
    uint32_t decoderState = 0;
    uint32_t length = 0;
    uint32_t replyCode = 0;
    uint8_t further[2] = {0, 0};
    uint8_t status = 0;
    uint32_t payloadLength = 0;
    std::array<uint8_t, kZVSZMaxFrame> body{};
    bool malformed = false;
    std::string json;
    uint16_t counter = 0;
    uint8_t errorCode = 0;
    bool ready = false;
};

ZVSZDecoder::ZVSZDecoder() : state_(std::make_unique<State>()) {}
ZVSZDecoder::~ZVSZDecoder() = default;

void ZVSZDecoder::reset() {
    state_->decoderState = 0;
    state_->counter = 0;
}

void ZVSZDecoder::feed(uint8_t b) {
    State &s = *state_;
    // The start and end marks byte by byte: state 0 waits for the first start
    // byte, states 1-3 and 6-9 each expect one mark byte.
    switch (s.decoderState) {
        case 0:
            if (b == kHead[0]) s.decoderState = 1;
            break;
        case 1:
        case 2:
        case 3:
            if (b == kHead[s.decoderState]) {
                ++s.decoderState;
                if (s.decoderState == 4) {
                    s.length = 0;
                    s.counter = 0;
                }
            } else {
                reset();
            }
            break;
        case 4:
            s.length |= static_cast<uint32_t>(b) << (8 * s.counter);
            if (++s.counter == 4) {
                s.counter = 0;
                if (s.length > kZVSZMaxFrame) {
                    s.errorCode = kZVSZBodyTooLong;
                    reset();
                } else if (s.length == 0) {
                    reset();
                } else {
                    s.body.fill(0);
                    s.decoderState = 5;
                }
            }
            break;
        case 5:
            s.body[s.counter++] = b;
            if (s.counter >= s.length) {
                s.counter = 0;
                s.decoderState = 6;
            }
            break;
        case 6:
        case 7:
        case 8:
            if (b == kTail[s.decoderState - 6])
                ++s.decoderState;
            else
                reset();
            break;
        case 9:
            if (b == kTail[3]) {
                s.ready = true;
                s.errorCode = 0;
            }
            reset();
            break;
        default:
            reset();
            break;
    }
}

bool ZVSZDecoder::replyReady() const { return state_->ready; }

bool ZVSZDecoder::unpack() {
    State &s = *state_;
    if (!s.ready) return false;
    s.ready = false;
    if (s.length < 4) {
        // Too short for the reply code, the two bytes and the status: there
        // is no payload whose length could be taken as length - 4.
        s.malformed = true;
        s.replyCode = s.status = 0;
        s.further[0] = s.further[1] = 0;
        s.payloadLength = 0;
        return true;
    }
    s.malformed = false;
    s.replyCode = s.body[0];
    s.further[0] = s.body[1];
    s.further[1] = s.body[2];
    s.status = s.body[3];
    s.payloadLength = s.length - 4;
    std::memmove(s.body.data(), s.body.data() + 4, s.payloadLength);
    std::memset(s.body.data() + s.payloadLength, 0, 4);
    return true;
}

namespace {

// Reads the reply's fields in order from the payload; a field that would run
// past the payload stops the reading.
class FieldReader {
  public:
    FieldReader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    bool byte(std::string &out) {
        if (at_ >= n_) return false;
        out = std::to_string(p_[at_++]);
        return true;
    }
    bool text(std::string &out) {
        const void *zero = at_ < n_ ? std::memchr(p_ + at_, 0, n_ - at_) : nullptr;
        if (zero == nullptr) return false;
        const size_t end = static_cast<size_t>(static_cast<const uint8_t *>(zero) - p_);
        out.assign(reinterpret_cast<const char *>(p_ + at_), end - at_);
        at_ = end + 1;
        return true;
    }
    size_t consumed() const { return at_; }

  private:
    const uint8_t *p_;
    size_t n_;
    size_t at_ = 0;
};

}  // namespace

uint32_t ZVSZDecoder::interpret() {
    State &s = *state_;
    s.json.clear();
    if (s.malformed) return kReplyRefused;
    enum Field { Byte, Text };
    static const std::vector<std::pair<const char *, Field>> kInfo = {
        {"code", Byte}, {"msg", Text}, {"printerModel", Text}, {"sn", Text}, {"isSetWiFi", Byte},
        {"ssid", Text}, {"ip", Text}};
    static const std::vector<std::pair<const char *, Field>> kWifi = {{"code", Byte}, {"msg", Text}, {"ip", Text}};
    const std::vector<std::pair<const char *, Field>> *fields = nullptr;
    if (s.replyCode == 2)
        fields = &kInfo;
    else if (s.replyCode == 4)
        fields = &kWifi;
    else
        return kReplyUnknown;
    if (s.status != 1) return kReplyRefused;
    try {
        FieldReader reader(s.body.data(), s.payloadLength);
        std::unique_ptr<cJSON, JsonDeleter> object(cJSON_CreateObject());
        if (!object) return kReplyRefused;
        for (const auto &field : *fields) {
            std::string value;
            // A field cut off by the end of the payload: the reply is
            // malformed and says nothing.
            if (!(field.second == Byte ? reader.byte(value) : reader.text(value))) return kReplyRefused;
            if (cJSON_AddStringToObject(object.get(), field.first, value.c_str()) == nullptr) return kReplyRefused;
        }
        char *text = cJSON_Print(object.get());
        if (text == nullptr) return kReplyRefused;
        s.json = text;
        cJSON_free(text);
        return reader.consumed() == s.payloadLength ? kReplyUnderstood : kReplyRefused;
    } catch (const std::bad_alloc &) {
        s.json.clear();
        return kReplyRefused;
    }
}

ZVSZReceivePack ZVSZDecoder::receive(uint8_t byte) {
    feed(byte);
    uint32_t result = kReplyNothing;
    if (replyReady() && unpack()) result = interpret();
    ZVSZReceivePack pack{};
    pack.resultCode = result;
    pack.failed = result <= kReplyUnderstood ? 0 : 1;
    pack.replyCode = static_cast<uint8_t>(state_->replyCode);
    const std::string &text = result == kReplyUnderstood && !state_->json.empty() ? state_->json : "{}";
    pack.json = static_cast<char *>(std::malloc(text.size() + 1));
    if (pack.json != nullptr) std::memcpy(pack.json, text.c_str(), text.size() + 1);
    return pack;
}

uint8_t ZVSZDecoder::lastError() const { return state_->errorCode; }
uint8_t ZVSZDecoder::takeError() {
    const uint8_t error = state_->errorCode;
    state_->errorCode = 0;
    return error;
}
bool ZVSZDecoder::inFrame() const { return state_->decoderState != 0; }
uint8_t ZVSZDecoder::replyCode() const { return static_cast<uint8_t>(state_->replyCode); }
uint8_t ZVSZDecoder::status() const { return state_->status; }
uint32_t ZVSZDecoder::payloadLength() const { return state_->payloadLength; }
const std::string &ZVSZDecoder::json() const { return state_->json; }

ZVSZDecoder &processZVSZDecoder() {
    static ZVSZDecoder decoder;
    return decoder;
}

void ZVSZ_DecodeReset() { processZVSZDecoder().reset(); }
void ZVSZ_Packet_Decode(uint8_t byte) { processZVSZDecoder().feed(byte); }
int ZVSZ_AckToAppProcess() { return processZVSZDecoder().unpack() ? 1 : 0; }
uint32_t ZVSZ_AnalysisPack() { return processZVSZDecoder().interpret(); }
const char *getZVSZJson() { return processZVSZDecoder().json().c_str(); }
ZVSZReceivePack getZVSZJsonString(uint8_t byte) { return processZVSZDecoder().receive(byte); }
void freeZVSZReceivePack(ZVSZReceivePack pack) { std::free(pack.json); }
