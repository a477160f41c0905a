// The conversion of the pictures a host downloads to a protocol printer (a
// file of type 4, a custom-print image): A, R, G, B pixels to packed printer
// dots by the print path's plain threshold route. The download builders sit
// in the protocol layer below this one and take the conversion as a
// registered function.
#ifndef ZV_PROTOCOL_PRINT_DOWNLOAD_DOTS_H
#define ZV_PROTOCOL_PRINT_DOWNLOAD_DOTS_H

#include <cstdint>

// width * height / 8 bytes of packed dots (set bit a dot, most significant
// bit first) in a malloc'ed buffer, or null for a missing picture, a width
// that is not a multiple of 8 or a failed conversion.
uint8_t *convertDownloadImageToDots(const uint8_t *argb, uint32_t width, uint32_t height);

// Registers convertDownloadImageToDots with the download builders.
void useDownloadImageConversion();

#endif
