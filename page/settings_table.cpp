#include "page/settings_table.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/debug_log.h"
#include "core/lenient_number.h"

namespace zvsettings {

namespace {

// Every row that has a PPD summary line has a place of its own in it.
constexpr bool summaryRanksAreDistinct() {
    for (const SettingRow &a : kSettingRows)
        for (const SettingRow &b : kSettingRows)
            if (&a != &b && a.ppdSummaryLabel != nullptr && b.ppdSummaryLabel != nullptr &&
                a.ppdSummaryRank == b.ppdSummaryRank)
                return false;
    return true;
}
static_assert(summaryRanksAreDistinct(), "two settings share a place in the PPD summary");

}  // namespace

bool languageFor(int32_t deviceType, Language *language) {
    switch (deviceType) {
        case kDeviceTSPL:
            *language = Language::TSPL;
            return true;
        case kDeviceTwoColorTSPL:
            *language = Language::TwoColourTSPL;
            return true;
        case kDeviceZPL:
        case kDeviceSFZPL:
            *language = Language::ZPL;
            return true;
        case kDeviceCPCL:
            *language = Language::CPCL;
            return true;
        case kDeviceESC:
            *language = Language::ESCPOS;
            return true;
        default:
            if (!isZVProtocolPrinter(deviceType) || deviceType < 0) return false;
            *language = Language::Protocol;
            return true;
    }
}

const ValueRange &rangeFor(const SettingRow &row, Language language) {
    switch (language) {
        case Language::TSPL:
            return row.ranges.tspl;
        case Language::TwoColourTSPL:
            return row.ranges.twoColourTspl;
        case Language::ZPL:
            return row.ranges.zpl;
        case Language::CPCL:
            return row.ranges.cpcl;
        case Language::ESCPOS:
            return row.ranges.escpos;
        case Language::Protocol:
            break;
    }
    return row.ranges.protocol;
}

void storeOptionSetting(const SettingRow &row, PrinterSettings *settings, const char *text) {
    Language language;
    if (!languageFor(getDeviceType(), &language) || !rangeFor(row, language).limited) {
        storeSetting(row, settings, text);
        return;
    }
    const ValueRange &limits = rangeFor(row, language);
    const int64_t value = parseLeadingInt64Saturated(text);
    const int64_t kept = std::clamp(value, limits.low, limits.high);
    if (kept != value) {
        const std::string name(row.option);
        std::fprintf(stderr, "WARNING: Option %s=%s is outside %lld to %lld for this printer; %lld is used\n",
                     name.c_str(), text != nullptr ? text : "", static_cast<long long>(limits.low),
                     static_cast<long long>(limits.high), static_cast<long long>(kept));
        writeLogString("option %s clamped to %lld", name.c_str(), static_cast<long long>(kept));
    }
    storeSettingValue(row, settings, kept);
}

void fitOffsetsToPage(const PrinterSettings &job, PrinterSettings *settings, long width, long height,
                      OffsetWarnings *warnings) {
    Language language;
    if (!languageFor(getDeviceType(), &language)) return;
    for (size_t r = 0; r < std::size(kSettingRows); ++r) {
        const SettingRow &row = kSettingRows[r];
        if (row.pageAxis == PageAxis::None || !rangeFor(row, language).limited) continue;
        const long pageDots = row.pageAxis == PageAxis::Across ? width : height;
        const int64_t chosen = settingValue(row, &job);
        const int64_t kept = std::clamp<int64_t>(chosen, 0, pageDots);
        storeSettingValue(row, settings, kept);
        if (kept == chosen || warnings->warned[r]) continue;
        warnings->warned[r] = true;
        const std::string name(row.option);
        std::fprintf(stderr, "WARNING: %s offset %lld is beyond the %ld-dot page; %lld is used\n", name.c_str(),
                     static_cast<long long>(chosen), pageDots, static_cast<long long>(kept));
        writeLogString("%s offset %lld moved to %lld", name.c_str(), static_cast<long long>(chosen),
                       static_cast<long long>(kept));
    }
}

int64_t settingValue(const SettingRow &row, const PrinterSettings *settings) {
    switch (row.field.kind) {
        case SettingField::Kind::Int16:
            return settings->*row.field.int16;
        case SettingField::Kind::Int32:
            return settings->*row.field.int32;
        case SettingField::Kind::Uint64:
            return static_cast<int64_t>(settings->*row.field.uint64);
        case SettingField::Kind::DeviceType:
            return getDeviceType();
        case SettingField::Kind::PageSize:
            break;
    }
    return 0;
}

void storeSettingValue(const SettingRow &row, PrinterSettings *settings, int64_t value) {
    const auto bits = static_cast<uint64_t>(value);
    switch (row.field.kind) {
        case SettingField::Kind::Int16:
            settings->*row.field.int16 = static_cast<int16_t>(static_cast<uint16_t>(bits));
            break;
        case SettingField::Kind::Int32:
            settings->*row.field.int32 = static_cast<int32_t>(static_cast<uint32_t>(bits));
            break;
        case SettingField::Kind::Uint64:
            settings->*row.field.uint64 = bits;
            break;
        case SettingField::Kind::DeviceType:
            setDeviceType(static_cast<int32_t>(static_cast<uint32_t>(bits)));
            break;
        case SettingField::Kind::PageSize:
            break;
    }
}

void storeSetting(const SettingRow &row, PrinterSettings *settings, const char *text) {
    storeSettingValue(row, settings, parseLeadingInt64(text));
}

void logSettingLine(const SettingRow &row, const PrinterSettings *settings, const char *label) {
    switch (row.field.kind) {
        case SettingField::Kind::Int16:
            writeLogString("%s%d", label, settings->*row.field.int16);
            break;
        case SettingField::Kind::Int32:
            writeLogString("%s%d", label, settings->*row.field.int32);
            break;
        case SettingField::Kind::Uint64:
            writeLogString("%s%llu", label, static_cast<unsigned long long>(settings->*row.field.uint64));
            break;
        case SettingField::Kind::DeviceType:
            writeLogString("%s%d", label, getDeviceType());
            break;
        case SettingField::Kind::PageSize:
            writeLogString("%s%dx%d", label, settings->widthMM, settings->heightMM);
            break;
    }
}

}  // namespace zvsettings
