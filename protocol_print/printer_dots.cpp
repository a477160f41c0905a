#include "protocol_print/printer_dots.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/debug_log.h"
#include "imaging/ink_separation.h"
#include "imaging/presets.h"
#include "imaging/step_pipeline.h"
#include "protocol/protocol_state.h"
#include "protocol_print/classic_halftone.h"
#include "protocol_print/single_color.h"
#include "protocol_print/text_binarisation.h"

namespace {

constexpr uint8_t kInitialThreshold = 142;
uint8_t imgThresholdValue = kInitialThreshold;

struct FreeDeleter {
    void operator()(uint8_t *p) const { std::free(p); }
};
using Plane = std::unique_ptr<uint8_t, FreeDeleter>;

using Table = std::array<uint8_t, 256>;

// What the RGBA conversions of the routes make of a gray pixel (v, v, v, 255),
// taken from those very conversions, so that a route started from the gray
// plane gives the bytes it gives from the RGBA plane.
const Table &singleGrayTable() {
    static const Table table = [] {
        Table t{};
        for (int v = 0; v < 256; ++v) t[v] = singleGrayOfLevel(static_cast<uint8_t>(v));
        return t;
    }();
    return table;
}

const Table &classicGrayTable() {
    static const Table table = [] {
        std::array<uint8_t, 256 * 3> rgb{};
        for (int v = 0; v < 256; ++v) rgb[3 * v] = rgb[3 * v + 1] = rgb[3 * v + 2] = static_cast<uint8_t>(v);
        Table t{};
        rgb2Gray(rgb.data(), 256, 1, t.data());
        return t;
    }();
    return table;
}

const Table &pipelineGrayTable() {
    static const Table table = [] {
        Table t{};
        ZVImage *ramp = creatZVImage(256, 1);
        std::array<uint8_t, 256 * 4> rgba{};
        for (int v = 0; v < 256; ++v) {
            rgba[4 * v] = rgba[4 * v + 1] = rgba[4 * v + 2] = static_cast<uint8_t>(v);
            rgba[4 * v + 3] = 255;
        }
        if (ramp != nullptr) {
            ramp->rgbaData = rgba.data();
            if (ZVImageConvertRGBA2Gray(ramp) == 0) std::memcpy(t.data(), ramp->grayData, t.size());
            ramp->rgbaData = nullptr;
            freeZVImageData(ramp);
            std::free(ramp);
        }
        return t;
    }();
    return table;
}

// The page a route works on: one gray byte per pixel, from whichever plane
// the image holds. From the gray plane the plane itself is taken over (the
// route consumes it); from RGBA a new plane is made with `fromRgba`.
Plane routeGrayPlane(ZVImage *image, bool fromGray, const Table &table,
                     void (*fromRgba)(const uint8_t *, uint32_t, uint32_t, uint8_t *)) {
    const size_t n = zvImagePixelCount(image->width, image->height);
    if (fromGray) {
        Plane plane(image->grayData);
        image->grayData = nullptr;
        for (size_t i = 0; i < n; ++i) plane.get()[i] = table[plane.get()[i]];
        return plane;
    }
    Plane plane(static_cast<uint8_t *>(std::calloc(n, 1)));
    if (plane) fromRgba(image->rgbaData, image->width, image->height, plane.get());
    return plane;
}

void rgbaToSingleGray(const uint8_t *rgba, uint32_t w, uint32_t h, uint8_t *out) { rgba2SingleGray(rgba, w, h, out); }

void rgbaToClassicGray(const uint8_t *rgba, uint32_t w, uint32_t h, uint8_t *out) {
    // The chain takes RGB: alpha dropped, gray as the chain computes it.
    const size_t n = static_cast<size_t>(w) * h;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t rgb[3] = {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]};
        rgb2Gray(rgb, 1, 1, out + i);
    }
}

// Eight pixels to a byte, most significant bit first: a set bit where the
// table says the pixel's level prints.
void packByTable(const uint8_t *gray, size_t n, const Table &prints, uint8_t *dots) {
    for (size_t i = 0; i + 8 <= n; i += 8) {
        const uint8_t *p = gray + i;
        dots[i / 8] =
            static_cast<uint8_t>(prints[p[0]] << 7 | prints[p[1]] << 6 | prints[p[2]] << 5 | prints[p[3]] << 4 |
                                 prints[p[4]] << 3 | prints[p[5]] << 2 | prints[p[6]] << 1 | prints[p[7]]);
    }
}

// Complement for invertColors, then the turn for rotation 180.
void finishDots(uint8_t *packed, uint64_t count, const PrintSetting &setting) {
    if (setting.invertColors != 0) invertColors(packed, count);
    if (setting.rotation == 180) invertDirection(packed, count);
}

void adoptDots(ZVImage *image, Plane dots) {
    freeZVImagePixByteData(image);
    image->pixByteData = dots.release();
}

