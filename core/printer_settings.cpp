#include "core/printer_settings.h"

namespace {
int32_t gDeviceType = 1;
uint8_t gOdmType = kDefaultOdmType;
}  // namespace

int32_t getDeviceType() { return gDeviceType; }
void setDeviceType(int32_t type) { gDeviceType = type; }
uint8_t getPpdOdmType() { return gOdmType; }
void setPpdOdmType(uint8_t type) { gOdmType = type; }

void resetPrinterGlobals() {
    gDeviceType = 1;
    gOdmType = kDefaultOdmType;
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
