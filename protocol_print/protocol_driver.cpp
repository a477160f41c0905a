#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/debug_log.h"
#include "imaging/print_setting.h"
#include "imaging/zv_image.h"
#include "protocol/image_transfer.h"
#include "protocol/protocol_state.h"
#include "protocol/setting_packets.h"
#include "protocol_print/model_scaling.h"
#include "protocol_print/printer_dots.h"
#include "protocol_print/processing_choice.h"
#include "protocol_print/protocol_print.h"

namespace {

// What differs from model to model on the print path besides the page
// layout (model_scaling.h).
struct ModelDriver {
    uint32_t packageLength;  // largest packet the model takes
    bool silentMode;         // sends the silent-mode setting instead of a speed
    const char *feed;        // feed command after the page: "mode,distance"
};

constexpr ModelDriver kModelDrivers[] = {
    {8192, false, "1,10"},  // 0 LP40
    {2048, false, "1,28"},  // 1 L40
    {4096, false, "1,14"},  // 2 L50
    {8192, false, "1,28"},  // 3 L40A
    {4096, true, "1,36"},   // 4 L40S
    {4096, false, "1,14"},  // 5 L50A
    {4096, false, "1,28"},  // 6 L40S, normal mode
    {4096, false, "1,19"},  // 7 L10
    {4096, false, "1,16"},  // 8 L20
    {4096, false, "1,28"},  // 9 L40_BU
    {4096, false, "1,19"},  // 10 L10, tattoo XL
    {4096, true, "1,36"},   // 11 M10
    {4096, true, "1,36"},   // 12 L40S, tattoo left
};
constexpr int32_t kModelCount = static_cast<int32_t>(sizeof kModelDrivers / sizeof kModelDrivers[0]);

// The job's media type as the printer's paper type.
int paperTypeFor(int32_t mediaTracking) {
    switch (mediaTracking) {
        case 1:
            return 1;
        case 2:
        case 103:
            return 2;
        default:
            return 0;
    }
}

struct FreeDeleter {
    void operator()(uint8_t *p) const { std::free(p); }
};
using Bitmap = std::unique_ptr<uint8_t, FreeDeleter>;

struct ImageDeleter {
    void operator()(ZVImage *image) const {
        freeZVImageData(image);
        std::free(image);
    }
};
using ImagePtr = std::unique_ptr<ZVImage, ImageDeleter>;

// Appends the pack (an empty one as nothing) and frees it.
void append(dynamic_array *array, SendPack pack) {
    if (!isEmptyProtocolPack(pack)) dynamic_array_push_more_data(array, pack.data, pack.length);
    freeSendPack(pack);
}

// Nothing of the page goes out: a setting or feed packet alone would make the
// printer feed a blank page for a page that did not print.
dynamic_array *pageNotPrinted(const char *reason) {
    std::fprintf(stderr, "ERROR: %s; nothing was sent to the printer for this page\n", reason);
    std::fflush(stderr);
    writeLogString("page not sent: %s", reason);
    return nullptr;
}

// A white page of the next multiple of 8 dots in width, the rows at its left.
Bitmap padToWholeBytes(Bitmap page, uint32_t width, uint32_t height, uint32_t *paddedWidth) {
    *paddedWidth = width;
    if (width % 8 == 0) return page;
    const uint32_t wider = (width + 7) / 8 * 8;
    Bitmap padded(static_cast<uint8_t *>(std::malloc(static_cast<size_t>(wider) * height)));
    if (!padded) return nullptr;
    std::memset(padded.get(), 255, static_cast<size_t>(wider) * height);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(padded.get() + static_cast<size_t>(y) * wider, page.get() + static_cast<size_t>(y) * width, width);
    *paddedWidth = wider;
    return padded;
}

dynamic_array *printPage(const uint8_t *page, long width, long height, PrinterSettings *settings, int32_t modelNumber) {
    const ModelDriver &model = kModelDrivers[modelNumber];
    if (!zvProtocolJobCanPrint()) return nullptr;
    if (page == nullptr || width <= 0 || height <= 0 || width > UINT32_MAX || height > UINT32_MAX)
        return pageNotPrinted("The page has no printable size");

    DynamicArrayPtr result(dynamic_array_init(2));
    if (!result) return pageNotPrinted("Unable to allocate memory");
    setMaxDataLengthOnePackage(model.packageLength);

    if (settings->mediaTracking != 255) {
        const int paperType = paperTypeFor(settings->mediaTracking);
        writeLogString("paperType = %d", paperType);
        append(result.get(), setPrinterPrintPaperTypeData(paperType));
    }
    if (model.silentMode) {
        append(result.get(), setPrinterPrintSilentModelData(static_cast<uint8_t>(settings->silentPrint)));
    } else if (settings->printSpeed != 0) {
        append(result.get(), setPrinterPrintSpeedData(static_cast<uint8_t>(settings->printSpeed)));
    }
    char density[256];
    std::snprintf(density, sizeof density, "%ld,8", static_cast<long>(settings->darkness));
    append(result.get(), setPrinterPrintDarknessData(density));
    if (settings->isHCRP != 0) append(result.get(), setPrinterPrintInterfaceData(0));
    writeLogString("speed = %ld, density = %s", static_cast<long>(settings->printSpeed), density);
    writeLogString("w = %ld, h = %ld", width, height);

    uint32_t zoomW = 0;
    uint32_t zoomH = 0;
    Bitmap zoomed(driveBitmapZoomToModel(modelNumber, page, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                         &zoomW, &zoomH));
    if (!zoomed) return pageNotPrinted("The page could not be scaled onto the printer's page");
    writeLogString("zoomW = %ld, zoomH = %ld", static_cast<long>(zoomW), static_cast<long>(zoomH));
    zoomed = padToWholeBytes(std::move(zoomed), zoomW, zoomH, &zoomW);
    if (!zoomed) return pageNotPrinted("Unable to allocate memory for the page");
    writeLogString("final - zoomW = %ld, zoomH = %ld", static_cast<long>(zoomW), static_cast<long>(zoomH));

    ProtocolRoute route = protocolRouteFor(settings->printMode, settings->positioningMode);
    processingRoute(settings->processing, &route);  // a Processing choice other than Automatic decides
    if (route.setsThreshold) setThreshold(222);
    writeLogString("grayType = %ld", static_cast<long>(route.grayType));

    // The scaled page becomes the image's gray plane as it is; the image
    // releases it.
    ImagePtr image(creatZVImage(zoomW, zoomH));
    if (!image) return pageNotPrinted("Unable to allocate memory for the page");
    image->grayData = zoomed.release();
    PrintSetting printSetting;
    creatDefaultPrintSettingWithPrintSize(&printSetting, zoomW, zoomH);
    printSetting.grayType = route.grayType;
    if (driveGetPixByteDataFromGrayImage(image.get(), printSetting) == 0)
        return pageNotPrinted("The page could not be converted to printer dots");

    SendPack imagePackets = driveGetPrintDataFromPixByteData(image.get(), creatDefaultImageProtocolSetting());
    if (isEmptyProtocolPack(imagePackets)) {
        freeSendPack(imagePackets);
        return pageNotPrinted("The page image could not be packed for the printer");
    }
    append(result.get(), imagePackets);
    append(result.get(), setPrinterPrintFeedData(model.feed));
    image.reset();

    writeDebugData(result->data, result->size);
    writeLogString("array.size = %d,array.capacity = %d", static_cast<int>(result->size),
                   static_cast<int>(result->capacity));
    return result.release();
}

}  // namespace

