// The per-job settings record every encoder reads, and the process-wide
// printer selection (device type and ODM printer type).
#ifndef ZV_FILTER_CORE_PRINTER_SETTINGS_H
#define ZV_FILTER_CORE_PRINTER_SETTINGS_H

#include <cstdint>

struct PrinterSettings {
    int32_t jobId;
    const char *user;   // not owned
    const char *title;  // not owned
    int32_t copies;
    int32_t widthMM;
    int32_t heightMM;
    int16_t darkness;
    int16_t printSpeed;
    int16_t horizontal;
    int16_t vertical;
    int32_t mediaTracking;  // 0 continuous, 1 gap, 2 black mark, 255 none given
    int16_t printMode;
    int16_t colourDarkness;
    int16_t isCompressie;
    int16_t isHCRP;
    int32_t resolution;
    int32_t maxWidthMM;  // -1: no limit
    uint64_t noCompressieLimit;
    uint64_t compressieLimit;
    int16_t silentPrint;
    int16_t positioningMode;
    int32_t cashDrawer;
    int32_t blankSpace;
    int32_t feedDist;
    int32_t cutting;
    int32_t beeper;
    int32_t colorPrintModel;
    int32_t odmType;
    int32_t photoEffect;  // protocol printers: effect before scaling, 0 none
    int32_t processing;   // protocol printers: 0 automatic, else a fixed route
};

// Device types of the command-language printers; 0..12 are protocol models.
enum : int32_t {
    kDeviceTSPL = 161,
    kDeviceZPL = 162,
    kDeviceCPCL = 163,
    kDeviceESC = 164,
    kDeviceSFZPL = 191,
    kDeviceTwoColorTSPL = 193,
};

int32_t getDeviceType();
void setDeviceType(int32_t type);

// The ODM printer type read from the PPD (one byte, initially 28: the type of
// the printers whose PPD names none).
constexpr uint8_t kDefaultOdmType = 28;
uint8_t getPpdOdmType();
void setPpdOdmType(uint8_t type);

// Back to the values a new process starts with (device type 1, ODM type 28).
void resetPrinterGlobals();

bool isZVProtocolPrinter(int32_t deviceType);
bool isNormalPrinter(int32_t deviceType);

#endif
