// The PPD API is marked deprecated in CUPS 2.x but remains the way a filter
// reads its printer's PPD; silence the deprecation warnings for this file.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include "filter/settings_reader.h"

#include <cups/ppd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "core/debug_log.h"
#include "core/lenient_number.h"
#include "page/settings_table.h"
#include "protocol/protocol_state.h"

namespace {

using zvsettings::kSettingRows;
using zvsettings::logSettingLine;
using zvsettings::SettingField;
using zvsettings::SettingRow;
using zvsettings::storeOptionSetting;
using zvsettings::storeSetting;
using zvsettings::storeSettingValue;

struct ModelName {
    std::string_view name;
    int32_t deviceType;
};

constexpr ModelName kModelNames[] = {
    {"LP40", 0},   {"L40", 1},   {"L50", 2},         {"L40A", 3},
    {"L40S", 4},   {"L50A", 5},  {"L10", 7},         {"L20", 8},
    {"L40_BU", 9}, {"M10", 11},  {"TSPL", 161},      {"ZPL", 162},
    {"CPCL", 163}, {"ESC", 164}, {"ZV_SF_ZPL", 191}, {"Two_Color_TSPL", 193},
};

const char *safe(const char *text) { return text != nullptr ? text : "(null)"; }

const SettingRow *rowForZVAttr(std::string_view keyword) {
    for (const SettingRow &row : kSettingRows)
        if (!row.zvAttr.empty() && row.zvAttr == keyword) return &row;
    return nullptr;
}

// The summary after the PPD lists the settings in an order of its own.
void logPpdSummary(const PrinterSettings *settings) {
    std::vector<const SettingRow *> lines;
    for (const SettingRow &row : kSettingRows)
        if (row.ppdSummaryLabel != nullptr) lines.push_back(&row);
    std::sort(lines.begin(), lines.end(),
              [](const SettingRow *a, const SettingRow *b) { return a->ppdSummaryRank < b->ppdSummaryRank; });
    for (const SettingRow *row : lines) logSettingLine(*row, settings, row->ppdSummaryLabel);
}

void applyPrinterSize(PrinterSettings *settings, const char *value) {
    if (value == nullptr) return;
    const char *firstDot = std::strchr(value, '.');
    if (firstDot == nullptr) return;
    // Each part is cut to at most 49 characters before it is read.
    auto part = [](const char *begin, const char *end) {
        std::string text(begin, end != nullptr ? static_cast<size_t>(end - begin) : std::strlen(begin));
        if (text.size() > 49) text.resize(49);
        return text;
    };
    const std::string a = part(value, firstDot);
    const char *secondDot = std::strchr(firstDot + 1, '.');
    const std::string b = part(firstDot + 1, secondDot);
    const bool hasC = secondDot != nullptr;
    const std::string c = hasC ? part(secondDot + 1, nullptr) : std::string();

    setPpdOdmType(static_cast<uint8_t>(parseLeadingInt32(a.c_str())));
    setDeviceType(parseLeadingInt32(b.c_str()));
    if (hasC) settings->isHCRP = parseLeadingInt16(c.c_str());
    settings->odmType = getPpdOdmType();

    writeLogString("PrinterSize: %s", value);
    if (hasC)
        writeLogString("PrinterSize: %d.%d.%d", settings->odmType, getDeviceType(), settings->isHCRP);
    else
        writeLogString("PrinterSize: %d.%d", settings->odmType, getDeviceType());
}

}  // namespace

int32_t deviceTypeForModelName(const char *name) {
    if (name == nullptr) return -1;
    for (const ModelName &model : kModelNames)
        if (model.name == name) return model.deviceType;
    return -1;
}

