// Text-aware binarisation of a gray page for the protocol printers.
//
// The page (and, unless it is text as a whole, every band of content between
// blank rows) is judged text or picture from its gray histogram. Text gets a
// darkening tone curve and Stucki error diffusion at a fixed threshold;
// pictures a lightening curve and the jittered Floyd-Steinberg diffusion.
// Blank rows (every pixel 253 or more) between the bands become pure white.
//
// Pages are 8-bit gray, 0 black, 255 white, rows without padding, changed in
// place; afterwards every byte is 0 (a dot) or 255.
#ifndef ZV_PROTOCOL_PRINT_TEXT_BINARISATION_H
#define ZV_PROTOCOL_PRINT_TEXT_BINARISATION_H

#include <cstdint>

// Type codes with a behaviour of their own: 7 and 8 below; 5 diffuses
// pictures with Stucki as well; 63 takes pictures through the lifted tone
// curve. Every other value (the print path's 6 among them) takes the default.
enum : int32_t {
    ZVImagePrintEffectTypeText = 7,    // always text, never cut into bands
    ZVImagePrintEffectTypeTattoo = 8,  // highlights lifted first; text dithered
};

// Binarises the page in place. 0 on success, otherwise the nonzero result of
// the band that failed (-1: the page is missing or a work buffer could not
// be allocated).
int zv_cq_img2bin(uint8_t *page, uint32_t w, uint32_t h, int32_t type);

// 1 when the whole page looks like text, 0 for a picture, -1 without a page.
int isText(const uint8_t *page, uint32_t w, uint32_t h);

// Classifies and binarises `rows` rows in place: 0, or -1 when the rows are
// missing or the diffusion's buffer cannot be allocated.
int zv_img2bin(uint8_t *rows, uint32_t w, uint32_t rowCount, int32_t type);

// Stucki error diffusion at threshold 130 in place: 0, or -1 as above.
int zv_imgdiff(uint8_t *rows, uint32_t w, uint32_t rowCount);

// Jittered Floyd-Steinberg dithering in place (the diffusion of
// single_color.h on the gray value): 0, or -1 without rows.
int zv_cq_dither(uint8_t *rows, uint32_t w, uint32_t rowCount);

// Packs a binarised page eight pixels to a byte, most significant bit first,
// each bit the top bit of 255 - pixel at its position (a pixel of 0 is a
// dot). Returns a malloc'ed buffer of w * h / 8 bytes and stores that count;
// nullptr (count 0) for a missing page, a width that is not a multiple of 8,
// or no memory.
uint8_t *zv_BinImg2PrinterData(const uint8_t *page, uint32_t w, uint32_t h, uint64_t *byteCount);

#endif
