// Conversion of a scaled protocol page into printer dots, and the hand-over
// of the dots to the image transfer.
//
// The PrintSetting's grayType picks the route:
//   0, 1        plain thresholding at the process-wide threshold (1 dithers
//               first)
//   2, 3        the classic halftoning chain (2 with error diffusion)
//   9           preset getZVImageProcessingForA4
//   10, 11, 12  preset getZVImageProcessingForA4Tattoo: no guide line, a
//               line below row 120, a line below row 200
//   61, 62      presets getZVImageProcessingForA4Soft / ...SoftDark
//   160         preset getZVImageProcessingForA4BKInkejtText
//   161..163    preset getZVImageProcessingForA4BKInkejtImageMixText
//   any other   text-aware binarisation (the print path's 6)
// The result is the image's pixByteData: one bit per pixel, most significant
// bit first, a set bit a dot, width * height / 8 bytes. The plain, classic
// and text routes need a width that is a multiple of 8 (the driver pads it);
// they complement the bytes for invertColors and turn them by 180 degrees
// for rotation 180. The presets make their own page and ignore both.
#ifndef ZV_PROTOCOL_PRINT_PRINTER_DOTS_H
#define ZV_PROTOCOL_PRINT_PRINTER_DOTS_H

#include <cstdint>

#include "imaging/print_setting.h"
#include "imaging/zv_image.h"
#include "protocol/image_transfer.h"
#include "protocol/packet.h"

// The threshold of the plain route; 142 in a new process. Returns the value.
uint8_t setThreshold(uint8_t value);
uint8_t getImgThresholdValue();

// The byte with its bit order reversed.
uint8_t priva_invertHex(uint8_t byte);

// From the image's gray plane: 1 when the image then has pixByteData, else 0
// (no gray plane, an allocation failure or a failing route). The RGBA and
// packed planes are released first; the gray plane is consumed.
int driveGetPixByteDataFromGrayImage(ZVImage *image, PrintSetting setting);

// The same from the RGBA plane, which must be present.
int drivegetPixByteDataFromRGBAImage(ZVImage *image, PrintSetting setting);

// The dispatcher: needs rgbaData, releases grayData and pixByteData first.
// 1 on success, 0 on failure (the image is then without pixByteData). A
// failing text route says so on standard error as "ERROR: ..." and in the log.
int getPixByteDataFromRGBAImage(ZVImage *image, PrintSetting setting);

// The image packets of the page: the uncompressed transfer for ODM printer
// type 163, the Huffman-compressed one for every other type; the empty pack
// for an image without pixByteData.
SendPack driveGetPrintDataFromPixByteData(ZVImage *image, ImageProtocolSetting setting);

// Back to the values a new process starts with (threshold 142).
void resetPrinterDotsState();

#endif
