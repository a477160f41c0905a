// The device command catalogue of the packet protocol: queries, actions and
// settings beyond the print path's own setting packets, the file download
// (group 2) and the custom-print settings and image download (group 8). The
// filter sends none of them; they serve a host that manages the printer.
//
// Every builder returns one packet (getProtocolData several), or the empty
// pack when it rejects its argument; the caller frees whatever it gets.
// Packets are framed for the current ODM printer type (protocol_state.h).
#ifndef ZV_PROTOCOL_DEVICE_COMMANDS_H
#define ZV_PROTOCOL_DEVICE_COMMANDS_H

#include <cstdint>

#include "protocol/packet.h"

// ---- group 1: device information and control -----------------------------

// The first request of a connection (1/1). Clears the connection state (the
// package limits and the maximum print width); for ODM printer types other
// than 163 and 30 the pack also holds the serial-number and system
// information requests behind it.
SendPack getProtocolData();
SendPack getPrinterInfoSystemData();                  // 1/3
SendPack getPrinterInfoProductData();                 // 1/4
SendPack getPrinterInfoMaxPxData();                   // 1/5
SendPack getPrinterInfoSNData();                      // 1/6
SendPack getPrinterInfoNameData();                    // 1/8
SendPack getPrinterInfoHardwareData();                // 1/10
SendPack getPrinterInfoSoftwareData();                // 1/11
SendPack getPrinterInfoShutdownTimeData();            // 1/12
SendPack getPrinterInfoBatteryData();                 // 1/14
SendPack getPrinterInfoTEMPData();                    // 1/16
SendPack getPrinterInfoStateData();                   // 1/19
SendPack setPrinterInfoResetData();                   // 1/20
SendPack setPrinterInfoSleepData();                   // 1/21
SendPack setPrinterInfoShutdownData();                // 1/22
SendPack setPrinterInfoRestoreFactorySettingsData();  // 1/24
SendPack getPrinterInfoOTAPathData();                 // 1/35
// Minutes until the printer switches itself off (1/13), u16: values above
// 65535 send FF FF, negative values 00 00.
SendPack setPrinterInfoShutdownTimeData(long minutes);
// The printer's clock (1/25), u32 seconds; 0 means the current local time.
SendPack setPrinterInfoUTCData(uint32_t seconds);
SendPack setPrinterInfoConnectDeviceData(int value);            // 1/30, 1 byte
SendPack setPrinterInfoButtonEnableData(int a, int b, int c);   // 1/80, 3 bytes
SendPack getPrinterInfoButtonEnableData(int a);                 // 1/81, 1 byte
SendPack setPrinterInfoButtonData(int a, int b, int c, int d);  // 1/82, 3 bytes and d as u16
SendPack getPrinterInfoButtonData(int a, int b, int c);         // 1/83, 3 bytes

// ---- group 3: Wi-Fi ----------------------------------------------------------

SendPack getPrinterWiFiListData();       // 3/1
SendPack getPrinterWiFiStateData();      // 3/3
SendPack getPrinterWiFiFWVersionData();  // 3/5
SendPack getPrinterWiFiConfigData();     // 3/6
SendPack getPrinterWiFiInfoData();       // 3/7
// Network name and password (3/2): tag 1 the name, tag 2 the password, then
// one zero byte. Empty pack for a missing text or one too long to frame.
SendPack setPrinterWiFiConfigData(const char *ssid, const char *password);
// "a:b:c:d:e:f", six decimal numbers (3/4); fewer than six send no payload.
SendPack setPrinterWiFiMacData(const char *mac);

// ---- group 4: Bluetooth --------------------------------------------------

SendPack getPrinterBleNameData();      // 4/1
SendPack getPrinterBleMacData();       // 4/3
SendPack getPrinterBlePinCodeData();   // 4/5
SendPack getPrinterBleUartRateData();  // 4/7
SendPack getPrinterBleVersionData();   // 4/9
SendPack getPrinterBleStateData();     // 4/13
// The Bluetooth name (4/2), at most 32 bytes.
SendPack setPrinterBleNameData(const char *name);
// Wi-Fi name and password over Bluetooth (4/14), laid out as 3/2.
SendPack setPrinterWiFiCFGData(const char *ssid, const char *password);

// ---- group 5: print settings -----------------------------------------------

