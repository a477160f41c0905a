#include "printapp/families.h"

#include <iterator>

#include "core/lenient_number.h"
#include "page/settings_table.h"

namespace zvapp {
namespace {

// The choices as the PPDs offer them, under readable keywords.
const std::vector<Choice> kLabelPrintModes = {
    {"text", 0, "Text (threshold 128)"},
    {"text-bolder", 1, "Text, bolder (threshold 160)"},
    {"ordered-dither", 2, "Ordered dither"},
    {"clustered-dots", 3, "Clustered dots"},
    {"fine-dither", 4, "Fine ordered dither"},
    {"automatic", 5, "Automatic"},
    {"text-processed", 6, "Text (processed)"},
    {"photo-processed", 7, "Photo (processed)"},
    {"text-and-photo", 8, "Text and photo mixed"},
};
const std::vector<Choice> kTwoColourPrintModes = {
    {"text", 0, "Text (threshold 128)"},
    {"text-bolder", 1, "Text, bolder (threshold 160)"},
    {"ordered-dither", 2, "Ordered dither"},
    {"text-processed", 6, "Text (processed)"},
    {"photo-processed", 7, "Photo (processed)"},
    {"text-and-photo", 8, "Text and photo mixed"},
};
const std::vector<Choice> kProtocolPrintModes = {
    {"sharp", 0, "Sharp black and white"},
    {"automatic", 5, "Automatic"},
    {"adaptive", 9, "Text and pictures (adaptive)"},
};
const std::vector<Choice> kTattooPrintModes = {
    {"sharp", 0, "Sharp black and white"},
    {"automatic", 5, "Automatic (tattoo stencil)"},
    {"adaptive", 9, "Text and pictures (adaptive)"},
    {"tattoo-stencil", 11, "Tattoo stencil"},
};
const std::vector<Choice> kOffOn = {
    {"off", 0, "Off"},
    {"on", 1, "On"},
};
// Compressed graphics: zlib bands (TSPL), Z64 fields (ZPL), binary CG (CPCL).
// Not named "compression": that is IPP's attribute for compressed documents.
SettingSpec compression(int defaultValue);
const std::vector<Choice> kColours = {
    {"black-and-red", 0, "Black and red"},
    {"black-only", 1, "Black only"},
    {"red-only", 2, "Red only"},
    {"all-black", 3, "All marks in black"},
};
const std::vector<Choice> kCutting = {
    {"none", 0, "No cut"},
    {"after-every-page", 1, "After every page"},
    {"end-of-job", 2, "At the end of the job"},
};
const std::vector<Choice> kCashDrawer = {
    {"closed", 0, "Do not open"},
    {"drawer-1-before", 1, "Open drawer 1 before printing"},
    {"drawer-2-before", 2, "Open drawer 2 before printing"},
    {"both-before", 3, "Open both drawers before printing"},
    {"drawer-1-after", 4, "Open drawer 1 after printing"},
    {"drawer-2-after", 5, "Open drawer 2 after printing"},
    {"both-after", 6, "Open both drawers after printing"},
};
const std::vector<Choice> kBeeper = {
    {"silent", 0, "Silent"},
    {"after-every-page", 1, "After every page"},
    {"before-every-page", 2, "Before every page"},
    {"end-of-job", 3, "At the end of the job"},
    {"start-of-job", 4, "At the start of the job"},
};
const std::vector<Choice> kBlackRows = {
    {"print", 0, "Print them"},
    {"leave-out", 1, "Leave them out"},
};
const std::vector<Choice> kPhotoEffects = {
    {"none", 0, "None"},
    {"line-drawing-light", 1, "Line drawing, light"},
    {"line-drawing-medium", 2, "Line drawing, medium"},
    {"line-drawing-strong", 3, "Line drawing, strong"},
    {"line-drawing-heavy", 4, "Line drawing, heavy"},
    {"sketch", 5, "Sketch"},
    {"sketch-soft", 6, "Sketch 2 (soft)"},
    {"text-black-white", 7, "Text (black and white)"},
    {"black-white-gray", 8, "Black and white (gray)"},
    {"negative", 9, "Negative"},
};
const std::vector<Choice> kProcessing = {
    {"automatic", 0, "Automatic (by print mode)"},
    {"threshold", 1, "Sharp black and white (threshold)"},
    {"adaptive", 2, "Text and pictures (adaptive)"},
    {"photo-atkinson", 3, "Photo (Atkinson)"},
    {"soft", 4, "Soft"},
    {"soft-dark", 5, "Soft, dark"},
    {"small-label-photo", 6, "Small-label photo"},
    {"halftone-diffusion", 7, "Classic halftone with diffusion"},
    {"halftone-plain", 8, "Classic halftone without diffusion"},
};

// What the web page calls each setting.
constexpr std::pair<std::string_view, std::string_view> kSettingLabels[] = {
    {"darkness", "Darkness"},
    {"speed", "Print speed"},
    {"print-mode", "Print mode"},
    {"graphics-compression", "Compression"},
    {"horizontal-offset", "Horizontal offset (dots)"},
    {"vertical-offset", "Vertical offset (dots)"},
    {"red-darkness", "Red darkness"},
    {"colours", "Colours to print"},
    {"paper-cut", "Paper cut"},
    {"feed-after-page", "Feed after each page (3 mm steps)"},
    {"cash-drawer", "Cash drawer"},
    {"beeper", "Beeper"},
    {"solid-black-rows", "Solid black rows"},
    {"silent-mode", "Silent printing"},
    {"stencil-guide-line", "Stencil guide line"},
    {"photo-effect", "Photo effect"},
    {"processing", "Processing"},
};

std::string_view labelFor(std::string_view name) {
    for (const auto &[key, label] : kSettingLabels)
        if (key == name) return label;
    return name;
}

SettingSpec keyword(std::string_view name, std::string_view option, const std::vector<Choice> &choices,
                    int defaultValue) {
    SettingSpec spec;
    spec.name = name;
    spec.label = labelFor(name);
    spec.option = option;
    spec.choices = choices;
    spec.defaultValue = defaultValue;
    return spec;
}

SettingSpec integer(std::string_view name, std::string_view option, int low, int high, int defaultValue) {
    SettingSpec spec;
    spec.name = name;
    spec.label = labelFor(name);
    spec.option = option;
    spec.low = low;
    spec.high = high;
    spec.defaultValue = defaultValue;
    return spec;
}

SettingSpec compression(int defaultValue) { return keyword("graphics-compression", "Compression", kOffOn, defaultValue); }

// Offsets of the label printers, in dots from the top left corner.
void addOffsets(std::vector<SettingSpec> *settings) {
    settings->push_back(integer("horizontal-offset", "Horizontal", 0, 1000, 0));
    settings->push_back(integer("vertical-offset", "Vertical", 0, 1000, 0));
}

const std::vector<std::string_view> kLabelMedia = {
    "oe_4x6-label_4x6in",        "oe_4x4-label_4x4in",        "oe_4x3-label_4x3in",
    "oe_4x2-label_4x2in",        "oe_4x1-label_4x1in",        "oe_3x2-label_3x2in",
    "oe_3x1-label_3x1in",        "oe_2.25x1.25-label_2.25x1.25in", "oe_2x1-label_2x1in",
    "om_100x150-label_100x150mm", "om_100x100-label_100x100mm", "om_100x50-label_100x50mm",
    "om_80x50-label_80x50mm",    "om_60x40-label_60x40mm",    "om_50x30-label_50x30mm",
    "om_40x30-label_40x30mm",    "om_40x20-label_40x20mm",    "om_30x20-label_30x20mm",
};
// Receipt rolls: the page is the printable width of the roll.
const std::vector<std::string_view> kReceipt58Media = {
    "om_58-roll-200_48x200mm", "om_58-roll-100_48x100mm", "om_58-roll-297_48x297mm"};
const std::vector<std::string_view> kReceipt80Media = {
    "om_80-roll-200_72x200mm", "om_80-roll-100_72x100mm", "om_80-roll-297_72x297mm"};
const std::vector<std::string_view> kSheetMedia = {"iso_a4_210x297mm", "na_letter_8.5x11in", "iso_a5_148x210mm",
                                                   "na_legal_8.5x14in"};

Family tspl(std::string_view name, std::string_view description, int32_t dpi) {
    Family family{name, description, kDeviceTSPL, 0, dpi, 108, 1, true, RasterKind::Gray, PrinterKind::Label,
                  kLabelMedia, {}};
    family.settings = {integer("darkness", "Darkness", 0, 15, 8), integer("speed", "PrintSpeed", 1, 6, 4),
                       keyword("print-mode", "PrintMode", kLabelPrintModes, 0), compression(0)};
    addOffsets(&family.settings);
    return family;
}

Family zpl(std::string_view name, std::string_view description, int32_t deviceType, int32_t dpi) {
    Family family{name, description, deviceType, 0, dpi, 108, 1, true, RasterKind::Gray, PrinterKind::Label,
                  kLabelMedia, {}};
    family.settings = {integer("darkness", "Darkness", 0, 30, 15), integer("speed", "PrintSpeed", 2, 8, 4),
                       keyword("print-mode", "PrintMode", kLabelPrintModes, 0), compression(1)};
    addOffsets(&family.settings);
    return family;
}

Family cpcl() {
    Family family{"zorvan_cpcl_203", "Zorvan CPCL 203dpi", kDeviceCPCL, 0, 203, 108, 255, false,
                  RasterKind::Gray, PrinterKind::Label, kLabelMedia, {}};
    family.settings = {integer("darkness", "Darkness", -99, 200, 0), integer("speed", "PrintSpeed", 0, 5, 3),
                       keyword("print-mode", "PrintMode", kLabelPrintModes, 0), compression(1)};
    addOffsets(&family.settings);
    return family;
}

Family twoColour() {
    Family family{"zorvan_tspl2c_203", "Zorvan Two-Colour TSPL 203dpi", kDeviceTwoColorTSPL, 0, 203, 108, 1, true,
                  RasterKind::Rgb, PrinterKind::Label, kLabelMedia, {}};
    family.settings = {integer("darkness", "Darkness", 0, 15, 8), integer("red-darkness", "ColourDarkness", 0, 15, 8),
                       keyword("colours", "ColorPrintModel", kColours, 0), integer("speed", "PrintSpeed", 2, 4, 3),
                       keyword("print-mode", "PrintMode", kTwoColourPrintModes, 0), compression(0)};
    addOffsets(&family.settings);
    return family;
}

Family escpos(std::string_view name, std::string_view description, int32_t maxWidthMM,
              const std::vector<std::string_view> &media) {
    Family family{name, description, kDeviceESC, 0, 203, maxWidthMM, 255, false, RasterKind::Gray,
                  PrinterKind::Receipt, media, {}};
    family.settings = {keyword("print-mode", "PrintMode", kLabelPrintModes, 0),
                       keyword("paper-cut", "Cutting", kCutting, 1),
                       integer("feed-after-page", "FeedDist", 0, 255, 0),
                       keyword("cash-drawer", "CashDrawer", kCashDrawer, 0),
                       keyword("beeper", "Beeper", kBeeper, 0),
                       keyword("solid-black-rows", "BlankSpace", kBlackRows, 0)};
    return family;
}

// The packet-protocol models. `speed`: the model takes a print speed;
// `tattoo`: mirrored stencil pages with the guide line setting; `silent`: the
// model has a silent mode instead of a speed.
Family protocol(std::string_view name, std::string_view description, int32_t model, int32_t odmType, int32_t dpi,
                bool tattoo, bool silent) {
    Family family{name, description, model, odmType, dpi, -1, 0, true, RasterKind::Gray, PrinterKind::Sheet,
                  kSheetMedia, {}};
    family.settings = {integer("darkness", "Darkness", 0, 15, 8)};
    if (silent)
        family.settings.push_back(keyword("silent-mode", "SilentPrint", kOffOn, 0));
    else
        family.settings.push_back(integer("speed", "PrintSpeed", 0, 5, 0));
    family.settings.push_back(keyword("print-mode", "PrintMode", tattoo ? kTattooPrintModes : kProtocolPrintModes, 5));
    if (tattoo) family.settings.push_back(keyword("stencil-guide-line", "PositioningMode", kOffOn, 0));
    family.settings.push_back(keyword("photo-effect", "PhotoEffect", kPhotoEffects, 0));
    family.settings.push_back(keyword("processing", "Processing", kProcessing, 0));
    return family;
}

std::vector<Family> makeFamilies() {
    return {
        tspl("zorvan_tspl_203", "Zorvan TSPL 203dpi", 203),
        tspl("zorvan_tspl_300", "Zorvan TSPL 300dpi", 300),
        twoColour(),
        zpl("zorvan_zpl_203", "Zorvan ZPL 203dpi", kDeviceZPL, 203),
        zpl("zorvan_zpl_300", "Zorvan ZPL 300dpi", kDeviceZPL, 300),
        zpl("zorvan_sfzpl_203", "Zorvan SF ZPL 203dpi", kDeviceSFZPL, 203),
        cpcl(),
        escpos("zorvan_escpos_58", "Zorvan ESC/POS 58mm", 48, kReceipt58Media),
        escpos("zorvan_escpos_80", "Zorvan ESC/POS 80mm", 72, kReceipt80Media),
        protocol("zorvan_lp40", "Zorvan LP40", 0, 0, 300, false, false),
        protocol("zorvan_l40", "Zorvan L40", 1, 0, 203, false, false),
        protocol("zorvan_l50", "Zorvan L50", 2, 0, 300, false, false),
        protocol("zorvan_l40a", "Zorvan L40A", 3, 0, 300, false, false),
        protocol("zorvan_l40s", "Zorvan L40S", 4, 0, 203, true, true),
        protocol("zorvan_l50a", "Zorvan L50A", 5, 0, 203, false, false),
        protocol("zorvan_l40s_normal", "Zorvan L40S Normal Mode", 6, 28, 203, false, false),
        protocol("zorvan_l10", "Zorvan L10", 7, 0, 203, false, false),
        protocol("zorvan_l20", "Zorvan L20", 8, 0, 203, false, false),
        protocol("zorvan_l40_bu", "Zorvan L40 BU", 9, 0, 203, false, false),
        protocol("zorvan_l10_tattoo_xl", "Zorvan L10 Tattoo XL", 10, 28, 203, true, false),
        protocol("zorvan_m10", "Zorvan M10", 11, 0, 203, true, true),
        protocol("zorvan_l40s_tattoo_left", "Zorvan L40S Tattoo Left", 12, 28, 203, true, true),
    };
}

const zvsettings::SettingRow *rowForOption(std::string_view option) {
    for (const zvsettings::SettingRow &row : zvsettings::kSettingRows)
        if (row.option == option) return &row;
    return nullptr;
}

}  // namespace

std::string webStrings() {
    std::string text;
    const auto add = [&text](std::string_view key, std::string_view value) {
        text += "\"";
        text += key;
        text += "\" = \"";
        text += value;
        text += "\";\n";
    };
    for (const auto &[key, label] : kSettingLabels) add(key, label);
    for (const Family &family : families())
        for (const SettingSpec &spec : family.settings)
            for (const Choice &choice : spec.choices) add(std::string(spec.name) + "." + std::string(choice.keyword), choice.label);
    return text;
}

const std::vector<Family> &families() {
    static const std::vector<Family> kFamilies = makeFamilies();
    return kFamilies;
}

const Family *findFamily(std::string_view driverName) {
    for (const Family &family : families())
        if (family.driverName == driverName) return &family;
    return nullptr;
}

bool settingNumber(const SettingSpec &spec, std::string_view value, int *number) {
    if (spec.isKeyword()) {
        for (const Choice &choice : spec.choices)
            if (choice.keyword == value) {
                *number = choice.value;
                return true;
            }
        return false;
    }
    *number = parseLeadingInt32(std::string(value).c_str());
    return true;
}

PrinterSettings jobSettings(const Family &family, const std::vector<std::pair<std::string, std::string>> &values,
                            int mediaTracking) {
    // What reading the family's PPD leaves in the record.
    PrinterSettings settings{};
    setDeviceType(family.deviceType);
    setPpdOdmType(static_cast<uint8_t>(family.odmType != 0 ? family.odmType : kDefaultOdmType));
    settings.odmType = family.odmType;
    settings.resolution = family.resolution;
    settings.maxWidthMM = family.maxWidthMM;
    settings.mediaTracking = family.mediaTracking;
    settings.noCompressieLimit = 300000;
    settings.compressieLimit = 64000;
    for (const SettingSpec &spec : family.settings)
        if (const zvsettings::SettingRow *row = rowForOption(spec.option))
            zvsettings::storeSettingValue(*row, &settings, spec.defaultValue);

    // Then the job's choices, through the range checks of the job options.
    settings.copies = 1;
    for (const auto &[name, value] : values) {
        for (const SettingSpec &spec : family.settings) {
            if (spec.name != name) continue;
            int number = 0;
            const zvsettings::SettingRow *row = rowForOption(spec.option);
            if (row != nullptr && settingNumber(spec, value, &number))
                zvsettings::storeOptionSetting(*row, &settings, std::to_string(number).c_str());
        }
    }
    if (family.tracksMedia && mediaTracking >= 0 && mediaTracking <= 2) settings.mediaTracking = mediaTracking;
    return settings;
}

}  // namespace zvapp
