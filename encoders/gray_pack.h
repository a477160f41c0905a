// Gray to 1-bit packing shared by every command-language encoder.
//
// Input: 8-bit gray pixels (0 black, 255 white), rows of widthBytes * 8 pixels
// one after another. Output: widthBytes bytes per row, most significant bit
// leftmost, a set bit is a dot to print. The output block must be zeroed by the
// caller: the packer only sets bits.
#ifndef ZV_ENCODERS_GRAY_PACK_H
#define ZV_ENCODERS_GRAY_PACK_H

// Print modes 0 to 5 (compared as unsigned numbers) take the fixed thresholds and
// ordered dithers of old_Gray2Bytes; larger modes belong to the image pipeline.
void Gray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height, int printMode);

// The classic packer: 0 black at g <= 128; 1 and 5 (and any other value) black at
// g <= 160; 2, 3 and 4 ordered dithers (8x8 Bayer, 8x8 clustered dot, 16x16 Bayer).
void old_Gray2Bytes(const unsigned char *gray, unsigned char *out, long widthBytes, long height, int printMode);

#endif
