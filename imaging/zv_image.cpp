#include "imaging/zv_image.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kMaxSize = std::numeric_limits<size_t>::max();

// width*height*bytesPerPixel, or 0 when it would not fit.
size_t planeSize(uint32_t width, uint32_t height, size_t bytesPerPixel) {
    const size_t pixels = zvImagePixelCount(width, height);
    if (pixels == 0 || pixels > kMaxSize / bytesPerPixel) return 0;
    return pixels * bytesPerPixel;
}

uint8_t *copyPlane(const uint8_t *source, size_t size) {
    if (source == nullptr || size == 0) return nullptr;
    auto *plane = static_cast<uint8_t *>(std::malloc(size));
    if (plane != nullptr) std::memcpy(plane, source, size);
    return plane;
}

void releasePlane(uint8_t *&plane) {
    std::free(plane);
    plane = nullptr;
}

bool hasSize(const ZVImage *image) { return image != nullptr && image->width != 0 && image->height != 0; }

// A record holding one freshly copied plane, or null.
ZVImage *creatWithPlane(const uint8_t *source, uint32_t width, uint32_t height, size_t size, uint8_t *ZVImage::*plane) {
    if (source == nullptr || size == 0) return nullptr;
    ZVImage *image = creatZVImage(width, height);
    if (image == nullptr) return nullptr;
    image->*plane = copyPlane(source, size);
    if (image->*plane == nullptr) {
        std::free(image);
        return nullptr;
    }
    return image;
}

// Releases the target plane and allocates a new one of `size` bytes.
uint8_t *replacePlane(uint8_t *&target, size_t size, bool zeroed) {
    releasePlane(target);
    if (size == 0) return nullptr;
    target = static_cast<uint8_t *>(zeroed ? std::calloc(size, 1) : std::malloc(size));
    return target;
}

}  // namespace

size_t zvImagePixelCount(uint32_t width, uint32_t height) {
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (pixels > kMaxSize) return 0;
    return static_cast<size_t>(pixels);
}

size_t zvImagePackedSize(uint32_t width, uint32_t height) {
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    const uint64_t bytes = pixels / 8 + (pixels % 8 != 0 ? 1 : 0);
    if (bytes > kMaxSize) return 0;
    return static_cast<size_t>(bytes);
}

ZVImage *creatZVImage(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) return nullptr;
    auto *image = static_cast<ZVImage *>(std::calloc(1, sizeof(ZVImage)));
    if (image == nullptr) return nullptr;
    image->width = width;
    image->height = height;
    return image;
}

ZVImage *creatZVImageWithRGBAData(const uint8_t *rgba, uint32_t width, uint32_t height) {
    return creatWithPlane(rgba, width, height, planeSize(width, height, 4), &ZVImage::rgbaData);
}

ZVImage *creatZVImageWithARGBData(const uint8_t *argb, uint32_t width, uint32_t height) {
    ZVImage *image = creatWithPlane(argb, width, height, planeSize(width, height, 4), &ZVImage::rgbaData);
    if (image == nullptr) return nullptr;
    const size_t pixels = zvImagePixelCount(width, height);
    uint8_t *p = image->rgbaData;
    for (size_t i = 0; i < pixels; ++i, p += 4) {
        const uint8_t a = p[0];
        p[0] = p[1];
        p[1] = p[2];
        p[2] = p[3];
        p[3] = a;
    }
    return image;
}

ZVImage *creatZVImageWithGrayData(const uint8_t *gray, uint32_t width, uint32_t height) {
    return creatWithPlane(gray, width, height, planeSize(width, height, 1), &ZVImage::grayData);
}

ZVImage *creatZVImageWithPixData(const uint8_t *pix, uint32_t width, uint32_t height) {
    return creatWithPlane(pix, width, height, planeSize(width, height, 1), &ZVImage::pixData);
}

ZVImage *creatZVImageWithPixByteData(const uint8_t *packed, uint32_t width, uint32_t height) {
    return creatWithPlane(packed, width, height, zvImagePackedSize(width, height), &ZVImage::pixByteData);
}

