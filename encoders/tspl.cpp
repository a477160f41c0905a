#include "encoders/tspl.h"

#include <zlib.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoder_support.h"
#include "encoders/gray_pack.h"

using zvenc::appendFormatted;
using zvenc::ArrayPtr;

int TSPL_Zlib_CutImage(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                       const PrinterSettings *settings) {
    const unsigned long total = static_cast<unsigned long>(widthBytes) * static_cast<unsigned long>(height);
    std::vector<unsigned char> compressData;
    try {
        compressData.resize(compressBound(total));
    } catch (const std::bad_alloc &) {
        writeLogString("start： allBytes = %d/ compressByteLength = %ld / compressData == NULL ? %d ",
                       static_cast<int>(total), static_cast<long>(compressBound(total)), 1);
        std::fprintf(stderr, "ERROR: Unable to allocate %lu bytes to compress the label bitmap; page skipped\n",
                     static_cast<unsigned long>(compressBound(total)));
        return 2;
    }
    writeLogString("start： allBytes = %d/ compressByteLength = %ld / compressData == NULL ? %d ",
                   static_cast<int>(total), static_cast<long>(compressData.size()), 0);

    unsigned long sent = 0;
    long rowsLeft = height;
    while (sent < total) {
        writeLogString("===== start =====");
        unsigned long packed = compressData.size();
        const long bandBytes =
            getCutImageLength(width, rowsLeft, bitmap + sent, compressData.data(), &packed, settings);
        writeLogString("cut image length:cutLength = %ld / allBytes = %d / compressByteLength = %ld ", bandBytes,
                       static_cast<int>(total), static_cast<long>(packed));
        if (bandBytes <= 0) {
            std::fputs("ERROR: Unable to compress the label bitmap; page skipped\n", stderr);
            return 2;
        }
        char command[160];
        const int length =
            std::snprintf(command, sizeof command, "BITMAP %d,%ld,%d,%d,3,%d,", settings->horizontal,
                          settings->vertical + static_cast<long>(sent * 8 / width), static_cast<int>(widthBytes),
                          static_cast<int>(bandBytes / widthBytes), static_cast<int>(packed));
        dynamic_array_push_more_data(array, command, static_cast<uint64_t>(length));
        writeLogString("%s", command);
        dynamic_array_push_more_data(array, compressData.data(), packed);
        dynamic_array_push_string(array, "\r\n");
        sent += static_cast<unsigned long>(bandBytes);
        rowsLeft -= bandBytes / widthBytes;
    }
    return 0;
}

void appendTSPLSetup(dynamic_array *array, const PrinterSettings *settings) {
    appendFormatted(array, "SIZE %dmm,%dmm\r\n", settings->widthMM, settings->heightMM);
    switch (settings->mediaTracking) {
        case 0:
            dynamic_array_push_string(array, "GAP 0 mm,0 mm\r\n");
            break;
        case 1:
            dynamic_array_push_string(array, "GAP 3 mm,0 mm\r\n");
            break;
        case 2:
            dynamic_array_push_string(array, "BLINE 3 mm,0 mm\r\n");
            break;
        default:
            break;
    }
    appendFormatted(array, "SPEED %d\r\n", settings->printSpeed);
    appendFormatted(array, "DENSITY %d\r\n", settings->darkness);
    dynamic_array_push_string(array,
                              "DIRECTION 0,0\r\n"
                              "REFERENCE 0,0\r\n"
                              "OFFSET 0.000\r\n"
                              "SHIFT 0\r\n"
                              "SET PEEL OFF\r\n"
                              "SET CUTTER OFF\r\n"
                              "SET PARTIAL_CUTTER OFF\r\n"
                              "SET TEAR ON\r\n"
                              "CLS\r\n");
}

int appendTSPLBitmap(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                     const PrinterSettings *settings) {
    if (settings->isCompressie == 1) return TSPL_Zlib_CutImage(array, width, height, widthBytes, bitmap, settings);
    appendFormatted(array, "BITMAP %d,%d,%d,%d,0,", settings->horizontal, settings->vertical,
                    static_cast<int>(widthBytes), static_cast<int>(height));
    dynamic_array_push_more_data(array, bitmap, static_cast<uint64_t>(widthBytes) * static_cast<uint64_t>(height));
    dynamic_array_push_string(array, "\r\n");
    return 0;
}

dynamic_array *getTSPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    if (page == nullptr || settings == nullptr || width < 8 || height <= 0) {
        std::fprintf(stderr, "ERROR: TSPL page of %ld x %ld dots cannot be encoded; page skipped\n", width, height);
        return nullptr;
    }
    const long widthBytes = width / 8;
    const size_t bitmapBytes = static_cast<size_t>(widthBytes) * static_cast<size_t>(height);

    std::vector<unsigned char> bitmap;
    try {
        bitmap.assign(bitmapBytes, 0);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "ERROR: Unable to allocate %zu bytes for the label bitmap; page skipped\n", bitmapBytes);
        writeLogString("onePrintColorBuf allocation failed: %zu bytes", bitmapBytes);
        return nullptr;
    }
    writeLogString("onePrintColorBuf,width = %d,height = %d", static_cast<int>(widthBytes), static_cast<int>(height));

    ArrayPtr array(dynamic_array_init_or_die(2));
    appendTSPLSetup(array.get(), settings);

    Gray2Bytes(page, bitmap.data(), widthBytes, height, settings->printMode);
    // TSPL prints 0 bits and leaves 1 bits white.
    for (unsigned char &byte : bitmap) byte = static_cast<unsigned char>(~byte);

    if (settings->isCompressie != 1)
        writeLogString("TSPL-notZlib");
    else
        writeLogString("TSPL-isZlib");
    if (appendTSPLBitmap(array.get(), width, height, widthBytes, bitmap.data(), settings) != 0) return nullptr;

    appendFormatted(array.get(), "PRINT 1,%d\r\n", settings->copies);

    bitmap = std::vector<unsigned char>();
    return zvenc::finishEncodedPage(std::move(array));
}