SendPack getPrinterPrintColorSupportData();                 // 5/1
SendPack getPrinterPrintDarknessData();                     // 5/3
SendPack getPrinterPrintSpeedData();                        // 5/6
SendPack setPrinterPrintSelfTestData();                     // 5/9
SendPack getPrinterPrintTPHModelData();                     // 5/15
SendPack getPrinterPrintPaperTypeData();                    // 5/16
SendPack setPrinterPrintLabelLearnData();                   // 5/18
SendPack setPrinterPrintLackPaperLearnData();               // 5/19
SendPack getPrinterPrintLackPaperData();                    // 5/20
SendPack getPrinterPrintBadSpotDetectionData();             // 5/21
SendPack getPrinterPrintMileageData();                      // 5/23
SendPack setPrinterPrintClearMileageData();                 // 5/24
SendPack getPrinterPrintFallbackData();                     // 5/28
SendPack getPrinterPrintADData();                           // 5/30
SendPack getPrinterPrinterBusyStateData();                  // 5/32
SendPack getPrinterPrintManualCuttingAlertData();           // 5/36
SendPack getPrinterPrintCanvasShiftData();                  // 5/38
SendPack getPrinterPrintModeData();                         // 5/40
SendPack setPrinterPrintQRcodeData(int value);              // 5/10, 1 byte
SendPack setPrinterPrintActionData(int action);             // 5/26, 1 to 3
SendPack setPrinterPrintFallbackData(long length);          // 5/27, u16 limited
SendPack setPrinterPrintManualCuttingAlertData(int value);  // 5/37, 1 byte
// "x,y" (5/39): tag 1 the second number, tag 2 the first, 16 bits each.
SendPack setPrinterPrintCanvasShiftData(const char *text);
SendPack setPrinterPrintModeData(int mode);  // 5/41, 1 byte

// ---- groups 7 and 9 ------------------------------------------------------

SendPack getPrinterNFCInfoData();               // 7/2
SendPack getPrinterInkjetInfoData();            // 9/1
SendPack setPrinterInkjetCleanData(int value);  // 9/3, above 2 sends 2

// ---- group 2: file download ------------------------------------------------

// Turns `width` x `height` pixels of four bytes (A, R, G, B) into packed
// printer dots, width * height / 8 bytes in a malloc'ed buffer, or null. The
// conversion belongs to the print path above this layer, which registers it;
// without one, image downloads are refused.
using DownloadDotsConverter = uint8_t *(*)(const uint8_t *argb, uint32_t width, uint32_t height);
void setDownloadDotsConverter(DownloadDotsConverter converter);

// Bytes of file data per download packet; 0 (the start value) lets a
// download make no progress, so a host sets it before the first part.
void setDownFileOnePackage(uint32_t length);
uint32_t getDownFileOnePackage();

// Starts a download (2/1): file type 1 to 3 sends the bytes as they are,
// type 4 an A,R,G,B image as wide as the maximum print width, sent as packed
// dots. The name is cut to 256 bytes; an empty one becomes "binName" (types
// 1 to 3) or "imageModel" (type 4). Keeps a private copy of the data.
SendPack getStartDownFileData(int fileType, const char *name, const uint8_t *bytes, uint32_t count,
                              uint32_t startOffset);
// The next part of the download (2/3), or the end packet once all is sent.
SendPack getDownFileNextPackData();
// Ends the download (2/2) and releases the private copy.
SendPack getDownFileEnd();

// ---- group 8: custom printing ----------------------------------------------

SendPack setPrinterCustomOfflinePrintEnableData(int value);                     // 8/1
SendPack getPrinterCustomOfflinePrintEnableData();                              // 8/2
SendPack setPrinterCustomCustomPrintEnableData(int a, int b, int c);            // 8/3
SendPack getPrinterCustomCustomPrintEnableData(int a, int b);                   // 8/4
SendPack setPrinterCustomTimeFormatPrintData(int a, int b, int c, int d);       // 8/5
SendPack getPrinterCustomTimeFormatPrintData(int a, int b);                     // 8/6
SendPack setPrinterCustomTimePrintOffsetData(int a, int b, int c, uint32_t d);  // 8/7, d as u32
SendPack getPrinterCustomTimePrintOffsetData(int a, int b);                     // 8/8
// Starts a custom-print image download (8/9) of an A,R,G,B image, kept as
// packed dots for the parts that follow.
SendPack getStartDownCustomPrintData(int a, int b, const uint8_t *argb, uint32_t width, uint32_t height);
// The next part (8/11), or the end packet (8/10) once all is sent.
SendPack getDownCustomPrintNextPackData();
// Ends the custom-print download (8/10) and releases the stored image.
SendPack getDownCustomPrintEndPackData();

// Back to a new process's download state (tests).
void resetDeviceCommandState();

#endif
