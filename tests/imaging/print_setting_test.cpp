#include "imaging/print_setting.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PrintSettingDefaults, FillEveryField) {
    PrintSetting setting;
    std::memset(&setting, 0xAB, sizeof setting);
    EXPECT_EQ(creatDefaultPrintSetting(&setting), &setting);
    EXPECT_EQ(setting.printWidth, 0u);
    EXPECT_EQ(setting.printHeight, 0u);
    EXPECT_EQ(setting.spareValue, 0u);
    EXPECT_EQ(setting.rotation, 0u);
    EXPECT_EQ(setting.invertColors, 0u);
    EXPECT_EQ(setting.keepWidth, 0u);
    EXPECT_EQ(setting.grayType, 6u);
    EXPECT_EQ(setting.spareFlag, 1u);
    EXPECT_EQ(creatDefaultPrintSetting(nullptr), nullptr);
}

TEST(PrintSettingDefaults, WithPrintSize) {
    PrintSetting setting;
    std::memset(&setting, 0xAB, sizeof setting);
    EXPECT_EQ(creatDefaultPrintSettingWithPrintSize(&setting, 384, 200), &setting);
    EXPECT_EQ(setting.printWidth, 384u);
    EXPECT_EQ(setting.printHeight, 200u);
    EXPECT_EQ(setting.rotation, 0u);
    EXPECT_EQ(setting.keepWidth, 0u);
    EXPECT_EQ(setting.grayType, 6u);
    EXPECT_EQ(setting.spareFlag, 1u);
}

TEST(ImageProcessingSettingDefaults, FillEveryField) {
    ImageProcessingSetting setting;
    std::memset(&setting, 0xAB, sizeof setting);
    EXPECT_EQ(creatDefaultImageProcessingSetting(&setting), &setting);
    EXPECT_EQ(setting.scanMode, 1u);
    EXPECT_EQ(setting.randomThreshold, 1u);
    EXPECT_EQ(setting.threshold, 128u);
    EXPECT_EQ(setting.processFlags, 0u);
    EXPECT_EQ(setting.sharpenAmount, 4.0f);
    EXPECT_EQ(setting.sharpenRadius, 2u);
    EXPECT_EQ(setting.tattooLineRow, 120u);
    EXPECT_EQ(creatDefaultImageProcessingSetting(nullptr), nullptr);
}

}  // namespace