struct DotsRoute;
using RouteFn = int (*)(ZVImage *image, const PrintSetting &setting, const DotsRoute &route, bool fromGray);
using PresetFn = uint32_t (*)(ZVImage *image);

// One row of the route table: the grayType values it serves, the conversion,
// the preset it runs (preset routes only), and whether it gives the same
// dots from the gray plane alone as from the RGBA plane made of it, so that
// the driver's pages need no RGBA copy.
struct DotsRoute {
    uint32_t firstGrayType;
    uint32_t lastGrayType;
    RouteFn convert;
    PresetFn preset;
    bool fromGrayPlane;
};

int plainThreshold(ZVImage *image, const PrintSetting &setting, const DotsRoute &, bool fromGray) {
    const uint32_t w = image->width;
    const uint32_t h = image->height;
    // Rows of whole bytes; other widths would not fit the packed plane.
    if (w % 8 != 0) return 0;
    const size_t n = zvImagePixelCount(w, h);
    Plane dots(static_cast<uint8_t *>(std::calloc(n / 8 == 0 ? 1 : n / 8, 1)));
    if (!dots) return 0;
    Table prints{};  // 1 where the gray level's dot prints
    if (setting.grayType == 0 && fromGray) {
        // The conversion and the threshold in one table, straight from the
        // gray plane.
        for (int v = 0; v < 256; ++v) prints[v] = singleGrayTable()[v] <= imgThresholdValue;
        packByTable(image->grayData, n, prints, dots.get());
        freeZVImageGrayData(image);
    } else {
        Plane grayPlane = routeGrayPlane(image, fromGray, singleGrayTable(), rgbaToSingleGray);
        if (!grayPlane) return 0;
        // Type 1 dithers the gray value itself: all three channels of the
        // diffusion carry it (alpha is no colour to diffuse).
        if (setting.grayType == 1) ditherGray(grayPlane.get(), w, h);
        for (int v = 0; v < 256; ++v) prints[v] = v <= imgThresholdValue;
        packByTable(grayPlane.get(), n, prints, dots.get());
    }
    finishDots(dots.get(), n / 8, setting);
    adoptDots(image, std::move(dots));
    return 1;
}

int classicHalftone(ZVImage *image, const PrintSetting &setting, const DotsRoute &, bool fromGray) {
    const uint32_t w = image->width;
    const uint32_t h = image->height;
    if (w % 8 != 0) return 0;
    Plane grayPlane = routeGrayPlane(image, fromGray, classicGrayTable(), rgbaToClassicGray);
    if (!grayPlane) return 0;
    const size_t n = zvImagePixelCount(w, h);
    Plane dots(static_cast<uint8_t *>(std::calloc(n / 8 == 0 ? 1 : n / 8, 1)));
    if (!dots) return 0;

    const SharpeningParam sharpen = creatDefaultSharpeningParam();
    HistogramParam histogram = creatDefaultHistogramParam();
    histogram.regionsX = 30;
    histogram.regionsY = 30;
    histogram.bins = 128;
    histogram.clipLimit = 2;
    const ErrDiffParam diffusion{0, 1, 1};
    PrintParam print = creatDefaultPrintParam();
    print.threshold = imgThresholdValue;
    print.invert = 0;
    print.reverse = setting.rotation == 180 ? 1 : 0;
    if (gray2PrintData(grayPlane.get(), dots.get(), w, h, &sharpen, &histogram,
                       setting.grayType == 2 ? &diffusion : nullptr, print) != 1)
        return 0;
    // The chain has turned the page already; only the complement is left.
    if (setting.invertColors != 0) invertColors(dots.get(), n / 8);
    adoptDots(image, std::move(dots));
    return 1;
}

int textAware(ZVImage *image, const PrintSetting &setting, const DotsRoute &, bool fromGray) {
    const uint32_t w = image->width;
    const uint32_t h = image->height;
    Plane grayPlane = routeGrayPlane(image, fromGray, singleGrayTable(), rgbaToSingleGray);
    if (!grayPlane) return 0;
    const int status = zv_cq_img2bin(grayPlane.get(), w, h, static_cast<int32_t>(setting.grayType));
    if (status != 0) {
        // Standard output carries the printer stream: messages go to CUPS.
        std::fprintf(stderr, "ERROR: 图像二值化错误: %d\n", status);
        writeLogString("图像二值化错误: %d", status);
        return 0;
    }
    uint64_t count = 0;
    Plane dots(zv_BinImg2PrinterData(grayPlane.get(), w, h, &count));
    if (!dots) {
        std::fputs("ERROR: zv_BinImg2PrinterData error\n", stderr);
        writeLogString("zv_BinImg2PrinterData error");
        return 0;
    }
    finishDots(dots.get(), count, setting);
    adoptDots(image, std::move(dots));
    return 1;
}

