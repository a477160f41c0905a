// The settings record a label printer's PPD leaves with its usual defaults:
// the common starting point of the encoder tests, the encoder benchmarks and
// the page loop fuzz target, which each change only what they examine.
#ifndef ZV_TESTS_SUPPORT_LABEL_SETTINGS_H
#define ZV_TESTS_SUPPORT_LABEL_SETTINGS_H

#include "core/printer_settings.h"

namespace zvtest {

// A 49 x 31 mm gap label at 203 dpi, speed 4, darkness 8, one copy, no width
// limit, uncompressed, with the default band limits.
inline PrinterSettings labelSettings() {
    PrinterSettings s{};
    s.copies = 1;
    s.widthMM = 49;
    s.heightMM = 31;
    s.mediaTracking = 1;
    s.printSpeed = 4;
    s.darkness = 8;
    s.resolution = 203;
    s.maxWidthMM = -1;
    s.noCompressieLimit = 300000;
    s.compressieLimit = 64000;
    return s;
}

}  // namespace zvtest

#endif
