// The printer families the application drives, one PAPPL driver each, and
// the settings people choose for them as IPP attributes and on the web page.
//
// A family's defaults are those of its PPD, and every setting is handed to
// the page code under the job option name the CUPS filter reads, through the
// same range checks; so a job prints byte for byte as the filter prints the
// same page with the same choices.
#ifndef ZV_PRINTAPP_FAMILIES_H
#define ZV_PRINTAPP_FAMILIES_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/printer_settings.h"

namespace zvapp {

// A choice of a keyword setting: the readable IPP keyword and the number the
// encoders read.
struct Choice {
    std::string_view keyword;
    int value;
    std::string_view label;  // as the PPD names the choice
};

// One setting as an IPP attribute ("<name>-default", "<name>-supported" on the
// printer, "<name>" in a job) and the job option of the filter it becomes.
struct SettingSpec {
    std::string_view name;    // IPP attribute name
    std::string_view label;   // the web page's name for it
    std::string_view option;  // the filter's job option name
    // Keyword setting: its choices; otherwise an integer setting in [low, high].
    std::vector<Choice> choices;
    int low = 0;
    int high = 0;
    int defaultValue = 0;
    bool isKeyword() const { return !choices.empty(); }
};

enum class RasterKind { Gray, Rgb };
enum class PrinterKind { Label, Receipt, Sheet };

struct Family {
    std::string_view driverName;   // PAPPL driver name
    std::string_view description;  // make and model
    int32_t deviceType;
    int32_t odmType;     // the PPD's ExtensionAttr PrinterSize first number; 0 when it has none
    int32_t resolution;  // dots per inch
    int32_t maxWidthMM;  // -1: no limit
    int32_t mediaTracking;  // default; 255: the printer takes no media command
    bool tracksMedia;       // offers continuous / gap / mark
    RasterKind raster;
    PrinterKind kind;
    std::vector<std::string_view> media;  // PWG media names, the first is the default
    std::vector<SettingSpec> settings;
};

// Every family, in the order the drivers are listed.
const std::vector<Family> &families();
const Family *findFamily(std::string_view driverName);

// The number a setting's value stands for: the choice's number for a
// keyword, the leading integer otherwise; false for a keyword the setting
// does not offer.
bool settingNumber(const SettingSpec &spec, std::string_view value, int *number);

// The web page's names of the settings and their choices, as the text of a
// PAPPL strings file ("darkness" = "Darkness"; "print-mode.text" = "...").
std::string webStrings();

// The job's settings record, as the filter fills it from the family's PPD and
// the job options: `values` holds (IPP attribute name, value) pairs, the job's
// or the printer's defaults; `mediaTracking` is 0, 1 or 2, or -1 for the
// family's default. Also returns the device type the record is for.
PrinterSettings jobSettings(const Family &family, const std::vector<std::pair<std::string, std::string>> &values,
                            int mediaTracking);

}  // namespace zvapp

#endif