void set_pstops_with_ppd(PrinterSettings *settings) {
    const char *path = std::getenv("PPD");
    writeLogString("PPD=%s", safe(path));
    ppd_file_t *ppd = path != nullptr ? ppdOpenFile(path) : nullptr;
    if (ppd == nullptr) {
        writeLogString("can't param ppdfile");
        if (path == nullptr)
            std::fputs(
                "ERROR: No PPD file given (the PPD environment variable is not set); printing with default settings\n",
                stderr);
        else
            std::fprintf(stderr, "ERROR: Unable to read the PPD file \"%s\"; printing with default settings\n", path);
        return;
    }

    writeLogString("module_number:%d", ppd->model_number);
    for (const SettingRow &row : kSettingRows) {
        if (row.hasPreset) storeSettingValue(row, settings, row.preset);
        if (row.ppdKey.empty()) continue;
        ppd_attr_t *attr = ppdFindAttr(ppd, std::string(row.ppdKey).c_str(), nullptr);
        if (attr == nullptr) continue;
        const bool model = row.field.kind == SettingField::Kind::DeviceType;
        writeLogString(model ? "Printer Model %s:%s" : "ppdfile %s:%s", attr->name, safe(attr->value));
        storeSetting(row, settings, attr->value);
    }

    for (ppd_attr_t *attr = ppdFindAttr(ppd, "ZVAttr", nullptr); attr != nullptr;
         attr = ppdFindNextAttr(ppd, "ZVAttr", nullptr)) {
        const std::string_view keyword = attr->spec;
        // The encryption secrets stay out of the diagnostic log.
        const bool secret = keyword == "AESKey" || keyword == "AESIV";
        writeLogString("ZVAttr: [%s] = [%s]", attr->spec, secret ? "(hidden)" : safe(attr->value));
        if (keyword == "PrinterModel") {
            const int32_t type = deviceTypeForModelName(attr->value);
            if (type >= 0) {
                setDeviceType(type);
            } else {
                writeLogString("unknown PrinterModel %s", safe(attr->value));
                std::fprintf(stderr, "ERROR: Unknown printer model \"%s\" in the PPD; the model stays %d\n",
                             safe(attr->value), getDeviceType());
            }
        } else if (const SettingRow *row = rowForZVAttr(keyword)) {
            storeSetting(*row, settings, attr->value);
        } else if (keyword == "AESKey" || keyword == "AESIV") {
            // The encrypting printers' key and initial vector, 32 hexadecimal digits each.
            const bool isKey = keyword == "AESKey";
            if (!(isKey ? setAES128KeyHex(attr->value) : setAES128IVHex(attr->value)))
                std::fprintf(stderr, "WARNING: The PPD's %s is not 32 hexadecimal digits; it is ignored\n", attr->spec);
        }
    }

    for (ppd_attr_t *attr = ppdFindAttr(ppd, "ExtensionAttr", nullptr); attr != nullptr;
         attr = ppdFindNextAttr(ppd, "ExtensionAttr", nullptr)) {
        writeLogString("ExtensionAttr: [%s] = [%s]", attr->spec, safe(attr->value));
        if (std::string_view(attr->spec) == "PrinterSize") applyPrinterSize(settings, attr->value);
    }

    logPpdSummary(settings);

    ppdClose(ppd);
}

void set_pstops_options(PrinterSettings *settings, char **argv, int optionCount, cups_option_t *options) {
    settings->jobId = parseLeadingInt32(argv[1]);
    settings->user = argv[2];
    settings->title = argv[3];
    settings->copies = parseLeadingInt32(argv[4]);

    set_pstops_with_ppd(settings);

    // Each name is taken once: the first option of a name sets the field.
    bool taken[std::size(kSettingRows)] = {};
    for (int i = 0; i < optionCount; ++i) {
        const char *name = options[i].name;
        const char *value = options[i].value;
        writeLogString("%d、%s:%s", i, safe(name), safe(value));
        if (name == nullptr) continue;
        for (size_t r = 0; r < std::size(kSettingRows); ++r) {
            const SettingRow &row = kSettingRows[r];
            if (taken[r] || row.option.empty() || row.option != name) continue;
            taken[r] = true;
            if (row.field.kind == SettingField::Kind::PageSize) {
                writeLogString("PageSize=%s", name);
                writeLogString("page_size=%s", safe(value));
            }
            storeOptionSetting(row, settings, value);
            break;
        }
    }

    for (const SettingRow &row : kSettingRows)
        if (row.optionSummaryLabel != nullptr) logSettingLine(row, settings, row.optionSummaryLabel);
}
