// Fills PrinterSettings and the device type from the PPD named by the "PPD"
// environment variable and from the job's options.
#ifndef ZV_FILTER_SETTINGS_READER_H
#define ZV_FILTER_SETTINGS_READER_H

#include <cups/cups.h>

#include "core/printer_settings.h"

// Arguments, then the PPD, then the job options (first occurrence of a name wins).
void set_pstops_options(PrinterSettings *settings, char **argv, int optionCount, cups_option_t *options);

// Reads the PPD; leaves the record and the globals alone when it cannot be opened.
void set_pstops_with_ppd(PrinterSettings *settings);

// DeviceType for a PrinterModel name, or -1 when the name is unknown.
int32_t deviceTypeForModelName(const char *name);

#endif
