#include "protocol/replies.h"

#include <cjson/cJSON.h>

#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "protocol/aes.h"
#include "protocol/packet.h"
#include "protocol/protocol_state.h"

struct ReplyDecoder::State {
    uint32_t decoderState = 0;
    uint32_t encryptType = 0;
    uint16_t bodyLength = 0;
    uint32_t receivedCrc = 0;
    uint32_t computedCrc = 0;
    uint8_t group = 0;
    uint8_t command = 0;
    uint8_t headByte = 0;
    uint16_t payloadLength = 0;
    std::array<uint8_t, kReplyMaxBody> body{};
    // After unpacking the payload stands at the front of the body; a reply
    // whose command head does not fit what arrived is marked malformed.
    bool malformed = false;
    std::string json;
    uint16_t counter = 0;
    uint8_t errorCode = 0;
    bool ready = false;
};

namespace {

// The start state is taken from the ODM printer type when the first byte of a
// frame arrives, so a decoder made before the type was set still frames right.
constexpr uint32_t kAtStart = 100;

uint32_t startState() { return hasShortHeadODMType() ? 2 : 0; }

// cJSON objects released when they go out of scope.
struct JsonDeleter {
    void operator()(cJSON *item) const { cJSON_Delete(item); }
};
using JsonPtr = std::unique_ptr<cJSON, JsonDeleter>;

struct JsonTextDeleter {
    void operator()(char *text) const { cJSON_free(text); }
};

// Adds or replaces a string value: a hostile reply may repeat a tag, and the
// last one wins instead of the object carrying the key twice.
bool putString(cJSON *object, const char *key, const std::string &value) {
    cJSON *item = cJSON_CreateString(value.c_str());
    if (item == nullptr) return false;
    if (cJSON_GetObjectItemCaseSensitive(object, key) != nullptr)
        return cJSON_ReplaceItemInObjectCaseSensitive(object, key, item) != 0;
    return cJSON_AddItemToObject(object, key, item) != 0;
}

bool printInto(const cJSON *object, std::string &out) {
    std::unique_ptr<char, JsonTextDeleter> text(cJSON_Print(object));
    if (!text) return false;
    out = text.get();
    return true;
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...) {
    char buffer[128];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (n < 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

// Little-endian integer of up to eight bytes; bytes past the eighth would be
// shifted out of any integer the texts are printed from, so they are left out.
uint64_t littleEndian(const uint8_t *bytes, size_t count) {
    uint64_t value = 0;
    for (size_t i = 0; i < count && i < 8; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return value;
}

uint32_t u16At(const uint8_t *bytes) { return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8; }

// The bytes as a text, up to the first zero byte.
std::string textOf(const uint8_t *bytes, size_t count) {
    const void *zero = std::memchr(bytes, 0, count);
    const size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t *>(zero) - bytes) : count;
    return std::string(reinterpret_cast<const char *>(bytes), length);
}

// ---- tag-length-value replies ------------------------------------------

enum class TlvForm { Integer, Text, Centi, Deci, Ip, Mac, Port, FirstByte, InkVolumes, Hex8, InkType };

struct TlvKey {
    uint8_t tag;
    const char *key;
    TlvForm form;
};

struct TlvTable {
    uint8_t group;
    uint8_t command;
    const TlvKey *keys;
    size_t count;
};

constexpr TlvKey kProduct[] = {{1, "devProdType", TlvForm::Integer},
                               {2, "supportPaperSize", TlvForm::Integer},
                               {3, "dpi", TlvForm::Integer},
                               {4, "widthMaxDot", TlvForm::Integer}};
constexpr TlvKey kHardware[] = {{1, "hwVer", TlvForm::Text},
                                {2, "mcuChip", TlvForm::Text},
                                {3, "powerMode", TlvForm::Integer},
                                {4, "powerVoltage", TlvForm::Integer}};
constexpr TlvKey kBattery[] = {
    {1, "batteryVoltage", TlvForm::Centi}, {2, "batteryPercent", TlvForm::Deci}, {3, "batteryState", TlvForm::Integer}};
constexpr TlvKey kState[] = {{1, "printStatus", TlvForm::Integer}, {2, "batteryPowerStatus", TlvForm::Integer}};
constexpr TlvKey kBuffer[] = {{1, "devBuff", TlvForm::Integer}, {2, "printStatus", TlvForm::Integer}};
constexpr TlvKey kWifiConfig[] = {{1, "ssid", TlvForm::Text}, {2, "pwd", TlvForm::Text}};
constexpr TlvKey kWifiInfo[] = {{1, "ip", TlvForm::Ip},      {2, "mac", TlvForm::Mac},
                                {3, "netmask", TlvForm::Ip}, {4, "gateway", TlvForm::Ip},
                                {5, "port", TlvForm::Port},  {6, "DHCP", TlvForm::FirstByte}};
constexpr TlvKey kBle[] = {{1, "bleConnectState", TlvForm::Integer}, {2, "bleCommunicationEnable", TlvForm::Integer}};
constexpr TlvKey kTph[] = {{1, "tphFactory", TlvForm::Integer}, {2, "tphModel", TlvForm::Text}};
constexpr TlvKey kCanvas[] = {{1, "yCurrentOffset", TlvForm::Integer}, {2, "yMaxOffset", TlvForm::Integer},
                              {3, "yMinOffset", TlvForm::Integer},     {4, "xCurrentOffset", TlvForm::Integer},
                              {5, "xMaxOffset", TlvForm::Integer},     {6, "xMinOffset", TlvForm::Integer}};
constexpr TlvKey kNfc[] = {
    {1, "NFCStatus", TlvForm::Integer}, {2, "NFCCode", TlvForm::Text}, {3, "NFCMileage", TlvForm::Integer}};
constexpr TlvKey kInk[] = {{1, "inkCartridgeType", TlvForm::InkType},
                           {2, "inkCartridgeVolume", TlvForm::InkVolumes},
                           {3, "inkCartridgeTemp", TlvForm::Integer},
                           {4, "inkCartridgeID", TlvForm::Hex8},
                           {5, "inkCartridgeASD", TlvForm::Hex8}};

#define ZV_TABLE(g, c, keys) \
    { g, c, keys, sizeof keys / sizeof keys[0] }
constexpr TlvTable kTlvTables[] = {
    ZV_TABLE(1, 4, kProduct),  ZV_TABLE(1, 10, kHardware), ZV_TABLE(1, 14, kBattery), ZV_TABLE(1, 15, kBattery),
    ZV_TABLE(1, 18, kState),   ZV_TABLE(1, 19, kState),    ZV_TABLE(1, 31, kBuffer),  ZV_TABLE(3, 6, kWifiConfig),
    ZV_TABLE(3, 7, kWifiInfo), ZV_TABLE(4, 13, kBle),      ZV_TABLE(5, 15, kTph),     ZV_TABLE(5, 38, kCanvas),
    ZV_TABLE(7, 1, kNfc),      ZV_TABLE(7, 2, kNfc),       ZV_TABLE(9, 1, kInk),      ZV_TABLE(9, 2, kInk),
};
#undef ZV_TABLE

const TlvTable *tlvTableFor(uint8_t group, uint8_t command) {
    for (const TlvTable &table : kTlvTables)
        if (table.group == group && table.command == command) return &table;
    return nullptr;
}

// One item's value into the object. False for a value too short for the
// bytes its form reads: the reply is malformed.
bool putTlvValue(cJSON *object, const TlvKey &key, const uint8_t *value, size_t length) {
    // Integers are read from at most four bytes, as the printer's 32-bit
    // fields are, and written unsigned: a count or voltage is never negative.
    const auto integer = static_cast<uint32_t>(littleEndian(value, length < 4 ? length : 4));
    switch (key.form) {
        case TlvForm::Integer:
            return putString(object, key.key, format("%u", integer));
        case TlvForm::Text:
            return putString(object, key.key, textOf(value, length));
        case TlvForm::Centi:
            return putString(object, key.key, format("%.2f", integer / 100.0));
        case TlvForm::Deci:
            return putString(object, key.key, format("%0.1lf", integer / 10.0));
        case TlvForm::Ip:
            if (length < 4) return false;
            return putString(object, key.key, format("%d.%d.%d.%d", value[0], value[1], value[2], value[3]));
        case TlvForm::Mac:
            if (length < 6) return false;
            return putString(object, key.key,
                             format("%x:%x:%x:%x:%x:%x", value[0], value[1], value[2], value[3], value[4], value[5]));
        case TlvForm::Port:
            if (length < 2) return false;
            return putString(object, key.key, format("%u", u16At(value)));
        case TlvForm::FirstByte:
            if (length < 1) return false;
            return putString(object, key.key, format("%u", value[0]));
        case TlvForm::InkVolumes:
            return putString(object, "inkCartridgeVolumeK", format("%u", (integer >> 24) & 0xFF)) &&
                   putString(object, "inkCartridgeVolumeC", format("%u", (integer >> 16) & 0xFF)) &&
                   putString(object, "inkCartridgeVolumeM", format("%u", (integer >> 8) & 0xFF)) &&
                   putString(object, "inkCartridgeVolumeY", format("%u", integer & 0xFF));
        case TlvForm::Hex8:
            return putString(object, key.key, format("%08X", integer));
        case TlvForm::InkType:
            // The cartridge decides how wide the printer prints.
            if (integer == 1 || integer == 2) {
                if (isN10())
                    setMaxWidthDot_l(integer == 1 ? 5103 : 5067);
                else
                    setMaxWidthDot_l(1140);
            }
            return putString(object, key.key, format("%u", integer));
    }
    return false;
}

// Result 1 with the object in `out`, or 2 and `out` empty.
uint32_t interpretTlv(uint8_t group, uint8_t command, const uint8_t *payload, size_t length, std::string &out) {
    out.clear();
    const TlvTable *table = tlvTableFor(group, command);
    JsonPtr object(cJSON_CreateObject());
    if (!object) return kReplyRefused;
    size_t at = 0;
    while (at < length) {
        if (length - at < 3) return kReplyRefused;
        const uint8_t tag = payload[at];
        const size_t valueLength = u16At(payload + at + 1);
        at += 3;
        if (valueLength > length - at) return kReplyRefused;
        const uint8_t *value = payload + at;
        at += valueLength;
        if (table == nullptr) continue;
        for (size_t k = 0; k < table->count; ++k) {
            if (table->keys[k].tag != tag) continue;
            if (!putTlvValue(object.get(), table->keys[k], value, valueLength)) return kReplyRefused;
            break;
        }
    }
    if (!printInto(object.get(), out)) {
        out.clear();
        return kReplyRefused;
    }
    return kReplyUnderstood;
}

// ---- the other reply forms ---------------------------------------------

enum class Form {
    None,           // understood, nothing to say
    Text,           // payload as a text under the key
    Number,         // low-8-bits-of-length bytes as a little-endian integer
    Tenths,         // the same divided by 10, one decimal
    Tlv,            // tag-length-value items
    Copy,           // the payload itself is the output
    SystemJson,     // the payload is a JSON object
    Special,        // a reply with its own byte layout
    Download,       // file-download progress
    ResultNothing,  // result 0
    ResultUnknown,  // result 3
};

struct ReplyKind {
    uint8_t group;
    uint8_t command;
    uint8_t head;  // expected head byte; 0 accepts any
    Form form;
    const char *key;
};

constexpr ReplyKind kKinds[] = {
    {1, 3, 0x21, Form::SystemJson, nullptr},
    {1, 4, 0x21, Form::Tlv, nullptr},
    {1, 10, 0x21, Form::Tlv, nullptr},
    {1, 14, 0x21, Form::Tlv, nullptr},
    {1, 19, 0x21, Form::Tlv, nullptr},
    {1, 15, 0x10, Form::Tlv, nullptr},
    {1, 18, 0x10, Form::Tlv, nullptr},
    {1, 31, 0x10, Form::Tlv, nullptr},
    {1, 5, 0x21, Form::Copy, nullptr},
    {1, 6, 0x21, Form::Text, "sn"},
    {1, 8, 0x21, Form::Text, "devName"},
    {1, 11, 0x21, Form::Text, "firmware"},
    {1, 12, 0x21, Form::Number, "devAutoPowerOffTime"},
    {1, 16, 0x21, Form::Tenths, "devTemp"},
    {1, 17, 0x10, Form::Tenths, "devTemp"},
    {1, 35, 0x21, Form::Text, "otaPath"},
    {1, 80, 0x21, Form::Number, "setBtnEnableState"},
    {1, 81, 0x21, Form::Special, nullptr},
    {1, 82, 0x21, Form::Number, "setBtnState"},
    {1, 83, 0x21, Form::Special, nullptr},
    {1, 7, 0x21, Form::None, nullptr},
    {1, 9, 0x21, Form::None, nullptr},
    {1, 13, 0x21, Form::None, nullptr},
    {1, 20, 0x21, Form::None, nullptr},
    {1, 21, 0x21, Form::None, nullptr},
    {1, 22, 0x21, Form::None, nullptr},
    {1, 24, 0x21, Form::None, nullptr},
    {1, 25, 0x21, Form::None, nullptr},
    {1, 30, 0x21, Form::None, nullptr},
    {2, 1, 0x21, Form::Download, nullptr},
    {2, 2, 0x21, Form::Download, nullptr},
    {2, 3, 0x21, Form::Download, nullptr},
    {3, 6, 0x21, Form::Tlv, nullptr},
    {3, 7, 0x21, Form::Tlv, nullptr},
    {3, 8, 0x10, Form::Number, "wifiWillDisconnect"},
    {4, 1, 0x21, Form::Text, "btName"},
    {4, 3, 0x21, Form::Text, "btMac"},
    {4, 5, 0x21, Form::Text, "btPinCode"},
    {4, 7, 0x21, Form::Number, "btUartBaudRate"},
    {4, 9, 0x21, Form::Text, "btVer"},
    {4, 12, 0x10, Form::Number, "bluetoothWillDisconnect"},
    {4, 13, 0x21, Form::Tlv, nullptr},
    {4, 14, 0x21, Form::Number, "setWiFiConfig"},
    {4, 2, 0x21, Form::None, nullptr},
    {4, 4, 0x21, Form::None, nullptr},
    {4, 6, 0x21, Form::None, nullptr},
    {4, 8, 0x21, Form::None, nullptr},
    {4, 10, 0x21, Form::None, nullptr},
    {4, 11, 0x21, Form::None, nullptr},
    {5, 1, 0x21, Form::Special, nullptr},
    {5, 3, 0x21, Form::Special, nullptr},
    {5, 6, 0x21, Form::Number, "printSpeed"},
    {5, 15, 0x21, Form::Tlv, nullptr},
    {5, 38, 0x21, Form::Tlv, nullptr},
    {5, 16, 0x21, Form::Special, nullptr},
    {5, 18, 0x21, Form::Special, nullptr},
    {5, 20, 0x21, Form::Special, nullptr},
    {5, 21, 0x21, Form::Special, nullptr},
    {5, 23, 0x21, Form::Tenths, "printMileage"},
    {5, 28, 0x21, Form::Tenths, "fallbackLength"},
    {5, 29, 0x10, Form::Number, "paperType"},
    {5, 30, 0x21, Form::Number, "ADValue"},
    {5, 31, 0x10, Form::Number, "printTaskState"},
    {5, 32, 0x21, Form::Number, "printerBusyState"},
    {5, 36, 0x21, Form::Number, "getManualCuttingAlert"},
    {5, 37, 0x21, Form::Number, "setManualCuttingAlert"},
    {5, 39, 0x21, Form::Number, "setCanvasShift"},
    {5, 40, 0x21, Form::Number, "printModel"},
    {5, 41, 0x21, Form::Number, "setPrintMode"},
    {5, 4, 0x21, Form::None, nullptr},
    {5, 7, 0x21, Form::None, nullptr},
    {5, 8, 0x21, Form::None, nullptr},
    {5, 9, 0x21, Form::None, nullptr},
    {5, 10, 0x21, Form::None, nullptr},
    {5, 17, 0x21, Form::None, nullptr},
    {5, 19, 0x21, Form::None, nullptr},
    {5, 24, 0x21, Form::None, nullptr},
    {5, 25, 0x21, Form::None, nullptr},
    {5, 26, 0x21, Form::None, nullptr},
    {5, 27, 0x21, Form::None, nullptr},
    {5, 35, 0x21, Form::None, nullptr},
    {5, 42, 0x21, Form::None, nullptr},
    {5, 11, 0x21, Form::ResultNothing, nullptr},
    {5, 12, 0x21, Form::ResultNothing, nullptr},
    {5, 14, 0x21, Form::ResultNothing, nullptr},
    {5, 2, 0x21, Form::ResultUnknown, nullptr},
    {5, 22, 0x21, Form::ResultUnknown, nullptr},
    {5, 13, 0, Form::ResultNothing, nullptr},
    {7, 1, 0x10, Form::Tlv, nullptr},
    {7, 2, 0x21, Form::Tlv, nullptr},
    {9, 1, 0x21, Form::Tlv, nullptr},
    {9, 2, 0x21, Form::Tlv, nullptr},
    {9, 3, 0x21, Form::Number, "inkCartridgeSetClean"},
};

const ReplyKind *kindFor(uint8_t group, uint8_t command) {
    for (const ReplyKind &kind : kKinds)
        if (kind.group == group && kind.command == command) return &kind;
    return nullptr;
}

// An object of string values built from (key, value) pairs.
uint32_t objectOf(std::initializer_list<std::pair<const char *, std::string>> items, std::string &out) {
    JsonPtr object(cJSON_CreateObject());
    if (!object) return kReplyRefused;
    for (const auto &item : items)
        if (!putString(object.get(), item.first, item.second)) return kReplyRefused;
    if (!printInto(object.get(), out)) {
        out.clear();
        return kReplyRefused;
    }
    return kReplyUnderstood;
}

std::string byteText(uint8_t value) { return format("%u", value); }
std::string flagText(uint8_t value) { return value != 0 ? "1" : "0"; }

// Replies with their own byte layout. Each reads a fixed number of payload
// bytes; a shorter payload is a malformed reply.
uint32_t interpretSpecial(uint8_t group, uint8_t command, const uint8_t *p, size_t n, std::string &out) {
    struct Need {
        uint8_t group, command;
        size_t bytes;
    };
    constexpr Need kNeeds[] = {{1, 81, 4}, {1, 83, 2}, {5, 1, 6},  {5, 3, 2},
                               {5, 16, 3}, {5, 18, 5}, {5, 20, 3}, {5, 21, 3}};
    for (const Need &need : kNeeds)
        if (need.group == group && need.command == command && n < need.bytes) return kReplyRefused;

    if (group == 1 && command == 81)
        return objectOf({{"btn", byteText(p[0])},
                         {"btnState", byteText(p[1])},
                         {"longClick", byteText(p[2])},
                         {"shortClick", byteText(p[3])}},
                        out);
    if (group == 1 && command == 83)
        return objectOf({{"btnState", byteText(p[0])}, {"btnFunction", byteText(p[1])}}, out);
    if (group == 5 && command == 1)
        return objectOf({{"supportColourful", flagText(p[0])},
                         {"colorR", byteText(p[1])},
                         {"colorG", byteText(p[2])},
                         {"colorB", byteText(p[3])},
                         {"supportGray", flagText(p[4])},
                         {"colorGray", byteText(p[5])}},
                        out);
    if (group == 5 && command == 3)
        return objectOf({{"coarseDarkness", byteText(p[0])}, {"fineDarkness", byteText(p[1])}}, out);
    if (group == 5 && command == 16) {
        const uint32_t length = u16At(p + 1);
        return objectOf({{"paperType", byteText(p[0])}, {"paperLength", format("%u.%u", length / 10, length % 10)}},
                        out);
    }
    if (group == 5 && command == 18)
        return objectOf({{"paperLearnState", byteText(p[0])},
                         {"paperType", byteText(p[1])},
                         {"paperHaveCarbonRibbon", byteText(p[2])},
                         {"paperHeight", format("%0.1lf", u16At(p + 3) / 10.0)}},
                        out);
    if (group == 5 && command == 20)
        return objectOf({{"correlationLackPaper", byteText(p[0])},
                         {"reflexLackPaper", byteText(p[1])},
                         {"FrontOptocouplerLackPaper", byteText(p[2])}},
                        out);
    if (group == 5 && command == 21)
        return objectOf({{"badSpotDetection", byteText(p[0])}, {"badSpotNumber", format("%u", u16At(p + 1))}}, out);
    return kReplyUnknown;
}

// The system information reply: a JSON object from the printer, passed on
// with the application's own key names added when its four items are there.
uint32_t interpretSystemJson(const uint8_t *p, size_t n, std::string &out) {
    JsonPtr object(cJSON_ParseWithLength(reinterpret_cast<const char *>(p), n));
    auto item = [&](const char *name) -> std::string {
        const char *text = cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(object.get(), name));
        return text ? text : "";
    };
    if (object && cJSON_IsObject(object.get())) {
        const std::string devName = item("DevName"), firmware = item("Firmware"), hwVer = item("HWVer"),
                          sn = item("SN");
        if (!devName.empty() && !firmware.empty() && !hwVer.empty() && !sn.empty()) {
            std::string manufacturer = item("Manufacturer");
            if (manufacturer.empty()) manufacturer = getODMPrinterType() == 28 ? "Zorvan" : "";
            if (putString(object.get(), "devName", devName) && putString(object.get(), "firmware", firmware) &&
                putString(object.get(), "hwVer", hwVer) && putString(object.get(), "sn", sn) &&
                putString(object.get(), "manufacturer", manufacturer) && printInto(object.get(), out))
                return kReplyUnderstood;
            out.clear();
            return kReplyRefused;
        }
    }
    out = textOf(p, n);
    return kReplyUnderstood;
}

uint32_t interpretDownload(uint8_t command, uint8_t head, const uint8_t *p, size_t n, std::string &out) {
    uint32_t state = 6;
    std::string progress = "0.000";
    uint32_t result = kReplyRefused;
    if (command == 1) {
        if (head == kReplyHeadOrdinary) {
            if (n < 2) return kReplyRefused;
            state = u16At(p);
            if (state == 2)
                state = 4;
            else if (state == 3)
                state = 5;
            result = (state == 1 || state == 4 || state == 5) ? kReplyUnderstood : kReplyRefused;
        }
    } else if (command == 2) {
        progress = "1.000";
        if (head == kReplyHeadOrdinary) {
            state = 3;
            result = kReplyUnderstood;
        }
    } else {
        // A transfer whose total is not known yet reports no progress instead
        // of a division by zero.
        const uint32_t total = getFileTransferTotalLength();
        const double done = static_cast<double>(getFileTransferCurrentLength()) +
                            static_cast<double>(getFileTransferCurrentSendLength());
        progress = format("%.3f", total == 0 ? 0.0 : done / total);
        if (head == kReplyHeadOrdinary) {
            if (n < 2) return kReplyRefused;
            state = u16At(p);
            if (state == 1)
                state = 2;
            else if (state == 2 || state == 3)
                state = 6;
            result = (state == 2 || state == 6) ? kReplyUnderstood : kReplyRefused;
        }
    }
    const uint32_t built = objectOf({{"downFileState", format("%u", state)}, {"downFileProgress", progress}}, out);
    return built == kReplyUnderstood ? result : built;
}

std::string gConnectedDeviceName;

bool nameStartsWith(const char *prefix) {
    const size_t length = std::strlen(prefix);
    if (gConnectedDeviceName.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(gConnectedDeviceName[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

char *duplicate(const std::string &text) {
    auto *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

// ---- ReplyDecoder ------------------------------------------------------

ReplyDecoder::ReplyDecoder() : state_(std::make_unique<State>()) { state_->decoderState = kAtStart; }

ReplyDecoder::~ReplyDecoder() = default;

void ReplyDecoder::reset() {
    state_->decoderState = kAtStart;
    state_->counter = 0;
}

void ReplyDecoder::feed(uint8_t b) {
    State &s = *state_;
    if (s.decoderState == kAtStart) s.decoderState = startState();
    switch (s.decoderState) {
        case 0:
            if (b == 0xA3) s.decoderState = 1;
            break;
        case 1:
            if (b == 0x1E)
                s.decoderState = 2;
            else
                reset();
            break;
        case 2:
            if (b == static_cast<uint8_t>(getODMPrinterType()))
                s.decoderState = 3;
            else
                reset();
            break;
        case 3:
            s.encryptType = b >> 4;
            s.counter = 0;
            s.decoderState = 4;
            break;
        case 4:
            if (s.counter == 0) {
                s.bodyLength = b;
                s.counter = 1;
                break;
            }
            s.bodyLength = static_cast<uint16_t>(s.bodyLength + b * 256);
            s.counter = 0;
            if (s.bodyLength > kReplyMaxBody) {
                s.errorCode = kReceiveBodyTooLong;
                reset();
            } else if (s.bodyLength == 0) {
                // Nothing to checksum: the CRC of no bytes is the seed itself.
                s.computedCrc = packetCrcSeed();
                s.receivedCrc = 0;
                s.decoderState = 6;
            } else {
                s.body.fill(0);
                s.decoderState = 5;
            }
            break;
        case 5:
            s.body[s.counter++] = b;
            if (s.counter >= s.bodyLength) {
                s.computedCrc = HAL_ZV_crc32(packetCrcSeed(), s.body.data(), s.bodyLength);
                s.receivedCrc = 0;
                s.counter = 0;
                s.decoderState = 6;
            }
            break;
        case 6:
            s.receivedCrc |= static_cast<uint32_t>(b) << (8 * s.counter);
            if (++s.counter == 4) {
                if (s.receivedCrc == s.computedCrc) {
                    s.ready = true;
                    s.errorCode = kReceiveNoError;
                } else {
                    s.errorCode = kReceiveCrcMismatch;
                }
                reset();
            }
            break;
        default:
            reset();
            break;
    }
}

bool ReplyDecoder::replyReady() const { return state_->ready; }

bool ReplyDecoder::unpack() {
    State &s = *state_;
    if (!s.ready) return false;
    if (s.encryptType == 2) {
        uint8_t key[16];
        uint8_t iv[16];
        getAES128Key(key);
        getAES128IV(iv);
        AES_Init(key);
        AES_Decrypt(s.body.data(), s.body.data(), s.bodyLength, iv);
    }
    s.malformed = false;
    if (s.bodyLength < 5) {
        // Too short for a command head: whatever the body holds is no reply.
        s.headByte = s.group = s.command = 0;
        s.payloadLength = 0;
        s.malformed = true;
    } else {
        s.headByte = s.body[0];
        s.group = s.body[1];
        s.command = s.body[2];
        s.payloadLength = static_cast<uint16_t>(s.body[3] | s.body[4] << 8);
        if (static_cast<uint32_t>(s.payloadLength) + 5 <= s.bodyLength) {
            std::memmove(s.body.data(), s.body.data() + 5, s.payloadLength);
            std::memset(s.body.data() + s.payloadLength, 0, 5);
        } else {
            // A payload length beyond the body that arrived: reading it would
            // run past the reply.
            s.malformed = true;
            s.payloadLength = 0;
        }
    }
    s.ready = false;
    return true;
}

uint32_t ReplyDecoder::interpret() {
    State &s = *state_;
    s.json.clear();
    try {
        if (s.malformed) return kReplyRefused;
        const ReplyKind *kind = kindFor(s.group, s.command);
        if (kind == nullptr) return kReplyUnknown;
        const uint8_t *p = s.body.data();
        const size_t n = s.payloadLength;
        if (kind->form == Form::Download) return interpretDownload(s.command, s.headByte, p, n, s.json);
        if (kind->head != 0 && s.headByte != kind->head) return kReplyRefused;
        switch (kind->form) {
            case Form::None:
                return kReplyUnderstood;
            case Form::ResultNothing:
                return kReplyNothing;
            case Form::ResultUnknown:
                return kReplyUnknown;
            case Form::Text:
                return objectOf({{kind->key, textOf(p, n)}}, s.json);
            case Form::Number:
                return objectOf(
                    {{kind->key, format("%llu", static_cast<unsigned long long>(littleEndian(p, n & 0xFF)))}}, s.json);
            case Form::Tenths:
                return objectOf({{kind->key, format("%0.1lf", static_cast<double>(littleEndian(p, n & 0xFF)) / 10)}},
                                s.json);
            case Form::Tlv:
                return interpretTlv(s.group, s.command, p, n, s.json);
            case Form::Copy:
                s.json = textOf(p, n);
                return kReplyUnderstood;
            case Form::SystemJson:
                return interpretSystemJson(p, n, s.json);
            case Form::Special:
                return interpretSpecial(s.group, s.command, p, n, s.json);
            case Form::Download:
                break;
        }
        return kReplyUnknown;
    } catch (const std::bad_alloc &) {
        s.json.clear();
        return kReplyRefused;
    }
}

uint32_t ReplyDecoder::interpretItems(const uint8_t *payload, uint32_t length) {
    State &s = *state_;
    s.json.clear();
    if (payload == nullptr && length > 0) return kReplyRefused;
    try {
        return interpretTlv(s.group, s.command, payload, length, s.json);
    } catch (const std::bad_alloc &) {
        s.json.clear();
        return kReplyRefused;
    }
}

ReceivePack ReplyDecoder::receive(uint8_t byte) {
    feed(byte);
    uint32_t result = kReplyNothing;
    if (replyReady() && unpack()) result = interpret();
    ReceivePack pack{};
    pack.resultCode = result;
    pack.headByte = state_->headByte;
    pack.group = state_->group;
    pack.command = state_->command;
    pack.failed = result <= kReplyUnderstood ? 0 : 1;
    const bool withText =
        !state_->json.empty() && (result == kReplyUnderstood || (result == kReplyRefused && state_->group == 2));
    pack.json = duplicate(withText ? state_->json : std::string("{}"));
    return pack;
}

uint8_t ReplyDecoder::lastError() const { return state_->errorCode; }

uint8_t ReplyDecoder::takeError() {
    const uint8_t error = state_->errorCode;
    state_->errorCode = kReceiveNoError;
    return error;
}

bool ReplyDecoder::inFrame() const { return state_->decoderState != kAtStart && state_->decoderState != startState(); }

uint8_t ReplyDecoder::headByte() const { return state_->headByte; }
uint8_t ReplyDecoder::group() const { return state_->group; }
uint8_t ReplyDecoder::command() const { return state_->command; }
const uint8_t *ReplyDecoder::payload() const { return state_->body.data(); }
uint32_t ReplyDecoder::payloadLength() const { return state_->payloadLength; }
const std::string &ReplyDecoder::json() const { return state_->json; }

// ---- the process-wide decoder ------------------------------------------

ReplyDecoder &processReplyDecoder() {
    static ReplyDecoder decoder;
    return decoder;
}

void HAL_ZV_Packet_Decode(uint8_t byte) { processReplyDecoder().feed(byte); }

void HAL_ZVDecodeReset() { processReplyDecoder().reset(); }

int HAL_ZV_AckToAPP_Process() { return processReplyDecoder().unpack() ? 1 : 0; }

uint32_t analysisPack() { return processReplyDecoder().interpret(); }

int analysisDatas(const uint8_t *payload, uint32_t length) {
    return static_cast<int>(processReplyDecoder().interpretItems(payload, length));
}

const char *getReplyJson() { return processReplyDecoder().json().c_str(); }

uint8_t getReplyDecodeError() { return processReplyDecoder().lastError(); }

ReceivePack getJsonString(uint8_t byte) { return processReplyDecoder().receive(byte); }

void freeReceivePack(ReceivePack pack) { std::free(pack.json); }

// ---- status texts ------------------------------------------------------

namespace {

struct StatusText {
    const char *chinese;
    const char *english;
};

constexpr StatusText kStatusTexts[] = {
    {"开盖;", "Lid Opened;"},
    {"缺纸;", "Lack Paper;"},
    {"卡纸;", "Paper Jammed;"},
    {"过温;", "Over Heated;"},
    {"无打印机片头;", "No Printer Header;"},
    {"电压过高;", "High Voltage;"},
    {"电压过低;", "Low Voltage;"},
    {"打印中;", "Printing;"},
    {"切刀错误;", "Cutter Error;"},
    {"字库存储器异常;", "Font Memory Error;"},
    {"PSRAM 异常;", "Psram Error;"},
    {"未缺纸学习;", "No Lack Paper Learn;"},
    {"即将关机;", "Will Shut Down;"},
    {"关机中;", "Shutting Down;"},
};

}  // namespace

std::string printerStatusText(uint32_t status, bool english) {
    std::string text;
    for (size_t bit = 0; bit < sizeof kStatusTexts / sizeof kStatusTexts[0]; ++bit)
        if (status & (1u << bit)) text += english ? kStatusTexts[bit].english : kStatusTexts[bit].chinese;
    return text;
}

void PrinterStatusFill(uint32_t status, char *chinese, char *english) {
    for (size_t bit = 0; bit < sizeof kStatusTexts / sizeof kStatusTexts[0]; ++bit) {
        if (!(status & (1u << bit))) continue;
        if (chinese != nullptr) std::strcat(chinese, kStatusTexts[bit].chinese);
        if (english != nullptr) std::strcat(english, kStatusTexts[bit].english);
    }
}

// ---- model families ----------------------------------------------------

void setConnectedDeviceName(const char *name) { gConnectedDeviceName = name != nullptr ? name : ""; }

bool isN10() { return nameStartsWith("N10"); }
bool isN20() { return nameStartsWith("N20"); }
bool isN30() { return nameStartsWith("N30"); }
bool isInkjetPrinter() { return isN10() || isN20() || isN30(); }