ZVImage *creatZVImageWithCMYPixData(const uint8_t *c, const uint8_t *m, const uint8_t *y, uint32_t width,
                                    uint32_t height) {
    if (c == nullptr || m == nullptr || y == nullptr) return nullptr;
    const size_t size = planeSize(width, height, 1);
    ZVImage *image = creatWithPlane(c, width, height, size, &ZVImage::cPixData);
    if (image == nullptr) return nullptr;
    image->mPixData = copyPlane(m, size);
    image->yPixData = copyPlane(y, size);
    if (image->mPixData == nullptr || image->yPixData == nullptr) {
        freeZVImageData(image);
        std::free(image);
        return nullptr;
    }
    return image;
}

ZVImage *deepCopyZVImage(const ZVImage *image) {
    if (!hasSize(image)) return nullptr;
    const uint32_t w = image->width;
    const uint32_t h = image->height;
    ZVImage *copy = creatZVImage(w, h);
    if (copy == nullptr) return nullptr;

    struct PlaneSpec {
        uint8_t *ZVImage::*plane;
        size_t size;
    };
    const PlaneSpec planes[] = {
        {&ZVImage::rgbaData, planeSize(w, h, 4)}, {&ZVImage::grayData, planeSize(w, h, 1)},
        {&ZVImage::pixData, planeSize(w, h, 1)},  {&ZVImage::pixByteData, zvImagePackedSize(w, h)},
        {&ZVImage::cmyData, planeSize(w, h, 3)},  {&ZVImage::cPixData, planeSize(w, h, 1)},
        {&ZVImage::mPixData, planeSize(w, h, 1)}, {&ZVImage::yPixData, planeSize(w, h, 1)},
    };
    for (const PlaneSpec &spec : planes) {
        const uint8_t *source = image->*spec.plane;
        if (source == nullptr) continue;
        copy->*spec.plane = copyPlane(source, spec.size);
        if (copy->*spec.plane == nullptr) {
            freeZVImageData(copy);
            std::free(copy);
            return nullptr;
        }
    }
    return copy;
}

bool isEmptyZVImageData(const ZVImage *image) {
    return !hasSize(image) || (image->rgbaData == nullptr && image->grayData == nullptr);
}
bool isEmptyRGBAData(const ZVImage *image) { return !hasSize(image) || image->rgbaData == nullptr; }
bool isEmptyGrayData(const ZVImage *image) { return !hasSize(image) || image->grayData == nullptr; }
bool isEmptyPixData(const ZVImage *image) { return !hasSize(image) || image->pixData == nullptr; }
bool isEmptyPixByteData(const ZVImage *image) { return !hasSize(image) || image->pixByteData == nullptr; }
bool isEmptyCMYData(const ZVImage *image) { return !hasSize(image) || image->cmyData == nullptr; }
bool isEmptyCMYPixData(const ZVImage *image) {
    return !hasSize(image) || image->cPixData == nullptr || image->mPixData == nullptr || image->yPixData == nullptr;
}

