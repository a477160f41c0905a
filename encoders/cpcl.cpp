#include "encoders/cpcl.h"

#include <cstdint>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoder_support.h"
#include "encoders/hex_text.h"

namespace {

// CPCL knows the two head resolutions only; 203-dpi heads are addressed as 200.
int headerResolution(int32_t resolution) { return (resolution == 200 || resolution == 203) ? 200 : 300; }

}  // namespace

dynamic_array *getCPCLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    return zvenc::encodePage("CPCL", page, width, height, settings, [&]() -> dynamic_array * {
        writeLogString("width = %ld, height = %ld", width, height);
        const long widthBytes = width / 8;
        const std::vector<unsigned char> bitmap = zvenc::packGrayPage(page, widthBytes, height, settings->printMode);
        const uint64_t total = bitmap.size();
        const bool binary = settings->isCompressie == 1;

        zvenc::ArrayPtr array = zvenc::newOutputArray((binary ? total : 2 * total) + 256);
        const int resolution = headerResolution(settings->resolution);
        zvenc::appendFormatted(array.get(), "! %d %d %d %ld %d\r\n", 0, resolution, resolution, height,
                               static_cast<int>(settings->copies));
        zvenc::appendFormatted(array.get(), "PW %ld\r\n", width);
        // The media is always sensed by its gaps: the CPCL printers served here
        // have no continuous or black-mark mode selectable from the job.
        dynamic_array_push_string(array.get(), "NO-PACE\r\n");
        dynamic_array_push_string(array.get(), "GAP-SENSE\r\n");
        zvenc::appendFormatted(array.get(), "TONE %d\r\n", static_cast<int>(settings->darkness));
        zvenc::appendFormatted(array.get(), "SPEED %d.0\r\n", static_cast<int>(settings->printSpeed));

        if (!binary) {
            writeLogString("isCompressie - NO");
            zvenc::appendFormatted(array.get(), "EG %ld %ld %d %d \r\n", widthBytes, height,
                                   static_cast<int>(settings->horizontal), static_cast<int>(settings->vertical));
            appendHexText(array.get(), bitmap.data(), total);
        } else {
            // "Compressed" here means the binary CG form: half the bytes of EG.
            writeLogString("isCompressie - YES");
            zvenc::appendFormatted(array.get(), "CG %ld %ld %d %d \r\n", widthBytes, height,
                                   static_cast<int>(settings->horizontal), static_cast<int>(settings->vertical));
            dynamic_array_push_more_data(array.get(), bitmap.data(), total);
        }
        dynamic_array_push_string(array.get(), "\r\n");
        dynamic_array_push_string(array.get(), "\r\n");
        dynamic_array_push_string(array.get(), "FORM\r\nPRINT\r\n");

        return zvenc::finishEncodedPage(std::move(array));
    });
}