// The encrypting printers take nothing without the family's key and initial
// vector: data encrypted with zero bytes would be garbage to them.
bool zvProtocolJobCanPrint() {
    if (!hasShortHeadODMType() || (hasAES128Key() && hasAES128IV())) return true;
    std::fputs(
        "ERROR: This printer encrypts its data, but the PPD gives no valid AES key and initial vector "
        "(*ZVAttr AESKey and *ZVAttr AESIV, 32 hexadecimal digits each); nothing is sent to the printer\n",
        stderr);
    writeLogString("ODM 163 without AES key and initial vector: nothing sent");
    return false;
}

ProtocolRoute protocolRouteFor(int16_t printMode, int16_t positioningMode) {
    if (printMode == 9) return {6, false};
    if (printMode == 11) return {positioningMode == 0 ? 10u : 11u, false};
    return {0, true};
}

dynamic_array *getZVProtocolPrintData(unsigned char *page, long width, long height, PrinterSettings *settings,
                                      int32_t deviceType) {
    if (settings == nullptr || deviceType < 0 || deviceType >= kModelCount) {
        writeLogString("protocol model %d: no such model", deviceType);
        return pageNotPrinted("The printer model is not a packet-protocol model");
    }
    try {
        return printPage(page, width, height, settings, deviceType);
    } catch (const std::bad_alloc &) {
        return pageNotPrinted("Unable to allocate memory");
    }
}
