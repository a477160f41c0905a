// The PPD API is marked deprecated in CUPS 2.x but remains the way a filter
// reads its printer's PPD; silence the deprecation warnings for this file.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include "filter/settings_reader.h"

#include <cups/ppd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/debug_log.h"
#include "core/lenient_number.h"
#include "protocol/protocol_state.h"

namespace {

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

// Reads one Default... attribute: logs it and hands its value to `store`.
template <typename Store>
bool readDefault(ppd_file_t *ppd, const char *name, Store store) {
    ppd_attr_t *attr = ppdFindAttr(ppd, name, nullptr);
    if (attr == nullptr) return false;
    writeLogString("ppdfile %s:%s", attr->name, safe(attr->value));
    store(attr->value);
    return true;
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
    if (ppd_attr_t *pageSize = ppdFindAttr(ppd, "DefaultPageSize", nullptr))
        writeLogString("ppdfile %s:%s", pageSize->name, safe(pageSize->value));

    auto int16Field = [](int16_t &field) { return [&field](const char *v) { field = parseLeadingInt16(v); }; };
    auto int32Field = [](int32_t &field) { return [&field](const char *v) { field = parseLeadingInt32(v); }; };

    readDefault(ppd, "DefaultDarkness", int16Field(settings->darkness));
    readDefault(ppd, "DefaultPrintSpeed", int16Field(settings->printSpeed));
    readDefault(ppd, "DefaultHorizontal", int16Field(settings->horizontal));
    readDefault(ppd, "DefaultVertical", int16Field(settings->vertical));
    if (!readDefault(ppd, "DefaultMediaTracking", int32Field(settings->mediaTracking))) settings->mediaTracking = 255;
    readDefault(ppd, "DefaultPrintMode", int16Field(settings->printMode));
    readDefault(ppd, "DefaultColourDarkness", int16Field(settings->colourDarkness));
    readDefault(ppd, "DefaultColorPrintModel", int32Field(settings->colorPrintModel));
    readDefault(ppd, "DefaultSilentPrint", int16Field(settings->silentPrint));
    readDefault(ppd, "DefaultPositioningMode", int16Field(settings->positioningMode));
    readDefault(ppd, "DefaultResolution", int32Field(settings->resolution));
    readDefault(ppd, "DefaultCashDrawer", int32Field(settings->cashDrawer));
    readDefault(ppd, "DefaultBlankSpace", int32Field(settings->blankSpace));
    readDefault(ppd, "DefaultFeedDist", int32Field(settings->feedDist));
    readDefault(ppd, "DefaultCutting", int32Field(settings->cutting));
    readDefault(ppd, "DefaultBeeper", int32Field(settings->beeper));
    if (ppd_attr_t *model = ppdFindAttr(ppd, "DefaultPrinterModel", nullptr)) {
        writeLogString("Printer Model %s:%s", model->name, safe(model->value));
        setDeviceType(parseLeadingInt32(model->value));
    }
    settings->maxWidthMM = -1;
    readDefault(ppd, "DefaultMaxWidthMM", int32Field(settings->maxWidthMM));
    readDefault(ppd, "DefaultIsCompressie", int16Field(settings->isCompressie));
    settings->noCompressieLimit = 300000;
    settings->compressieLimit = 64000;

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
        } else if (keyword == "PrinterMaxWidthMM") {
            settings->maxWidthMM = parseLeadingInt32(attr->value);
        } else if (keyword == "CompressiePrint") {
            settings->isCompressie = parseLeadingInt16(attr->value);
        } else if (keyword == "NoCompressie") {
            settings->noCompressieLimit = static_cast<uint64_t>(parseLeadingInt64(attr->value));
        } else if (keyword == "Compressie") {
            settings->compressieLimit = static_cast<uint64_t>(parseLeadingInt64(attr->value));
        } else if (keyword == "BluetoothPrint") {
            settings->isHCRP = parseLeadingInt16(attr->value);
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

    writeLogString("Default PageSize:%dx%d", settings->widthMM, settings->heightMM);
    writeLogString("Default Darkness:%d", settings->darkness);
    writeLogString("Default Speed:%d", settings->printSpeed);
    writeLogString("ppdfile Horizontal:%d", settings->horizontal);
    writeLogString("Default Vertical:%d", settings->vertical);
    writeLogString("Default MediaTracking:%d", settings->mediaTracking);
    writeLogString("Default Mode:%d", settings->printMode);
    writeLogString("Default ColourDarkness:%d", settings->colourDarkness);
    writeLogString("Default ColorPrintModel:%d", settings->colorPrintModel);
    writeLogString("Default SilentPrint:%d", settings->silentPrint);
    writeLogString("Default PositioningMode:%d", settings->positioningMode);
    writeLogString("Default DefaultResolution:%d", settings->resolution);
    writeLogString("Default isCompressie:%d", settings->isCompressie);
    writeLogString("Default DefaultMaxWidthMM:%d", settings->maxWidthMM);
    writeLogString("Default isHCRP:%d", settings->isHCRP);
    writeLogString("Default Printer Model:%d", getDeviceType());
    writeLogString("Default Cash Drawer:%d", settings->cashDrawer);
    writeLogString("Default Blank Space:%d", settings->blankSpace);
    writeLogString("Default Feed Dist:%d", settings->feedDist);
    writeLogString("Default Cutting:%d", settings->cutting);
    writeLogString("Default Beeper:%d", settings->beeper);

    ppdClose(ppd);
}

void set_pstops_options(PrinterSettings *settings, char **argv, int optionCount, cups_option_t *options) {
    settings->jobId = parseLeadingInt32(argv[1]);
    settings->user = argv[2];
    settings->title = argv[3];
    settings->copies = parseLeadingInt32(argv[4]);

    set_pstops_with_ppd(settings);

    struct OptionField {
        const char *name;
        int16_t *field16;
        int32_t *field32;
        bool taken;
    };
    OptionField fields[] = {
        {"Darkness", &settings->darkness, nullptr, false},
        {"PrintSpeed", &settings->printSpeed, nullptr, false},
        {"Horizontal", &settings->horizontal, nullptr, false},
        {"Vertical", &settings->vertical, nullptr, false},
        {"MediaTracking", nullptr, &settings->mediaTracking, false},
        {"PrintMode", &settings->printMode, nullptr, false},
        {"ColourDarkness", &settings->colourDarkness, nullptr, false},
        {"ColorPrintModel", nullptr, &settings->colorPrintModel, false},
        {"SilentPrint", &settings->silentPrint, nullptr, false},
        {"PositioningMode", &settings->positioningMode, nullptr, false},
        {"CashDrawer", nullptr, &settings->cashDrawer, false},
        {"BlankSpace", nullptr, &settings->blankSpace, false},
        {"FeedDist", nullptr, &settings->feedDist, false},
        {"Cutting", nullptr, &settings->cutting, false},
        {"Beeper", nullptr, &settings->beeper, false},
    };
    bool pageSizeTaken = false;

    for (int i = 0; i < optionCount; ++i) {
        const char *name = options[i].name;
        const char *value = options[i].value;
        writeLogString("%d、%s:%s", i, safe(name), safe(value));
        if (name == nullptr) continue;
        if (std::strcmp(name, "PageSize") == 0) {
            if (!pageSizeTaken) {
                pageSizeTaken = true;
                writeLogString("PageSize=%s", name);
                writeLogString("page_size=%s", safe(value));
            }
            continue;
        }
        for (OptionField &field : fields) {
            if (field.taken || std::strcmp(name, field.name) != 0) continue;
            field.taken = true;
            if (field.field16 != nullptr) *field.field16 = parseLeadingInt16(value);
            if (field.field32 != nullptr) *field.field32 = parseLeadingInt32(value);
            break;
        }
    }

    writeLogString("User Choose PageSize:%dx%d", settings->widthMM, settings->heightMM);
    writeLogString("User Choose Darkness:%d", settings->darkness);
    writeLogString("User Choose Speed:%d", settings->printSpeed);
    writeLogString("User Choose Horizontal:%d", settings->horizontal);
    writeLogString("User Choose Vertical:%d", settings->vertical);
    writeLogString("User Choose MediaTracking:%d", settings->mediaTracking);
    writeLogString("User Choose Mode:%d", settings->printMode);
    writeLogString("User Choose ColourDarkness:%d", settings->colourDarkness);
    writeLogString("User Choose ColorPrintModel:%d", settings->colorPrintModel);
    writeLogString("User Choose SilentPrint:%d", settings->silentPrint);
    writeLogString("User Choose PositioningMode:%d", settings->positioningMode);
    writeLogString("User Choose  CashDrawer:%d", settings->cashDrawer);
    writeLogString("User Choose  BlankSpace:%d", settings->blankSpace);
    writeLogString("User Choose  FeedDist:%d", settings->feedDist);
    writeLogString("User Choose  Cutting:%d", settings->cutting);
    writeLogString("User Choose  Beeper:%d", settings->beeper);
}
