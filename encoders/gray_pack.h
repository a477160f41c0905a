// Gray to 1-bit packing shared by every command-language encoder.
//
// Input: 8-bit gray pixels (0 black, 255 white), rows of widthBytes * 8 pixels
// one after another. Output: widthBytes bytes per row, most significant bit
// leftmost, a set bit is a dot to print. The output block must be zeroed by the
// caller: the packer only sets bits.
#ifndef ZV_ENCODERS_GRAY_PACK_H
#define ZV_ENCODERS_GRAY_PACK_H

#include <cstdint>

// Print modes 0 to 5 (compared as unsigned numbers) take the fixed thresholds and
// ordered dithers of old_Gray2Bytes. Larger modes run the image pipeline with a
// fixed flag word: 6 text (plain threshold at 160), 7 picture (Atkinson
// dithering), 8 mixed (bands of text and picture, each with its own brightness
// rule and dither); 9 and above as 6. Should the pipeline fail, the page is
// packed like print mode 1 instead, so the label still prints.
void Gray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height, int printMode);

// The classic packer: 0 black at g <= 128; 1 and 5 (and any other value) black at
// g <= 160; 2, 3 and 4 ordered dithers (8x8 Bayer, 8x8 clustered dot, 16x16 Bayer).
void old_Gray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height, int printMode);

// The pipeline path of Gray2Bytes with any processFlags word, packing at 160.
// Writes every byte of the output block (set bit = dot). Returns the
// pipeline's status: 0 the block holds the pipeline's result; otherwise the
// failure is logged and the block holds the print mode 1 packing of the page.
uint32_t pipelineGray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height,
                            uint32_t processFlags);

#endif
