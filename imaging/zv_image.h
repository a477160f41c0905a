// The image record every image operation takes and returns: a size and up to
// eight optional pixel planes. A plane that has not been produced is null.
//
// Every plane is its own malloc'ed allocation owned by the record; the record
// itself is malloc'ed too. Release a record with freeZVImageData followed by
// free(record), or freeZVImageDataArray for an array of records.
//
// All planes hold rows top to bottom without padding. The packed plane runs
// continuously over the whole image: pixel i = y*width + x lives in byte i/8 at
// bit 7 - i%8, so rows start on a byte boundary only when width is a multiple
// of 8.
//
// Plane sizes are computed in 64-bit arithmetic; a size that would not fit in
// memory makes creation return null and conversions return 2.
#ifndef ZV_IMAGING_ZV_IMAGE_H
#define ZV_IMAGING_ZV_IMAGE_H

#include <cstddef>
#include <cstdint>

struct ZVImage {
    uint32_t width;
    uint32_t height;
    uint8_t *rgbaData;     // R, G, B, A per pixel
    uint8_t *grayData;     // 0 black .. 255 white
    uint8_t *pixData;      // 255 dot, 0 no dot
    uint8_t *pixByteData;  // 1 bit per pixel, set bit = dot, MSB first
    uint8_t *cmyData;      // C, M, Y per pixel, 0 no ink .. 255 full ink
    uint8_t *cPixData;     // cyan dots, 255 = dot
    uint8_t *mPixData;     // magenta dots
    uint8_t *yPixData;     // yellow dots
};

// Plane sizes in bytes; 0 when the size does not fit in size_t.
size_t zvImagePixelCount(uint32_t width, uint32_t height);
size_t zvImagePackedSize(uint32_t width, uint32_t height);

// Creation: a new record, or null when a source is missing, a size is 0 or an
// allocation fails. Planes not named stay null.
ZVImage *creatZVImage(uint32_t width, uint32_t height);
ZVImage *creatZVImageWithRGBAData(const uint8_t *rgba, uint32_t width, uint32_t height);
ZVImage *creatZVImageWithARGBData(const uint8_t *argb, uint32_t width, uint32_t height);
ZVImage *creatZVImageWithGrayData(const uint8_t *gray, uint32_t width, uint32_t height);
ZVImage *creatZVImageWithPixData(const uint8_t *pix, uint32_t width, uint32_t height);
ZVImage *creatZVImageWithPixByteData(const uint8_t *packed, uint32_t width, uint32_t height);
ZVImage *creatZVImageWithCMYPixData(const uint8_t *c, const uint8_t *m, const uint8_t *y, uint32_t width,
                                    uint32_t height);

// Copy with every present plane duplicated and every absent one left absent.
ZVImage *deepCopyZVImage(const ZVImage *image);

// True when the image is missing, has a zero size, or lacks the plane(s).
bool isEmptyZVImageData(const ZVImage *image);  // neither RGBA nor gray
bool isEmptyRGBAData(const ZVImage *image);
bool isEmptyGrayData(const ZVImage *image);
bool isEmptyPixData(const ZVImage *image);
bool isEmptyPixByteData(const ZVImage *image);
bool isEmptyCMYData(const ZVImage *image);
bool isEmptyCMYPixData(const ZVImage *image);  // any of the three ink planes

// Conversions replace the target plane. Status: 0 done, 1 source plane missing
// or image empty, 2 allocation failed (target plane then absent, source kept).
int ZVImageConvertRGBA2Gray(ZVImage *image);
int ZVImageConvertGray2RGBA(ZVImage *image);
int ZVImageConvertRGBA2CMY(ZVImage *image);
int ZVImageConvertCMY2RGBA(ZVImage *image);
// Bit set (dot) where gray < threshold.
int ZVImageConvertGray2PixByte(ZVImage *image, int threshold);
int ZVImageConvertPix2PixByte(ZVImage *image);
int ZVImageConvertPixByte2Pix(ZVImage *image);

// Complements every byte of the packed plane. 0 done, 1 when the plane is
// missing (nothing changes).
int ZVImagePixByteInvertColors(ZVImage *image);

// Release planes; each accepts a null record or an absent plane.
void freeZVImageData(ZVImage *image);  // all planes, the record stays
void freeZVImageRGBAData(ZVImage *image);
void freeZVImageGrayData(ZVImage *image);
void freeZVImagePixData(ZVImage *image);
void freeZVImagePixByteData(ZVImage *image);
void freeZVImageCMYData(ZVImage *image);
void freeZVImageCPixData(ZVImage *image);
void freeZVImageMPixData(ZVImage *image);
void freeZVImageYPixData(ZVImage *image);

// For each of the first count entries: release its planes and the record and set
// the entry to null. Null entries are skipped; the array stays with the caller.
void freeZVImageDataArray(ZVImage **images, uint32_t count);

#endif
