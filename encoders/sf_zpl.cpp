#include "encoders/sf_zpl.h"

#include "encoders/zpl.h"

dynamic_array *getSFZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    // The SF variant is plain ZPL with this line before every page.
    return zvenc::encodeZPLPage("SF ZPL", "^^XX\r\n", page, width, height, settings);
}
