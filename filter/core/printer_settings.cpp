#include "filter/core/printer_settings.h"

#include <cctype>

namespace {
int32_t gDeviceType = 1;
uint8_t gOdmType = 28;
}  // namespace

int32_t getDeviceType() { return gDeviceType; }
void setDeviceType(int32_t type) { gDeviceType = type; }
uint8_t getPpdOdmType() { return gOdmType; }
void setPpdOdmType(uint8_t type) { gOdmType = type; }

void resetPrinterGlobals() {
    gDeviceType = 1;
    gOdmType = 28;
}

bool isZVProtocolPrinter(int32_t deviceType) { return deviceType < 13; }

bool isNormalPrinter(int32_t deviceType) {
    switch (deviceType) {
        case kDeviceTSPL:
        case kDeviceZPL:
        case kDeviceCPCL:
        case kDeviceESC:
        case kDeviceSFZPL:
            return true;
        default:
            return false;
    }
}

int64_t parseLeadingInt64(const char *text) {
    if (text == nullptr) return 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    uint64_t value = 0;
    while (std::isdigit(*p)) {
        value = value * 10u + static_cast<uint64_t>(*p - '0');
        ++p;
    }
    if (negative) value = 0u - value;
    return static_cast<int64_t>(value);
}

int32_t parseLeadingInt32(const char *text) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(parseLeadingInt64(text))));
}

int16_t parseLeadingInt16(const char *text) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(parseLeadingInt64(text))));
}