int ZVImageConvertRGBA2Gray(ZVImage *image) {
    if (isEmptyRGBAData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *gray = replacePlane(image->grayData, planeSize(image->width, image->height, 1), false);
    if (gray == nullptr) return 2;
    const uint8_t *p = image->rgbaData;
    for (size_t i = 0; i < pixels; ++i, p += 4) {
        // Single precision, summed in this order, truncated toward zero.
        const float value = (static_cast<float>(p[0]) * 0.2989f + static_cast<float>(p[1]) * 0.587f) +
                            static_cast<float>(p[2]) * 0.114f;
        const int level = static_cast<int>(value);
        gray[i] = static_cast<uint8_t>(level > 255 ? 255 : level);
    }
    return 0;
}

int ZVImageConvertGray2RGBA(ZVImage *image) {
    if (isEmptyGrayData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *rgba = replacePlane(image->rgbaData, planeSize(image->width, image->height, 4), false);
    if (rgba == nullptr) return 2;
    const uint8_t *gray = image->grayData;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        rgba[0] = rgba[1] = rgba[2] = gray[i];
        rgba[3] = 255;
    }
    return 0;
}

int ZVImageConvertRGBA2CMY(ZVImage *image) {
    if (isEmptyRGBAData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *cmy = replacePlane(image->cmyData, planeSize(image->width, image->height, 3), false);
    if (cmy == nullptr) return 2;
    const uint8_t *p = image->rgbaData;
    for (size_t i = 0; i < pixels; ++i, p += 4, cmy += 3) {
        cmy[0] = static_cast<uint8_t>(255 - p[0]);
        cmy[1] = static_cast<uint8_t>(255 - p[1]);
        cmy[2] = static_cast<uint8_t>(255 - p[2]);
    }
    return 0;
}

int ZVImageConvertCMY2RGBA(ZVImage *image) {
    if (isEmptyCMYData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *rgba = replacePlane(image->rgbaData, planeSize(image->width, image->height, 4), false);
    if (rgba == nullptr) return 2;
    const uint8_t *c = image->cmyData;
    for (size_t i = 0; i < pixels; ++i, c += 3, rgba += 4) {
        rgba[0] = static_cast<uint8_t>(255 - c[0]);
        rgba[1] = static_cast<uint8_t>(255 - c[1]);
        rgba[2] = static_cast<uint8_t>(255 - c[2]);
        rgba[3] = 255;
    }
    return 0;
}

int ZVImageConvertGray2PixByte(ZVImage *image, int threshold) {
    if (isEmptyGrayData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *packed = replacePlane(image->pixByteData, zvImagePackedSize(image->width, image->height), true);
    if (packed == nullptr) return 2;
    const uint8_t *gray = image->grayData;
    // Whole bytes first, eight pixels each without a read-modify-write.
    const size_t whole = pixels / 8;
    for (size_t b = 0; b < whole; ++b) {
        const uint8_t *g = gray + 8 * b;
        unsigned byte = 0;
        for (unsigned k = 0; k < 8; ++k) byte |= static_cast<unsigned>(static_cast<int>(g[k]) < threshold) << (7 - k);
        packed[b] = static_cast<uint8_t>(byte);
    }
    for (size_t i = whole * 8; i < pixels; ++i) {
        if (static_cast<int>(gray[i]) < threshold) {
            packed[i >> 3] |= static_cast<uint8_t>(0x80u >> (i & 7));
        }
    }
    return 0;
}

int ZVImageConvertPix2PixByte(ZVImage *image) {
    if (isEmptyPixData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *packed = replacePlane(image->pixByteData, zvImagePackedSize(image->width, image->height), true);
    if (packed == nullptr) return 2;
    const uint8_t *pix = image->pixData;
    for (size_t i = 0; i < pixels; ++i) {
        if (pix[i] != 0) packed[i >> 3] |= static_cast<uint8_t>(0x80u >> (i & 7));
    }
    return 0;
}

int ZVImageConvertPixByte2Pix(ZVImage *image) {
    if (isEmptyPixByteData(image)) return 1;
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    uint8_t *pix = replacePlane(image->pixData, planeSize(image->width, image->height, 1), false);
    if (pix == nullptr) return 2;
    const uint8_t *packed = image->pixByteData;
    for (size_t i = 0; i < pixels; ++i) {
        pix[i] = (packed[i >> 3] & (0x80u >> (i & 7))) != 0 ? 255 : 0;
    }
    return 0;
}

int ZVImagePixByteInvertColors(ZVImage *image) {
    if (isEmptyPixByteData(image)) return 1;
    const size_t size = zvImagePackedSize(image->width, image->height);
    uint8_t *packed = image->pixByteData;
    for (size_t i = 0; i < size; ++i) packed[i] = static_cast<uint8_t>(~packed[i]);
    return 0;
}

void freeZVImageRGBAData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->rgbaData);
}
void freeZVImageGrayData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->grayData);
}
void freeZVImagePixData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->pixData);
}
void freeZVImagePixByteData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->pixByteData);
}
void freeZVImageCMYData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->cmyData);
}
void freeZVImageCPixData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->cPixData);
}
void freeZVImageMPixData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->mPixData);
}
void freeZVImageYPixData(ZVImage *image) {
    if (image != nullptr) releasePlane(image->yPixData);
}

void freeZVImageData(ZVImage *image) {
    freeZVImageRGBAData(image);
    freeZVImageGrayData(image);
    freeZVImagePixData(image);
    freeZVImagePixByteData(image);
    freeZVImageCMYData(image);
    freeZVImageCPixData(image);
    freeZVImageMPixData(image);
    freeZVImageYPixData(image);
}

void freeZVImageDataArray(ZVImage **images, uint32_t count) {
    if (images == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) {
        freeZVImageData(images[i]);
        std::free(images[i]);
        images[i] = nullptr;
    }
}
