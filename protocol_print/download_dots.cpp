#include "protocol_print/download_dots.h"

#include <cstdlib>

#include "imaging/print_setting.h"
#include "imaging/zv_image.h"
#include "protocol/device_commands.h"
#include "protocol_print/printer_dots.h"

uint8_t *convertDownloadImageToDots(const uint8_t *argb, uint32_t width, uint32_t height) {
    if (argb == nullptr || width == 0 || height == 0 || width % 8 != 0) return nullptr;
    ZVImage *image = creatZVImageWithARGBData(argb, width, height);
    if (image == nullptr) return nullptr;
    // A default setting for the picture's size, thresholded without dithering.
    PrintSetting setting;
    creatDefaultPrintSettingWithPrintSize(&setting, width, height);
    setting.grayType = 0;
    uint8_t *dots = nullptr;
    if (getPixByteDataFromRGBAImage(image, setting) == 1 && image->pixByteData != nullptr) {
        // The caller takes the packed plane; the rest of the record goes.
        dots = image->pixByteData;
        image->pixByteData = nullptr;
    }
    freeZVImageData(image);
    std::free(image);
    return dots;
}

void useDownloadImageConversion() { setDownloadDotsConverter(convertDownloadImageToDots); }
