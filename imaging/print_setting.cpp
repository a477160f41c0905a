#include "imaging/print_setting.h"

PrintSetting *creatDefaultPrintSetting(PrintSetting *setting) {
    if (setting == nullptr) return nullptr;
    *setting = PrintSetting{};
    setting->grayType = 6;
    setting->spareFlag = 1;
    return setting;
}

PrintSetting *creatDefaultPrintSettingWithPrintSize(PrintSetting *setting, uint32_t width, uint32_t height) {
    if (creatDefaultPrintSetting(setting) == nullptr) return nullptr;
    setting->printWidth = width;
    setting->printHeight = height;
    return setting;
}

ImageProcessingSetting *creatDefaultImageProcessingSetting(ImageProcessingSetting *setting) {
    if (setting == nullptr) return nullptr;
    *setting = ImageProcessingSetting{};
    setting->scanMode = 1;
    setting->randomThreshold = 1;
    setting->threshold = 128;
    setting->processFlags = 0;
    setting->sharpenAmount = 4.0f;
    setting->sharpenRadius = 2;
    setting->tattooLineRow = 120;
    return setting;
}
