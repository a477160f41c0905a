#include "encoders/tspl.h"

#include <cstdint>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoder_support.h"
#include "encoders/gray_pack.h"

namespace zvenc {

namespace {

// The compressed bitmap: one "BITMAP x,y,w,h,3,n," command per zlib band, each
// band under the rows already sent.
bool appendTSPLBands(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                     const PrinterSettings *settings) {
    return cutZlibBands(width, height, widthBytes, bitmap, settings, [&](const ZlibBand &band) {
        const size_t length = appendFormatted(
            array, "BITMAP %d,%ld,%d,%d,3,%d,", settings->horizontal,
            settings->vertical + static_cast<long>(band.firstByte * 8 / static_cast<uint64_t>(width)),
            static_cast<int>(widthBytes), static_cast<int>(band.rows), static_cast<int>(band.compressedLength));
        writeLogString("%.*s", static_cast<int>(length),
                       reinterpret_cast<const char *>(array->data + array->size - length));
        dynamic_array_push_more_data(array, band.compressed, band.compressedLength);
        dynamic_array_push_string(array, "\r\n");
    });
}

}  // namespace

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
            break;  // no media kind given: the printer keeps its own
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

bool appendTSPLBitmap(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                      const PrinterSettings *settings) {
    if (settings->isCompressie == 1) return appendTSPLBands(array, width, height, widthBytes, bitmap, settings);
    appendFormatted(array, "BITMAP %d,%d,%d,%d,0,", settings->horizontal, settings->vertical,
                    static_cast<int>(widthBytes), static_cast<int>(height));
    dynamic_array_push_more_data(array, bitmap, static_cast<uint64_t>(widthBytes) * static_cast<uint64_t>(height));
    dynamic_array_push_string(array, "\r\n");
    return true;
}

void logTSPLBitmapForm(const PrinterSettings *settings) {
    writeLogString(settings->isCompressie == 1 ? "TSPL-isZlib" : "TSPL-notZlib");
}

uint64_t tsplPageCapacity(long widthBytes, long height, const PrinterSettings *settings) {
    // Room for the setup and the plain bitmap; compressed bands are smaller.
    const uint64_t bitmapBytes = static_cast<uint64_t>(widthBytes) * static_cast<uint64_t>(height);
    return settings->isCompressie == 1 ? 4096 : bitmapBytes + 512;
}

}  // namespace zvenc

int TSPL_Zlib_CutImage(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                       const PrinterSettings *settings) {
    return zvenc::bandCutterStatus(
        "TSPL", [&] { return zvenc::appendTSPLBands(array, width, height, widthBytes, bitmap, settings); });
}

dynamic_array *getTSPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    return zvenc::encodePage("TSPL", page, width, height, settings, [&]() -> dynamic_array * {
        const long widthBytes = width / 8;
        // Allocated before anything is logged: a page that cannot have its
        // bitmap says so first.
        std::vector<unsigned char> bitmap = zvenc::newPackedBitmap(widthBytes, height);
        writeLogString("onePrintColorBuf,width = %d,height = %d", static_cast<int>(widthBytes),
                       static_cast<int>(height));
        Gray2Bytes(page, bitmap.data(), widthBytes, height, settings->printMode);
        // TSPL prints 0 bits and leaves 1 bits white.
        for (unsigned char &byte : bitmap) byte = static_cast<unsigned char>(~byte);

        zvenc::ArrayPtr array = zvenc::newOutputArray(zvenc::tsplPageCapacity(widthBytes, height, settings));
        zvenc::appendTSPLSetup(array.get(), settings);
        zvenc::logTSPLBitmapForm(settings);
        if (!zvenc::appendTSPLBitmap(array.get(), width, height, widthBytes, bitmap.data(), settings)) return nullptr;
        zvenc::appendFormatted(array.get(), "PRINT 1,%d\r\n", settings->copies);

        bitmap = std::vector<unsigned char>();  // released before the page is dumped
        return zvenc::finishEncodedPage(std::move(array));
    });
}
