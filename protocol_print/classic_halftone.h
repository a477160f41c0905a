// The classic halftoning chain of the protocol printers: RGB to gray,
// unsharp masking, contrast-limited adaptive histogram equalisation, optional
// error diffusion, thresholded packing and an optional turn by 180 degrees.
//
// A stage runs when its parameter record is given. Its working buffer may come
// from the caller in `buffer` (width * height bytes); otherwise the chain
// allocates one for the call. Gray images are one byte per pixel, rows without
// padding, 0 black, 255 white.
#ifndef ZV_PROTOCOL_PRINT_CLASSIC_HALFTONE_H
#define ZV_PROTOCOL_PRINT_CLASSIC_HALFTONE_H

#include <cstdint>

struct SingleColorDataParam {
    uint8_t *buffer;  // gray working buffer, or none
};

struct SharpeningParam {
    uint8_t *buffer;
    // Carried for the callers that fill them; the stage sharpens with radius
    // 2 and amount 1.5 whatever they hold.
    uint8_t reserved1;
    uint8_t reserved2;
};

struct HistogramParam {
    uint8_t *buffer;
    uint8_t regionsX;  // first region count tried across
    uint8_t regionsY;  // and down
    uint8_t bins;
    uint8_t clipLimit;
};

struct ErrDiffParam {
    int32_t method;         // 0 Stucki, 1 Floyd-Steinberg
    int32_t twoLevel;       // 1 black and white, 0 sixteen gray levels
    int32_t bestThreshold;  // 1: search the threshold (Otsu), else 0
};

struct PrintParam {
    uint8_t threshold;  // a gray value below it is a dot
    int32_t invert;     // 1: complement the packed bytes
    int32_t reverse;    // 1: turn the packed page by 180 degrees
};

// The colour equalisation and the debug outputs of the chain are not part of
// this driver; the chain is run without them (nullptr).
struct ColorEqualizationParam;
struct HalftoneDebugOutputs;

SingleColorDataParam creatDefaultSingleColorDataParam();  // no buffer
SharpeningParam creatDefaultSharpeningParam();            // no buffer, 2, 2
HistogramParam creatDefaultHistogramParam();              // no buffer, 2, 2, 128 bins, clip 5
ErrDiffParam creatDefaultErrDiffParam();                  // Stucki, two levels, threshold searched
PrintParam creatDefaultPrintParam();                      // threshold 128, no inversion, no turn

// Runs the chain on w x h RGB pixels into `packed`, w * h / 8 zero-filled
// bytes, one bit per pixel in raster order, most significant bit first, a set
// bit a dot. 1 done; 0 refused (no input or output, w not a multiple of 8, an
// empty or, with error diffusion, a wider or taller page than 65535, a colour
// equalisation or debug outputs asked for) or a buffer could not be allocated,
// with `packed` untouched.
int rgb2PrintData(const uint8_t *rgb, uint8_t *packed, uint32_t w, uint32_t h, const ColorEqualizationParam *colorEq,
                  const SingleColorDataParam *singleColor, const SharpeningParam *sharpen,
                  const HistogramParam *histogram, const ErrDiffParam *errDiff, PrintParam print,
                  HalftoneDebugOutputs *debug);

// The same chain from the gray image on: `grayImage` (w * h bytes) is the
// working image and is changed. For callers whose page is already gray.
int gray2PrintData(uint8_t *grayImage, uint8_t *packed, uint32_t w, uint32_t h, const SharpeningParam *sharpen,
                   const HistogramParam *histogram, const ErrDiffParam *errDiff, PrintParam print);

// ---- stages ---------------------------------------------------------------

// g = (R * 0.2989 + G * 0.587) + B * 0.114 in single precision, truncated,
// at most 255. A white pixel becomes 254.
void rgb2Gray(const uint8_t *rgb, uint32_t w, uint32_t h, uint8_t *grayImage);

// Separable Gaussian blur, sigma radius / 2, edges repeated, each pass
// truncated. 0 done, 2 no memory.
int gaussianBlur_temp(const uint8_t *source, uint8_t *blurred, uint32_t w, uint32_t h, uint16_t radius);

// p + trunc(amount * (p - blurred p)), clamped. 0 done, 2 no memory.
int sharpening(const uint8_t *source, uint8_t *destination, uint32_t w, uint32_t h, uint16_t radius, float amount);

// Copies source to destination and equalises it with CLAHE: region counts
// from regionsX / regionsY upward, the first that divides the side (the start
// value itself when only the side does); passed through unchanged when no
// count up to 255 divides it or the CLAHE refuses.
void imageHeightenHistogram(const uint8_t *source, uint8_t *destination, uint32_t w, uint32_t h, uint8_t regionsX,
                            uint8_t regionsY, uint8_t bins, uint8_t clipLimit);

// Otsu's threshold: the first t with the highest between-class score above
// 0, or 0 when none scores above 0.
uint8_t getBestThreshold(const uint8_t *grayImage, uint32_t w, uint32_t h);

// Error diffusion in place with method 0 (Stucki, /42) or 1 (Floyd-Steinberg,
// /16), two-level at threshold t (127 for t = 0) or sixteen-level. Column 0
// never receives error. Other methods or levels leave the image as it is.
void errDiffImg(uint8_t *grayImage, uint32_t w, uint32_t h, int32_t method, int32_t twoLevel, uint8_t threshold);

// Quantisation of one pixel: the new value, with its error stored.
uint8_t getBinDiffFromErrDiff(uint8_t pixel, uint8_t threshold, int32_t *error);
uint8_t getGray16DiffFromErrDiff(uint8_t pixel, int32_t *error);

// Spreading the error of pixel (x, y) to the pixels after it.
void m2errDiff(uint8_t *grayImage, uint32_t w, uint32_t h, uint32_t x, uint32_t y, int32_t error);
void m3errDiff(uint8_t *grayImage, uint32_t w, uint32_t h, uint32_t x, uint32_t y, int32_t error);
// Adds error * weight / divisor (truncated) to pixel (x, y), clamped to
// 0..255; nothing outside the image or in column 0.
void errDiffWritePixel(uint8_t *grayImage, uint32_t w, uint32_t h, int64_t x, int64_t y, int32_t error, int32_t weight,
                       int32_t divisor);

// Packs n pixels in raster order, a pixel below the threshold a set bit.
void gray2BinByte(const uint8_t *grayImage, uint64_t n, uint8_t *packed, uint8_t threshold);

// Complements `count` bytes in place.
void invertColors(uint8_t *packed, uint64_t count);

// Turns `count` packed bytes by 180 degrees in place: byte order reversed and
// the bits of every byte mirrored.
void invertDirection(uint8_t *packed, uint64_t count);

// The byte with its bit order reversed.
uint8_t invertHex(uint8_t byte);

#endif
