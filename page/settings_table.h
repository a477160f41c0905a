// The job settings as one table: for every setting the PPD attribute and the
// ZVAttr keyword it is read from, the job option that may change it, the field
// of PrinterSettings it lands in and its lines in the two summaries of the
// diagnostic log. The PPD reader, the option reader and both summaries walk
// this table, so a new setting is one new row (and its field in
// PrinterSettings).
#ifndef ZV_PAGE_SETTINGS_TABLE_H
#define ZV_PAGE_SETTINGS_TABLE_H

#include <cstdint>
#include <iterator>
#include <string_view>

#include "core/printer_settings.h"

namespace zvsettings {

// Where a setting's value is kept, and how a text becomes that value.
struct SettingField {
    enum class Kind {
        Int16,       // low 16 bits of the leading number
        Int32,       // low 32 bits
        Uint64,      // the 64-bit number, as unsigned
        DeviceType,  // the process-wide device type (getDeviceType)
        PageSize,    // the page size: logged, never stored (the page loop sets it per page)
    };
    Kind kind;
    int16_t PrinterSettings::*int16 = nullptr;
    int32_t PrinterSettings::*int32 = nullptr;
    uint64_t PrinterSettings::*uint64 = nullptr;
};

constexpr SettingField int16Field(int16_t PrinterSettings::*field) {
    return {SettingField::Kind::Int16, field, nullptr, nullptr};
}
constexpr SettingField int32Field(int32_t PrinterSettings::*field) {
    return {SettingField::Kind::Int32, nullptr, field, nullptr};
}
constexpr SettingField uint64Field(uint64_t PrinterSettings::*field) {
    return {SettingField::Kind::Uint64, nullptr, nullptr, field};
}
constexpr SettingField deviceTypeField() { return {SettingField::Kind::DeviceType}; }
constexpr SettingField pageSizeField() { return {SettingField::Kind::PageSize}; }

// The values a printer language accepts for a setting; an unlimited range
// leaves the value as it was read.
struct ValueRange {
    bool limited = false;
    int64_t low = 0;
    int64_t high = 0;
};
constexpr ValueRange range(int64_t low, int64_t high) { return {true, low, high}; }

// The printer languages, each with ranges of its own. Device types of one
// language share them (ZPL and SF ZPL; every protocol model).
enum class Language { TSPL, TwoColourTSPL, ZPL, CPCL, ESCPOS, Protocol };

struct LanguageRanges {
    ValueRange tspl, twoColourTspl, zpl, cpcl, escpos, protocol;
};

// A position on the page, which must also stay on the page it positions.
enum class PageAxis { None, Across, Down };

struct SettingRow {
    std::string_view ppdKey;  // Default... attribute; empty: not read from one
    std::string_view zvAttr;  // ZVAttr keyword that sets the field; empty: none
    std::string_view option;  // job option; empty: a job cannot change it
    SettingField field;
    // Value the field takes once a PPD has been read, before its own
    // attribute is looked at (the PPD's value, if any, then replaces it).
    bool hasPreset;
    int64_t preset;
    // The setting's line in the summary after the PPD ("Default ...") and in
    // the one after the job options ("User Choose ..."); null: no line. The
    // value follows the label directly.
    const char *ppdSummaryLabel;
    const char *optionSummaryLabel;
    // Position of the line in the PPD summary, which lists the settings in an
    // order of its own.
    int ppdSummaryRank;
    // What each printer language accepts from a job option (values beyond are
    // clamped, with a warning); the PPD's own values are taken as they are.
    LanguageRanges ranges = {};
    PageAxis pageAxis = PageAxis::None;
};

// Every setting, in the order the PPD is read and the job options are
// summarised.
// clang-format off
inline constexpr SettingRow kSettingRows[] = {
    // PPD attribute         ZVAttr keyword       job option         field
    //   preset                PPD summary label                  option summary label          rank
    {"DefaultPageSize",      "",                  "PageSize",        pageSizeField(),
       false, 0,               "Default PageSize:",               "User Choose PageSize:",       0},
    {"DefaultDarkness",      "",                  "Darkness",        int16Field(&PrinterSettings::darkness),
       false, 0,               "Default Darkness:",               "User Choose Darkness:",       1,
       // DENSITY, ~SD, TONE; the protocol's darkness packet holds 0 to 15.
       {range(0, 15), range(0, 15), range(0, 30), range(-99, 200), {}, range(0, 15)}},
    {"DefaultPrintSpeed",    "",                  "PrintSpeed",      int16Field(&PrinterSettings::printSpeed),
       false, 0,               "Default Speed:",                  "User Choose Speed:",          2,
       // SPEED (inches per second), ^PR, CPCL SPEED; one byte in the speed packet.
       {range(1, 18), range(1, 18), range(1, 14), range(0, 5), {}, range(0, 255)}},
    {"DefaultHorizontal",    "",                  "Horizontal",      int16Field(&PrinterSettings::horizontal),
       false, 0,               "ppdfile Horizontal:",             "User Choose Horizontal:",     3,
       // Dots from the left edge; ^FO takes up to 32000.
       {range(0, 32000), range(0, 32000), range(0, 32000), range(0, 32000), {}, {}}, PageAxis::Across},
    {"DefaultVertical",      "",                  "Vertical",        int16Field(&PrinterSettings::vertical),
       false, 0,               "Default Vertical:",               "User Choose Vertical:",       4,
       {range(0, 32000), range(0, 32000), range(0, 32000), range(0, 32000), {}, {}}, PageAxis::Down},
    // 255: no media command at all.
    {"DefaultMediaTracking", "",                  "MediaTracking",   int32Field(&PrinterSettings::mediaTracking),
       true, 255,              "Default MediaTracking:",          "User Choose MediaTracking:",  5},
    {"DefaultPrintMode",     "",                  "PrintMode",       int16Field(&PrinterSettings::printMode),
       false, 0,               "Default Mode:",                   "User Choose Mode:",           6},
    {"DefaultColourDarkness", "",                 "ColourDarkness",  int16Field(&PrinterSettings::colourDarkness),
       false, 0,               "Default ColourDarkness:",         "User Choose ColourDarkness:", 7,
       // SETCOLOR RED takes the DENSITY range.
       {{}, range(0, 15), {}, {}, {}, {}}},
    {"DefaultColorPrintModel", "",                "ColorPrintModel", int32Field(&PrinterSettings::colorPrintModel),
       false, 0,               "Default ColorPrintModel:",        "User Choose ColorPrintModel:", 8},
    {"DefaultSilentPrint",   "",                  "SilentPrint",     int16Field(&PrinterSettings::silentPrint),
       false, 0,               "Default SilentPrint:",            "User Choose SilentPrint:",    9,
       {{}, {}, {}, {}, {}, range(0, 255)}},
    {"DefaultPositioningMode", "",                "PositioningMode", int16Field(&PrinterSettings::positioningMode),
       false, 0,               "Default PositioningMode:",        "User Choose PositioningMode:", 10},
    {"DefaultResolution",    "",                  "",                int32Field(&PrinterSettings::resolution),
       false, 0,               "Default DefaultResolution:",      nullptr,                       11},
    {"DefaultCashDrawer",    "",                  "CashDrawer",      int32Field(&PrinterSettings::cashDrawer),
       false, 0,               "Default Cash Drawer:",            "User Choose  CashDrawer:",    16},
    {"DefaultBlankSpace",    "",                  "BlankSpace",      int32Field(&PrinterSettings::blankSpace),
       false, 0,               "Default Blank Space:",            "User Choose  BlankSpace:",    17},
    {"DefaultFeedDist",      "",                  "FeedDist",        int32Field(&PrinterSettings::feedDist),
       false, 0,               "Default Feed Dist:",              "User Choose  FeedDist:",      18,
       // Feed blocks of 3 mm after each receipt, counted in one byte.
       {{}, {}, {}, {}, range(0, 255), {}}},
    {"DefaultCutting",       "",                  "Cutting",         int32Field(&PrinterSettings::cutting),
       false, 0,               "Default Cutting:",                "User Choose  Cutting:",       19},
    {"DefaultBeeper",        "",                  "Beeper",          int32Field(&PrinterSettings::beeper),
       false, 0,               "Default Beeper:",                 "User Choose  Beeper:",        20},
    // A number here; the ZVAttr PrinterModel name and ExtensionAttr
    // PrinterSize, read after all rows, override it.
    {"DefaultPrinterModel",  "",                  "",                deviceTypeField(),
       false, 0,               "Default Printer Model:",          nullptr,                       15},
    // -1: no width limit.
    {"DefaultMaxWidthMM",    "PrinterMaxWidthMM", "",                int32Field(&PrinterSettings::maxWidthMM),
       true, -1,               "Default DefaultMaxWidthMM:",      nullptr,                       13},
    {"DefaultIsCompressie",  "CompressiePrint",   "",                int16Field(&PrinterSettings::isCompressie),
       false, 0,               "Default isCompressie:",           nullptr,                       12},
    // The PPDs' Compression option (0 off, 1 on): zlib bands for TSPL, Z64
    // graphic fields for ZPL, binary CG instead of hexadecimal EG for CPCL.
    {"DefaultCompression",   "",                  "Compression",     int16Field(&PrinterSettings::isCompressie),
       false, 0,               nullptr,                           nullptr,                       -1,
       {range(0, 1), range(0, 1), range(0, 1), range(0, 1), {}, {}}},
    // Band limits of the compressed bitmaps.
    {"",                     "NoCompressie",      "",                uint64Field(&PrinterSettings::noCompressieLimit),
       true, 300000,           nullptr,                           nullptr,                       -1},
    {"",                     "Compressie",        "",                uint64Field(&PrinterSettings::compressieLimit),
       true, 64000,            nullptr,                           nullptr,                       -1},
    {"",                     "BluetoothPrint",    "",                int16Field(&PrinterSettings::isHCRP),
       false, 0,               "Default isHCRP:",                 nullptr,                       14},
    // Protocol printers' photo effect and processing choice; 0 keeps the
    // page as printed without them.
    {"DefaultPhotoEffect",   "",                  "PhotoEffect",     int32Field(&PrinterSettings::photoEffect),
       false, 0,               nullptr,                           nullptr,                       -1},
    {"DefaultProcessing",    "",                  "Processing",      int32Field(&PrinterSettings::processing),
       false, 0,               nullptr,                           nullptr,                       -1},
};
// clang-format on

// The language of a device type; false for a type no printer has.
bool languageFor(int32_t deviceType, Language *language);
const ValueRange &rangeFor(const SettingRow &row, Language language);

// Stores a job option's value: its lenient number, clamped to the range the
// job's printer language accepts. A clamped value is told to CUPS in a
// "WARNING:" line (an option is read once per job, so once per job).
void storeOptionSetting(const SettingRow &row, PrinterSettings *settings, const char *text);

// Per page: the offsets the job chose (in `job`), kept on the page of
// `width` x `height` dots. Each offset that has to be moved is told once per
// job; `warned` keeps track (one flag per row of the table).
struct OffsetWarnings {
    bool warned[std::size(kSettingRows)] = {};
};
void fitOffsetsToPage(const PrinterSettings &job, PrinterSettings *settings, long width, long height,
                      OffsetWarnings *warnings);

// Stores the lenient number of `text` (or `value`) into the row's field, with
// the field's width; the page size row stores nothing.
void storeSetting(const SettingRow &row, PrinterSettings *settings, const char *text);
void storeSettingValue(const SettingRow &row, PrinterSettings *settings, int64_t value);

// Writes the row's summary line: `label` directly followed by the current
// value ("%d", or "%dx%d" in millimetres for the page size).
void logSettingLine(const SettingRow &row, const PrinterSettings *settings, const char *label);

// The field's current value (0 for the page size).
int64_t settingValue(const SettingRow &row, const PrinterSettings *settings);

}  // namespace zvsettings

#endif
