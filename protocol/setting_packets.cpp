#include "protocol/setting_packets.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/lenient_number.h"

namespace {

// The full-width comma that input methods put into number pairs.
constexpr const char *kFullWidthComma = "\xEF\xBC\x8C";

SendPack buildSetting(uint8_t command, const uint8_t *payload, uint16_t payloadLength) {
    PacketHead head{};
    head.group = 5;
    head.command = command;
    head.encryptType = getEncryptType();
    head.attrHigh = 1;
    head.attrLow = 1;
    head.payloadLength = payloadLength;
    return zvGetProtocolPack(head, payload);
}

SendPack oneByteSetting(uint8_t command, int value) {
    const uint8_t payload = static_cast<uint8_t>(value);
    return buildSetting(command, &payload, 1);
}

}  // namespace

NumberPair splitNumbers(const char *text) {
    NumberPair pair;
    if (text == nullptr) return pair;
    std::vector<char> copy(text, text + std::strlen(text) + 1);
    strReplece(copy.data(), kFullWidthComma, ",");
    const std::string fields(copy.data());
    size_t pos = 0;
    while (pair.count < 2) {
        const size_t begin = fields.find_first_not_of(',', pos);
        if (begin == std::string::npos) break;
        size_t end = fields.find(',', begin);
        if (end == std::string::npos) end = fields.size();
        const int32_t value = parseLeadingInt32(fields.substr(begin, end - begin).c_str());
        if (pair.count == 0)
            pair.first = value;
        else
            pair.second = value;
        ++pair.count;
        pos = end;
    }
    return pair;
}

namespace {

uint8_t capAt15(int32_t value) {
    const auto low = static_cast<uint8_t>(value);
    return low > 15 ? 15 : low;
}

}  // namespace

void strReplece(char *text, const char *pattern, const char *replacement) {
    if (text == nullptr || pattern == nullptr || replacement == nullptr) return;
    const size_t patternLength = std::strlen(pattern);
    const size_t replacementLength = std::strlen(replacement);
    if (patternLength == 0 || replacementLength > patternLength) return;
    // Never longer than the text, so writing back stays inside it.
    char *out = text;
    for (const char *in = text; *in != '\0';) {
        if (std::strncmp(in, pattern, patternLength) == 0) {
            std::memmove(out, replacement, replacementLength);
            out += replacementLength;
            in += patternLength;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
}

SendPack setPrinterPrintPaperTypeData(int value) {
    const auto type = static_cast<uint8_t>(value);
    if (type > 2) return zvGetEmptyProtocolPack();
    return oneByteSetting(17, type);
}

SendPack setPrinterPrintSpeedData(int value) { return oneByteSetting(7, value); }

SendPack setPrinterPrintSilentModelData(int value) { return oneByteSetting(35, value); }

SendPack setPrinterPrintInterfaceData(int value) { return oneByteSetting(42, value); }

SendPack setPrinterPrintDarknessData(const char *text) {
    try {
        const NumberPair numbers = splitNumbers(text);
        if (numbers.count == 0) return zvGetEmptyProtocolPack();
        // The first byte says which values follow: 0 the darkness alone, 3 both.
        uint8_t payload[3] = {0, capAt15(numbers.first), 0};
        if (numbers.count == 2) {
            payload[0] = 3;
            payload[2] = capAt15(numbers.second);
        }
        return buildSetting(4, payload, sizeof payload);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}

SendPack setPrinterPrintFeedData(const char *text) {
    try {
        const NumberPair numbers = splitNumbers(text);
        if (numbers.count < 2) return zvGetEmptyProtocolPack();
        const auto mode = static_cast<uint8_t>(numbers.first);
        const auto distance = static_cast<uint16_t>(numbers.second);
        if (mode != 1 && mode != 2) return zvGetEmptyProtocolPack();
        const uint8_t payload[3] = {mode, static_cast<uint8_t>(distance), static_cast<uint8_t>(distance >> 8)};
        return buildSetting(8, payload, sizeof payload);
    } catch (const std::bad_alloc &) {
        return zvGetEmptyProtocolPack();
    }
}
