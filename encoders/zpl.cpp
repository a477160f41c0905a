#include "encoders/zpl.h"

#include <cstdint>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoder_support.h"
#include "encoders/hex_text.h"
#include "protocol/codecs.h"

char charToHex(unsigned value) {
    if (value >= 16) return '0';
    return static_cast<char>(value < 10 ? '0' + value : 'A' + (value - 10));
}

namespace zvenc {

namespace {

// The compressed graphic fields: one ^FO/^GFA pair per zlib band, the band's
// Base64 text and its CRC. Returns false when zlib fails; throws
// std::bad_alloc when a work buffer cannot be allocated.
bool appendZPLBands(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                    const PrinterSettings *settings) {
    std::vector<char> base64;
    return cutZlibBands(width, height, widthBytes, bitmap, settings, [&](const ZlibBand &band) {
        // Each band is placed under the rows already sent.
        appendFormatted(array, "^FO%ld,%ld,0\r\n", static_cast<long>(settings->horizontal),
                        settings->vertical + static_cast<long>(band.firstByte * 8 / static_cast<uint64_t>(width)));
        appendFormatted(array, "^GFA,%ld,%ld,%ld,", band.bytes, band.bytes, widthBytes);

        const int64_t base64Length = base64EncodedLength(static_cast<int64_t>(band.compressedLength));
        base64.resize(static_cast<size_t>(base64Length));
        Base64Encode(band.compressed, static_cast<int64_t>(band.compressedLength), base64.data());
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
    });
}

// The ZPL format appended to `array`. Returns false when the bitmap cannot be
// compressed (the page is dropped); throws std::bad_alloc when the bitmap or a
// work buffer cannot be allocated.
bool appendZPLPage(dynamic_array *array, unsigned char *page, long width, long height, PrinterSettings *settings) {
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
    appendFormatted(array, "^PW%ld", width);
    appendFormatted(array, "^LL%ld\r\n", height);
    appendFormatted(array, "^PR%ld\r\n", static_cast<long>(settings->printSpeed));
    appendFormatted(array, "~SD%ld\r\n", static_cast<long>(settings->darkness));

    std::vector<unsigned char> bitmap = packGrayPage(page, widthBytes, height, settings->printMode);
    if (settings->isCompressie != 1) {
        const long total = static_cast<long>(bitmap.size());
        appendFormatted(array, "^FO%ld,%ld,0\r\n", static_cast<long>(settings->horizontal),
                        static_cast<long>(settings->vertical));
        appendFormatted(array, "^GFA,%ld,%ld,%ld,", total, total, widthBytes);
        appendHexText(array, bitmap.data(), bitmap.size());
        dynamic_array_push_string(array, "\r\n");
    } else if (!appendZPLBands(array, width, height, widthBytes, bitmap.data(), settings)) {
        return false;
    }
    appendFormatted(array, "^PQ%ld^XZ\r\n", static_cast<long>(settings->copies));
    return true;
}

}  // namespace

dynamic_array *encodeZPLPage(const char *language, const char *prefix, unsigned char *page, long width, long height,
                             PrinterSettings *settings) {
    return encodePage(language, page, width, height, settings, [&]() -> dynamic_array * {
        const uint64_t total = static_cast<uint64_t>(width / 8) * static_cast<uint64_t>(height);
        ArrayPtr array = newOutputArray(settings->isCompressie == 1 ? 4096 : 2 * total + 256);
        // The page is built straight behind the prefix and dumped as a whole
        // once it is complete, so the dump holds exactly what is sent, in the
        // same order, and nothing of a page that could not be built.
        dynamic_array_push_string(array.get(), prefix);
        if (!appendZPLPage(array.get(), page, width, height, settings)) return nullptr;
        return finishEncodedPage(std::move(array));
    });
}

}  // namespace zvenc

int ZPL_Zlib_CutImage(dynamic_array *array, long width, long height, long widthBytes, const unsigned char *bitmap,
                      const PrinterSettings *settings) {
    return zvenc::bandCutterStatus(
        "ZPL", [&] { return zvenc::appendZPLBands(array, width, height, widthBytes, bitmap, settings); });
}

dynamic_array *getZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    return zvenc::encodeZPLPage("ZPL", "", page, width, height, settings);
}
