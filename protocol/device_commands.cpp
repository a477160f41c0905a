#include "protocol/device_commands.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "core/lenient_number.h"
#include "protocol/protocol_state.h"
#include "protocol/setting_packets.h"

namespace {

SendPack command(uint8_t group, uint8_t code, const uint8_t *payload = nullptr, size_t length = 0) {
    // The payload length travels in 16 bits together with the 5 command-head
    // bytes; anything longer cannot be framed.
    if (length > 0xFFFF - 5) return zvGetEmptyProtocolPack();
    PacketHead head{};
    head.group = group;
    head.command = code;
    head.encryptType = getEncryptType();
    head.attrHigh = 1;
    head.attrLow = 1;
    head.payloadLength = static_cast<uint16_t>(length);
    return zvGetProtocolPack(head, length > 0 ? payload : nullptr);
}

SendPack command(uint8_t group, uint8_t code, const std::vector<uint8_t> &payload) {
    return command(group, code, payload.data(), payload.size());
}

void putLe16(std::vector<uint8_t> &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putLe32(std::vector<uint8_t> &out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putItem(std::vector<uint8_t> &out, uint8_t tag, const uint8_t *value, size_t length) {
    out.push_back(tag);
    putLe16(out, static_cast<uint32_t>(length));
    out.insert(out.end(), value, value + length);
}

uint16_t clampU16(long value) {
    if (value < 0) return 0;
    if (value > 0xFFFF) return 0xFFFF;
    return static_cast<uint16_t>(value);
}

uint8_t low8(long value) { return static_cast<uint8_t>(value); }

// Joins two packs into one buffer; an empty second pack leaves the first.
SendPack joinPacks(SendPack first, SendPack second) {
    if (isEmptyProtocolPack(second)) {
        freeSendPack(second);
        return first;
    }
    if (isEmptyProtocolPack(first)) {
        freeSendPack(first);
        return second;
    }
    auto *joined = static_cast<uint8_t *>(std::malloc(first.length + second.length));
    if (joined == nullptr) {
        freeSendPack(second);
        return first;
    }
    std::memcpy(joined, first.data, first.length);
    std::memcpy(joined + first.length, second.data, second.length);
    const SendPack pack{joined, first.length + second.length};
    freeSendPack(first);
    freeSendPack(second);
    return pack;
}

SendPack wifiCredentials(uint8_t group, uint8_t code, const char *ssid, const char *password) {
    if (ssid == nullptr || password == nullptr) return zvGetEmptyProtocolPack();
    const size_t nameLength = std::strlen(ssid);
    const size_t passwordLength = std::strlen(password);
    // Each length travels in 16 bits and the whole payload must still frame.
    if (nameLength > 0xFFFF || passwordLength > 0xFFFF || nameLength + passwordLength + 7 > 0xFFFF - 5)
        return zvGetEmptyProtocolPack();
    std::vector<uint8_t> payload;
    putItem(payload, 1, reinterpret_cast<const uint8_t *>(ssid), nameLength);
    putItem(payload, 2, reinterpret_cast<const uint8_t *>(password), passwordLength);
    payload.push_back(0);
    return command(group, code, payload);
}

// ---- download state --------------------------------------------------------

DownloadDotsConverter gConverter = nullptr;
uint32_t gDownFileOnePackage = 0;

struct Download {
    std::vector<uint8_t> bytes;
    uint32_t partCounter = 0;
    uint32_t sent = 0;
    uint32_t startOffset = 0;
    bool active = false;

    void clear() {
        std::vector<uint8_t>().swap(bytes);
        partCounter = sent = startOffset = 0;
        active = false;
    }
    uint32_t nextPartLength() const {
        const uint32_t remaining = static_cast<uint32_t>(bytes.size()) - sent;
        return remaining < gDownFileOnePackage ? remaining : gDownFileOnePackage;
    }
};

Download gFile;
Download gCustom;

// Packed dots of an A,R,G,B image through the registered converter; false
// without one, for an empty image or one too large to count in 32 bits.
bool convertImage(const uint8_t *argb, uint32_t width, uint32_t height, std::vector<uint8_t> &dots) {
    if (gConverter == nullptr || argb == nullptr || width == 0 || height == 0) return false;
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (pixels / 8 > 0xFFFFFFFFu) return false;
    uint8_t *converted = gConverter(argb, width, height);
    if (converted == nullptr) return false;
    dots.assign(converted, converted + pixels / 8);
    std::free(converted);
    return true;
}

}  // namespace

// ---- group 1 -----------------------------------------------------------------

SendPack getProtocolData() {
    // A new connection: nothing learned from the previous printer holds.
    setMaxDataLengthOnePackage(0);
    setMaxWidthDot_l(0);
    SendPack pack = command(1, 1);
    const uint32_t odm = getODMPrinterType();
    if (odm != kODMTypeShortHead && odm != 30) {
        pack = joinPacks(pack, getPrinterInfoSNData());
        pack = joinPacks(pack, getPrinterInfoSystemData());
    }
    return pack;
}

SendPack getPrinterInfoSystemData() { return command(1, 3); }
SendPack getPrinterInfoProductData() { return command(1, 4); }
SendPack getPrinterInfoMaxPxData() { return command(1, 5); }
SendPack getPrinterInfoSNData() { return command(1, 6); }
SendPack getPrinterInfoNameData() { return command(1, 8); }
SendPack getPrinterInfoHardwareData() { return command(1, 10); }
SendPack getPrinterInfoSoftwareData() { return command(1, 11); }
SendPack getPrinterInfoShutdownTimeData() { return command(1, 12); }
SendPack getPrinterInfoBatteryData() { return command(1, 14); }
SendPack getPrinterInfoTEMPData() { return command(1, 16); }
SendPack getPrinterInfoStateData() { return command(1, 19); }
SendPack setPrinterInfoResetData() { return command(1, 20); }
SendPack setPrinterInfoSleepData() { return command(1, 21); }
SendPack setPrinterInfoShutdownData() { return command(1, 22); }
SendPack setPrinterInfoRestoreFactorySettingsData() { return command(1, 24); }
SendPack getPrinterInfoOTAPathData() { return command(1, 35); }

SendPack setPrinterInfoShutdownTimeData(long minutes) {
    try {
        std::vector<uint8_t> payload;
        putLe16(payload, clampU16(minutes));
        return command(1, 13, payload);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack setPrinterInfoUTCData(uint32_t seconds) {
    if (seconds == 0) {
        // The printer keeps local time: the calendar time plus the local
        // offset from UTC.
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        seconds = static_cast<uint32_t>(static_cast<int64_t>(now) + local.tm_gmtoff);
    }
    uint8_t payload[4];
    for (int i = 0; i < 4; ++i) payload[i] = static_cast<uint8_t>(seconds >> (8 * i));
    return command(1, 25, payload, sizeof payload);
}

SendPack setPrinterInfoConnectDeviceData(int value) {
    const uint8_t payload = low8(value);
    return command(1, 30, &payload, 1);
}

SendPack setPrinterInfoButtonEnableData(int a, int b, int c) {
    const uint8_t payload[3] = {low8(a), low8(b), low8(c)};
    return command(1, 80, payload, sizeof payload);
}

SendPack getPrinterInfoButtonEnableData(int a) {
    const uint8_t payload = low8(a);
    return command(1, 81, &payload, 1);
}

SendPack setPrinterInfoButtonData(int a, int b, int c, int d) {
    const auto value = static_cast<uint16_t>(d);
    const uint8_t payload[5] = {low8(a), low8(b), low8(c), static_cast<uint8_t>(value),
                                static_cast<uint8_t>(value >> 8)};
    return command(1, 82, payload, sizeof payload);
}

SendPack getPrinterInfoButtonData(int a, int b, int c) {
    const uint8_t payload[3] = {low8(a), low8(b), low8(c)};
    return command(1, 83, payload, sizeof payload);
}

// ---- group 3 -----------------------------------------------------------------

SendPack getPrinterWiFiListData() { return command(3, 1); }
SendPack getPrinterWiFiStateData() { return command(3, 3); }
SendPack getPrinterWiFiFWVersionData() { return command(3, 5); }
SendPack getPrinterWiFiConfigData() { return command(3, 6); }
SendPack getPrinterWiFiInfoData() { return command(3, 7); }

SendPack setPrinterWiFiConfigData(const char *ssid, const char *password) {
    try {
        return wifiCredentials(3, 2, ssid, password);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack setPrinterWiFiMacData(const char *mac) {
    // Six numbers split at ":" as a string tokenizer does (runs of separators
    // count as one); fewer than six send the command without a payload.
    uint8_t payload[6] = {};
    int found = 0;
    try {
        const std::string text = mac != nullptr ? mac : "";
        size_t pos = 0;
        while (found < 6) {
            const size_t begin = text.find_first_not_of(':', pos);
            if (begin == std::string::npos) break;
            size_t end = text.find(':', begin);
            if (end == std::string::npos) end = text.size();
            payload[found++] = static_cast<uint8_t>(parseLeadingInt32(text.substr(begin, end - begin).c_str()));
            pos = end;
        }
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
    return found == 6 ? command(3, 4, payload, sizeof payload) : command(3, 4);
}

// ---- group 4 -----------------------------------------------------------------

SendPack getPrinterBleNameData() { return command(4, 1); }
SendPack getPrinterBleMacData() { return command(4, 3); }
SendPack getPrinterBlePinCodeData() { return command(4, 5); }
SendPack getPrinterBleUartRateData() { return command(4, 7); }
SendPack getPrinterBleVersionData() { return command(4, 9); }
SendPack getPrinterBleStateData() { return command(4, 13); }

SendPack setPrinterBleNameData(const char *name) {
    if (name == nullptr) return zvGetEmptyProtocolPack();
    const size_t length = std::strlen(name);
    if (length >= 33) return zvGetEmptyProtocolPack();
    return command(4, 2, reinterpret_cast<const uint8_t *>(name), length);
}

SendPack setPrinterWiFiCFGData(const char *ssid, const char *password) {
    try {
        return wifiCredentials(4, 14, ssid, password);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

// ---- group 5 -----------------------------------------------------------------

SendPack getPrinterPrintColorSupportData() { return command(5, 1); }
SendPack getPrinterPrintDarknessData() { return command(5, 3); }
SendPack getPrinterPrintSpeedData() { return command(5, 6); }
SendPack setPrinterPrintSelfTestData() { return command(5, 9); }
SendPack getPrinterPrintTPHModelData() { return command(5, 15); }
SendPack getPrinterPrintPaperTypeData() { return command(5, 16); }
SendPack setPrinterPrintLabelLearnData() { return command(5, 18); }
SendPack setPrinterPrintLackPaperLearnData() { return command(5, 19); }
SendPack getPrinterPrintLackPaperData() { return command(5, 20); }
SendPack getPrinterPrintBadSpotDetectionData() { return command(5, 21); }
SendPack getPrinterPrintMileageData() { return command(5, 23); }
SendPack setPrinterPrintClearMileageData() { return command(5, 24); }
SendPack getPrinterPrintFallbackData() { return command(5, 28); }
SendPack getPrinterPrintADData() { return command(5, 30); }
SendPack getPrinterPrinterBusyStateData() { return command(5, 32); }
SendPack getPrinterPrintManualCuttingAlertData() { return command(5, 36); }
SendPack getPrinterPrintCanvasShiftData() { return command(5, 38); }
SendPack getPrinterPrintModeData() { return command(5, 40); }

SendPack setPrinterPrintQRcodeData(int value) {
    const uint8_t payload = low8(value);
    return command(5, 10, &payload, 1);
}

SendPack setPrinterPrintActionData(int action) {
    const uint8_t value = low8(action);
    if (value == 0 || value >= 4) return zvGetEmptyProtocolPack();
    return command(5, 26, &value, 1);
}

SendPack setPrinterPrintFallbackData(long length) {
    const uint16_t value = clampU16(length);
    const uint8_t payload[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return command(5, 27, payload, sizeof payload);
}

SendPack setPrinterPrintManualCuttingAlertData(int value) {
    const uint8_t payload = low8(value);
    return command(5, 37, &payload, 1);
}

SendPack setPrinterPrintCanvasShiftData(const char *text) {
    try {
        const NumberPair numbers = splitNumbers(text);
        if (numbers.count < 2) return zvGetEmptyProtocolPack();
        const auto first = static_cast<uint16_t>(numbers.first);
        const auto second = static_cast<uint16_t>(numbers.second);
        const uint8_t payload[10] = {1, 2, 0, static_cast<uint8_t>(second), static_cast<uint8_t>(second >> 8),
                                     2, 2, 0, static_cast<uint8_t>(first),  static_cast<uint8_t>(first >> 8)};
        return command(5, 39, payload, sizeof payload);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack setPrinterPrintModeData(int mode) {
    const uint8_t payload = low8(mode);
    return command(5, 41, &payload, 1);
}

// ---- groups 7 and 9 ----------------------------------------------------------

SendPack getPrinterNFCInfoData() { return command(7, 2); }
SendPack getPrinterInkjetInfoData() { return command(9, 1); }

SendPack setPrinterInkjetCleanData(int value) {
    uint8_t payload = low8(value);
    if (payload > 2) payload = 2;
    return command(9, 3, &payload, 1);
}

// ---- group 2 -----------------------------------------------------------------

void setDownloadDotsConverter(DownloadDotsConverter converter) { gConverter = converter; }

void setDownFileOnePackage(uint32_t length) { gDownFileOnePackage = length; }
uint32_t getDownFileOnePackage() { return gDownFileOnePackage; }

SendPack getStartDownFileData(int fileType, const char *name, const uint8_t *bytes, uint32_t count,
                              uint32_t startOffset) {
    if (bytes == nullptr || count == 0 || fileType <= 0 || fileType > 4) return zvGetEmptyProtocolPack();
    try {
        std::vector<uint8_t> data;
        uint32_t width = 0;
        uint32_t height = 0;
        if (fileType == 4) {
            const int64_t maxWidth = getMaxWidthDot_l();
            if (maxWidth <= 0 || maxWidth > 0xFFFF) return zvGetEmptyProtocolPack();
            width = static_cast<uint32_t>(maxWidth);
            height = count / 4 / width;
            // Width and height travel in 16 bits each.
            if (height == 0 || height > 0xFFFF) return zvGetEmptyProtocolPack();
            if (!convertImage(bytes, width, height, data)) return zvGetEmptyProtocolPack();
        } else {
            data.assign(bytes, bytes + count);
        }
        std::string fileName = name != nullptr ? name : "";
        if (fileName.size() > 256) fileName.resize(256);
        if (fileName.empty()) fileName = fileType == 4 ? "imageModel" : "binName";

        std::vector<uint8_t> payload;
        const uint8_t type[2] = {static_cast<uint8_t>(fileType), 0};
        putItem(payload, 1, type, 2);
        std::vector<uint8_t> length;
        putLe32(length, static_cast<uint32_t>(data.size()));
        putItem(payload, 2, length.data(), 4);
        putItem(payload, 3, reinterpret_cast<const uint8_t *>(fileName.data()), fileName.size());
        if (fileType == 4) {
            const uint8_t w[2] = {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8)};
            const uint8_t h[2] = {static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
            putItem(payload, 4, w, 2);
            putItem(payload, 5, h, 2);
        }
        SendPack pack = command(2, 1, payload);
        if (isEmptyProtocolPack(pack)) return pack;
        gFile.bytes = std::move(data);
        gFile.partCounter = 1;
        gFile.sent = 0;
        gFile.startOffset = startOffset;
        gFile.active = true;
        return pack;
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack getDownFileNextPackData() {
    // Without a part length no part can carry anything: the download could
    // never end, so it ends here.
    if (!gFile.active || gFile.sent >= gFile.bytes.size() || gDownFileOnePackage == 0) return getDownFileEnd();
    try {
        // A part and its 8-byte head must fit the 16-bit payload length.
        uint32_t part = gFile.nextPartLength();
        if (part > 0xFFFF - 5 - 8) part = 0xFFFF - 5 - 8;
        std::vector<uint8_t> payload;
        putLe16(payload, gFile.partCounter);
        putLe16(payload, part);
        putLe32(payload, gFile.startOffset + gFile.sent);
        payload.insert(payload.end(), gFile.bytes.begin() + gFile.sent, gFile.bytes.begin() + gFile.sent + part);
        SendPack pack = command(2, 3, payload);
        if (isEmptyProtocolPack(pack)) return pack;
        gFile.partCounter += 1;
        gFile.sent += part;
        return pack;
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack getDownFileEnd() {
    gFile.clear();
    return command(2, 2);
}

// ---- group 8 -----------------------------------------------------------------

SendPack setPrinterCustomOfflinePrintEnableData(int value) {
    const uint8_t payload = low8(value);
    return command(8, 1, &payload, 1);
}

SendPack getPrinterCustomOfflinePrintEnableData() { return command(8, 2); }

SendPack setPrinterCustomCustomPrintEnableData(int a, int b, int c) {
    const uint8_t payload[3] = {low8(a), low8(b), low8(c)};
    return command(8, 3, payload, sizeof payload);
}

SendPack getPrinterCustomCustomPrintEnableData(int a, int b) {
    const uint8_t payload[2] = {low8(a), low8(b)};
    return command(8, 4, payload, sizeof payload);
}

SendPack setPrinterCustomTimeFormatPrintData(int a, int b, int c, int d) {
    const uint8_t payload[4] = {low8(a), low8(b), low8(c), low8(d)};
    return command(8, 5, payload, sizeof payload);
}

SendPack getPrinterCustomTimeFormatPrintData(int a, int b) {
    const uint8_t payload[2] = {low8(a), low8(b)};
    return command(8, 6, payload, sizeof payload);
}

SendPack setPrinterCustomTimePrintOffsetData(int a, int b, int c, uint32_t d) {
    const uint8_t payload[7] = {low8(a),
                                low8(b),
                                low8(c),
                                static_cast<uint8_t>(d),
                                static_cast<uint8_t>(d >> 8),
                                static_cast<uint8_t>(d >> 16),
                                static_cast<uint8_t>(d >> 24)};
    return command(8, 7, payload, sizeof payload);
}

SendPack getPrinterCustomTimePrintOffsetData(int a, int b) {
    const uint8_t payload[2] = {low8(a), low8(b)};
    return command(8, 8, payload, sizeof payload);
}

SendPack getStartDownCustomPrintData(int a, int b, const uint8_t *argb, uint32_t width, uint32_t height) {
    // Width and height travel in 16 bits each.
    if (argb == nullptr || width == 0 || height == 0 || width > 0xFFFF || height > 0xFFFF)
        return zvGetEmptyProtocolPack();
    try {
        std::vector<uint8_t> dots;
        if (!convertImage(argb, width, height, dots)) return zvGetEmptyProtocolPack();
        const uint8_t payload[18] = {1,
                                     1,
                                     0,
                                     low8(a),
                                     2,
                                     1,
                                     0,
                                     low8(b),
                                     3,
                                     2,
                                     0,
                                     static_cast<uint8_t>(width),
                                     static_cast<uint8_t>(width >> 8),
                                     4,
                                     2,
                                     0,
                                     static_cast<uint8_t>(height),
                                     static_cast<uint8_t>(height >> 8)};
        SendPack pack = command(8, 9, payload, sizeof payload);
        if (isEmptyProtocolPack(pack)) return pack;
        gCustom.bytes = std::move(dots);
        gCustom.partCounter = 0;
        gCustom.sent = 0;
        gCustom.active = true;
        return pack;
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack getDownCustomPrintNextPackData() {
    if (!gCustom.active || gCustom.sent >= gCustom.bytes.size() || gDownFileOnePackage == 0)
        return getDownCustomPrintEndPackData();
    try {
        uint32_t part = gCustom.nextPartLength();
        if (part > 0xFFFF - 5 - 4) part = 0xFFFF - 5 - 4;
        std::vector<uint8_t> payload;
        putLe16(payload, gCustom.partCounter);
        putLe16(payload, part);
        payload.insert(payload.end(), gCustom.bytes.begin() + gCustom.sent,
                       gCustom.bytes.begin() + gCustom.sent + part);
        SendPack pack = command(8, 11, payload);
        if (isEmptyProtocolPack(pack)) return pack;
        gCustom.partCounter += 1;
        gCustom.sent += part;
        return pack;
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack getDownCustomPrintEndPackData() {
    gCustom.clear();
    return command(8, 10);
}

void resetDeviceCommandState() {
    gFile.clear();
    gCustom.clear();
    gDownFileOnePackage = 0;
    gConverter = nullptr;
}