int presetRoute(ZVImage *image, const PrintSetting &, const DotsRoute &route, bool fromGray) {
    // The pipeline pads the RGBA plane with white, which its gray conversion
    // turns into 254, so only a page without padding can start from gray.
    if (fromGray && image->width % 8 == 0) {
        const Table &table = pipelineGrayTable();
        const size_t n = zvImagePixelCount(image->width, image->height);
        for (size_t i = 0; i < n; ++i) image->grayData[i] = table[image->grayData[i]];
    } else {
        if (fromGray) {
            if (ZVImageConvertGray2RGBA(image) != 0) return 0;
        }
        freeZVImageGrayData(image);
    }
    // A failing preset leaves no dots; it is not a printed page.
    return route.preset(image) == 0 && !isEmptyPixByteData(image) ? 1 : 0;
}

uint32_t tattooWithoutLine(ZVImage *image) { return getZVImageProcessingForA4Tattoo(image, 0, 0); }
uint32_t tattooLineAt120(ZVImage *image) { return getZVImageProcessingForA4Tattoo(image, 1, 120); }
uint32_t tattooLineAt200(ZVImage *image) { return getZVImageProcessingForA4Tattoo(image, 1, 200); }

// grayType values without a row take the text-aware route.
constexpr DotsRoute kTextAwareRoute = {0, 0, textAware, nullptr, true};
constexpr DotsRoute kRoutes[] = {
    {0, 1, plainThreshold, nullptr, true},
    {2, 3, classicHalftone, nullptr, true},
    {9, 9, presetRoute, getZVImageProcessingForA4, true},
    {10, 10, presetRoute, tattooWithoutLine, true},
    {11, 11, presetRoute, tattooLineAt120, true},
    {12, 12, presetRoute, tattooLineAt200, true},
    {61, 61, presetRoute, getZVImageProcessingForA4Soft, true},
    // Histogram-specifies the colour plane before its gray conversion.
    {62, 62, presetRoute, getZVImageProcessingForA4SoftDark, false},
    // Composites the colour plane over white with its own gray weights.
    {13, 13, presetRoute, getZVImageProcessingForSmallSize, false},
    {160, 160, presetRoute, getZVImageProcessingForA4BKInkejtText, true},
    {161, 163, presetRoute, getZVImageProcessingForA4BKInkejtImageMixText, true},
    // Ink dot planes, no packed dots: nothing for this path to send.
    {168, 170, presetRoute, getZVImageProcessingForA4CMYInkejtImageMixText, false},
};

const DotsRoute &routeFor(uint32_t grayType) {
    for (const DotsRoute &route : kRoutes)
        if (grayType >= route.firstGrayType && grayType <= route.lastGrayType) return route;
    return kTextAwareRoute;
}

int convertFromRgba(ZVImage *image, const PrintSetting &setting) {
    if (isEmptyRGBAData(image)) return 0;
    freeZVImageGrayData(image);
    freeZVImagePixByteData(image);
    const DotsRoute &route = routeFor(setting.grayType);
    return route.convert(image, setting, route, false);
}

int convertFromGray(ZVImage *image, const PrintSetting &setting) {
    if (isEmptyGrayData(image)) return 0;
    freeZVImageRGBAData(image);
    freeZVImagePixByteData(image);
    const DotsRoute &route = routeFor(setting.grayType);
    if (route.fromGrayPlane) {
        route.convert(image, setting, route, true);
    } else {
        if (ZVImageConvertGray2RGBA(image) != 0) return 0;
        convertFromRgba(image, setting);
    }
    return isEmptyPixByteData(image) ? 0 : 1;
}

template <typename Convert>
int guarded(Convert convert) {
    try {
        return convert();
    } catch (const std::bad_alloc &) {
        return 0;
    }
}

}  // namespace

uint8_t setThreshold(uint8_t value) {
    imgThresholdValue = value;
    return imgThresholdValue;
}

uint8_t getImgThresholdValue() { return imgThresholdValue; }

uint8_t priva_invertHex(uint8_t byte) { return invertHex(byte); }

int getPixByteDataFromRGBAImage(ZVImage *image, PrintSetting setting) {
    return guarded([&] { return convertFromRgba(image, setting); });
}

int driveGetPixByteDataFromGrayImage(ZVImage *image, PrintSetting setting) {
    return guarded([&] { return convertFromGray(image, setting); });
}

int drivegetPixByteDataFromRGBAImage(ZVImage *image, PrintSetting setting) {
    return guarded([&] {
        convertFromRgba(image, setting);
        return isEmptyPixByteData(image) ? 0 : 1;
    });
}

SendPack driveGetPrintDataFromPixByteData(ZVImage *image, ImageProtocolSetting setting) {
    if (isEmptyPixByteData(image)) return zvGetEmptyProtocolPack();
    return hasShortHeadODMType() ? getAllImageData(image, setting) : getAllCompressImagePart(image, setting);
}

void resetPrinterDotsState() { imgThresholdValue = kInitialThreshold; }
