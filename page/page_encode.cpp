#include "page/page_encode.h"

#include <cups/raster.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoders.h"
#include "encoders/escpos_sequences.h"
#include "page/photo_effect.h"
#include "protocol_print/model_scaling.h"
#include "protocol_print/protocol_print.h"

namespace {

// The two-colour encoder reads 4 bytes per pixel. A page that arrives in
// another colour space is widened to opaque RGBA first, so the encoder reads
// this page's own pixels and nothing past its buffer.
dynamic_array *encodeTwoColorPage(unsigned char *page, long width, long height, const PageSource &source,
                                  PrinterSettings *settings) {
    const long bytesPerLine = source.bytesPerLine;
    const int bytesPerPixel = source.bytesPerPixel;
    if (bytesPerPixel == 4) return getTSPLTwoColorPrintData(page, bytesPerLine, width, height, settings);

    std::vector<unsigned char> rgba;
    try {
        rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    } catch (const std::bad_alloc &) {
        std::fputs("ERROR: Unable to allocate memory for the two-colour page; page skipped\n", stderr);
        return nullptr;
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < pixels; ++i) {
        const unsigned char *pixel = page + i * bytesPerPixel;
        unsigned char *target = rgba.data() + i * 4;
        target[0] = pixel[0];
        target[1] = bytesPerPixel == 3 ? pixel[1] : pixel[0];
        target[2] = bytesPerPixel == 3 ? pixel[2] : pixel[0];
        target[3] = 255;
    }
    return getTSPLTwoColorPrintData(rgba.data(), bytesPerLine / bytesPerPixel * 4, width, height, settings);
}

}  // namespace

int16_t resolvedPrintMode(int16_t printMode, int32_t deviceType) {
    if (printMode != 5) return printMode;
    if (!isZVProtocolPrinter(deviceType)) return 6;
    if (isZVMirroredModel(deviceType)) return 11;
    return 9;
}

void applyPageSettings(PrinterSettings *settings) {
    settings->copies = 1;
    if (settings->printMode != 5) return;
    settings->printMode = resolvedPrintMode(settings->printMode, getDeviceType());
    writeLogString("printMode 5 -> %d", settings->printMode);
}

long maxPrintWidthPixels(const PrinterSettings *settings) {
    if (settings->maxWidthMM <= 0) return 0;
    // The product is formed in 32-bit arithmetic before the division, as the
    // printers' width tables were computed that way.
    const int32_t dotsTimesMM =
        static_cast<int32_t>(static_cast<uint32_t>(settings->maxWidthMM) * static_cast<uint32_t>(settings->resolution));
    return (static_cast<long>(std::trunc(dotsTimesMM / 25.4)) + 7) / 8 * 8;
}

void clipPageWidth(unsigned char *page, long *width, long height, PrinterSettings *settings, int bytesPerPixel) {
    writeLogString("3、Width = %ld,height = %ld", *width, height);
    if (!isZVProtocolPrinter(getDeviceType()) && settings->maxWidthMM > 0)
        subImageLessthenMaxPrintWidthMM(page, width, height, settings, bytesPerPixel);
    writeLogString("4、Width = %ld,height = %ld", *width, height);
}

void setPageSizes(PrinterSettings *settings, long width, long height, double dpi) {
    settings->widthMM = static_cast<int32_t>(std::ceil(width * 25.4 / dpi));
    settings->heightMM = static_cast<int32_t>(std::ceil(height * 25.4 / dpi));
    writeLogString("5、widthMM = %d, heightMM = %d", settings->widthMM, settings->heightMM);
}

dynamic_array *encodePage(unsigned char *page, long width, long height, const PageSource &source,
                          PrinterSettings *settings) {
    const int32_t deviceType = getDeviceType();
    if (isZVProtocolPrinter(deviceType)) {
        applyPhotoEffect(page, width, height, source.pictureWidth, settings->photoEffect);
        return getZVProtocolPrintData(page, width, height, settings, deviceType);
    }
    switch (deviceType) {
        case kDeviceTSPL:
            return getTSPLPrintData(page, width, height, settings);
        case kDeviceZPL:
            return getZPLPrintData(page, width, height, settings);
        case kDeviceCPCL:
            return getCPCLPrintData(page, width, height, settings);
        case kDeviceESC:
            return getESCPrintData(page, width, height, settings);
        case kDeviceSFZPL:
            return getSFZPLPrintData(page, width, height, settings);
        case kDeviceTwoColorTSPL:
            return encodeTwoColorPage(page, width, height, source, settings);
        default:
            return nullptr;
    }
}
void subImageLessthenMaxPrintWidthMM(unsigned char *page, long *width, long height, PrinterSettings *settings,
                                     int bytesPerPixel) {
    if (settings->maxWidthMM <= 0) return;
    const long maxPix = maxPrintWidthPixels(settings);
    writeLogString("maxPix = %d, *width = %d ", static_cast<int>(maxPix), static_cast<int>(*width));
    if (maxPix >= *width || maxPix <= 0) return;

    // Rows only move towards the start of the buffer, so they can be compacted
    // in place from the top without a copy of the page.
    const size_t oldPitch = static_cast<size_t>(*width) * bytesPerPixel;
    const size_t newPitch = static_cast<size_t>(maxPix) * bytesPerPixel;
    for (long row = 1; row < height; ++row)
        std::memmove(page + static_cast<size_t>(row) * newPitch, page + static_cast<size_t>(row) * oldPitch, newPitch);
    *width = maxPix;
}

dynamic_array *buildJobPrologue(const PrinterSettings *settings) {
    if (getDeviceType() != kDeviceESC) return nullptr;
    dynamic_array *prologue = dynamic_array_init_or_die(2);
    addPosInitialize(prologue);
    if (settings->beeper == 4) addPosBeeper(prologue);
    if (settings->cashDrawer == 1 || settings->cashDrawer == 3) addPosCashDrawer1(prologue);
    if (settings->cashDrawer == 2 || settings->cashDrawer == 3) addPosCashDrawer2(prologue);
    return prologue;
}

dynamic_array *buildJobEpilogue(const PrinterSettings *settings) {
    if (getDeviceType() != kDeviceESC) return nullptr;
    dynamic_array *epilogue = dynamic_array_init_or_die(2);
    if (settings->cashDrawer == 4 || settings->cashDrawer == 6) addPosCashDrawer1(epilogue);
    if (settings->cashDrawer == 5 || settings->cashDrawer == 6) addPosCashDrawer2(epilogue);
    if (settings->cutting == 2) addPosCutting(epilogue);
    if (settings->beeper == 3) addPosBeeper(epilogue);
    addPosInitialize(epilogue);
    return epilogue;
}
