#include "filter/settings_table.h"

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
