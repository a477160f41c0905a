#include "encoders/zpl.h"

#include <zlib.h>

#include <cstdio>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoder_support.h"
#include "encoders/hex_text.h"
#include "encoders/tspl.h"
#include "protocol/codecs.h"

namespace {

void pushFormatted(dynamic_array *array, const char *format, long a, long b = 0, long c = 0) {
    char line[128];
    std::snprintf(line, sizeof line, format, a, b, c);
    dynamic_array_push_string(array, line);
}

}  // namespace

char charToHex(unsigned value) {
    if (value >= 16) return '0';
    return static_cast<char>(value < 10 ? '0' + value : 'A' + (value - 10));
}

int ZPL_Zlib_CutImage(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                      const PrinterSettings *settings) {
    const uint64_t total = static_cast<uint64_t>(widthBytes) * static_cast<uint64_t>(height);
    std::vector<unsigned char> compressed;
    try {
        compressed.resize(compressBound(static_cast<uLong>(total)));
    } catch (const std::bad_alloc &) {
        writeLogString("start： allBytes = %d/ compressByteLength = %ld / compressData == NULL ? %d ",
                       static_cast<int>(total), static_cast<long>(compressBound(static_cast<uLong>(total))), 1);
        throw;
    }
    writeLogString("start： allBytes = %d/ compressByteLength = %ld / compressData == NULL ? %d ",
                   static_cast<int>(total), static_cast<long>(compressed.size()), 0);
    std::vector<char> base64;

    uint64_t sent = 0;
    long rowsLeft = height;
    while (sent < total) {
        writeLogString("===== start =====");
        unsigned long compressedLength = compressed.size();
        const long bandBytes =
            getCutImageLength(width, rowsLeft, bitmap + sent, compressed.data(), &compressedLength, settings);
        writeLogString("cut image length:cutLength = %ld / allBytes = %d / compressByteLength = %ld ", bandBytes,
                       static_cast<int>(total), static_cast<long>(compressedLength));
        if (bandBytes <= 0) {
            std::fputs("ERROR: Unable to compress the label bitmap; page skipped\n", stderr);
            return 2;
        }

        // Each band is placed under the rows already sent.
        pushFormatted(array, "^FO%ld,%ld,0\r\n", settings->horizontal,
                      settings->vertical + static_cast<long>(sent * 8 / static_cast<uint64_t>(width)));
        pushFormatted(array, "^GFA,%ld,%ld,%ld,", bandBytes, bandBytes, widthBytes);

        const int64_t base64Length = base64EncodedLength(static_cast<int64_t>(compressedLength));
        base64.resize(static_cast<size_t>(base64Length));
        Base64Encode(compressed.data(), static_cast<int64_t>(compressedLength), base64.data());
        writeLogString("base64Len == %d", static_cast<int>(base64Length));
        // The printer checks the Base64 text itself, not the bytes it encodes.
        const uint16_t crc =
            CRC16(reinterpret_cast<const unsigned char *>(base64.data()), static_cast<uint32_t>(base64Length));
        writeLogString("crc %ld", static_cast<long>(crc));

        dynamic_array_push_string(array, ":Z64:");
        dynamic_array_push_more_data(array, base64.data(), base64.size());
        const char trailer[7] = {':',
                                 charToHex((crc >> 12) & 0xF),
                                 charToHex((crc >> 8) & 0xF),
                                 charToHex((crc >> 4) & 0xF),
                                 charToHex(crc & 0xF),
                                 '\r',
                                 '\n'};
        dynamic_array_push_more_data(array, trailer, sizeof trailer);

        sent += static_cast<uint64_t>(bandBytes);
        rowsLeft -= bandBytes / widthBytes;
    }
    return 0;
}

namespace zvenc {

namespace {

// The ZPL format appended to `array`. Returns 0, or 2 when the bitmap cannot be
// compressed (the page is dropped). Throws std::bad_alloc when the bitmap or a
// work buffer cannot be allocated.
int appendZPLPage(dynamic_array *array, unsigned char *page, long width, long height, PrinterSettings *settings) {
    const long widthBytes = width / 8;
    writeLogString("onePrintColorBuf,width = %d,height = %d", static_cast<int>(widthBytes), static_cast<int>(height));
    dynamic_array_push_string(array, "^XA");
    dynamic_array_push_string(array, "^LH0,0");
    switch (settings->mediaTracking) {
        case 0:
            dynamic_array_push_string(array, "^MNN");
            break;
        case 1:
            dynamic_array_push_string(array, "^MNW");
            break;
        case 2:
            dynamic_array_push_string(array, "^MNM");
            break;
        default:
            break;  // no media kind given: the printer keeps its own
    }
    dynamic_array_push_string(array, "^LS0");
    dynamic_array_push_string(array, "^POI");
    pushFormatted(array, "^PW%ld", width);
    pushFormatted(array, "^LL%ld\r\n", height);
    pushFormatted(array, "^PR%ld\r\n", settings->printSpeed);
    pushFormatted(array, "~SD%ld\r\n", settings->darkness);

    std::vector<unsigned char> bitmap = packGrayPage(page, widthBytes, height, settings->printMode);
    if (settings->isCompressie != 1) {
        const long total = static_cast<long>(bitmap.size());
        pushFormatted(array, "^FO%ld,%ld,0\r\n", settings->horizontal, settings->vertical);
        pushFormatted(array, "^GFA,%ld,%ld,%ld,", total, total, widthBytes);
        appendHexText(array, bitmap.data(), bitmap.size());
        dynamic_array_push_string(array, "\r\n");
    } else {
        const int status = ZPL_Zlib_CutImage(array, width, height, widthBytes, bitmap.data(), settings);
        if (status != 0) return status;
    }
    pushFormatted(array, "^PQ%ld^XZ\r\n", settings->copies);
    return 0;
}

}  // namespace

dynamic_array *encodeZPLPage(const char *language, const char *prefix, unsigned char *page, long width, long height,
                             PrinterSettings *settings) {
    if (!pageCanBeEncoded(language, page, width, height, settings)) return nullptr;
    try {
        const uint64_t total = static_cast<uint64_t>(width / 8) * static_cast<uint64_t>(height);
        ArrayPtr array = newOutputArray(settings->isCompressie == 1 ? 4096 : 2 * total + 256);
        // The page is built straight behind the prefix and dumped as a whole
        // once it is complete, so the dump holds exactly what is sent, in the
        // same order, and nothing of a page that could not be built.
        dynamic_array_push_string(array.get(), prefix);
        if (appendZPLPage(array.get(), page, width, height, settings) != 0) return nullptr;
        return finishEncodedPage(std::move(array));
    } catch (const std::bad_alloc &) {
        reportPageSkipped(language);
        return nullptr;
    }
}

}  // namespace zvenc

dynamic_array *getZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    return zvenc::encodeZPLPage("ZPL", "", page, width, height, settings);
}
