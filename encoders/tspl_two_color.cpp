#include "encoders/tspl_two_color.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoder_support.h"
#include "encoders/tspl.h"

namespace {

constexpr uint8_t kMarked = 255;

// Splits the RGBA page into the two ink planes. Rows are read at the page
// buffer's own pitch (4 * width bytes, also after a width clip); only the
// pixels the raster row really held (bytesPerLine / 4) are looked at.
void splitColors(const unsigned char *page, long bytesPerLine, long width, long height, uint8_t *blackPlane,
                 uint8_t *redPlane) {
    const long columns = std::min(width, std::max(0L, bytesPerLine / 4));
    for (long y = 0; y < height; ++y) {
        const unsigned char *row = page + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        uint8_t *black = blackPlane + static_cast<size_t>(y) * static_cast<size_t>(width);
        uint8_t *red = redPlane + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (long x = 0; x < columns; ++x) {
            const unsigned char *p = row + 4 * x;
            const int r = p[0], g = p[1], b = p[2], a = p[3];
            if (a == 0) continue;  // fully transparent
            const int mx = std::max({r, g, b});
            const int mn = std::min({r, g, b});
            if (mx - mn >= 8) {
                red[x] = kMarked;
                if (mx < 138 && a != 255) black[x] = kMarked;
            } else if (mn < 180) {
                black[x] = kMarked;
            }
        }
    }
}

}  // namespace

dynamic_array *getTSPLTwoColorPrintData(unsigned char *page, long bytesPerLine, long width, long height,
                                        PrinterSettings *settings) {
    return zvenc::encodePage("two-colour TSPL", page, width, height, settings, [&]() -> dynamic_array * {
        const long widthBytes = width / 8;
        const size_t planeBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
        std::vector<uint8_t> blackPlane(planeBytes, 0), redPlane(planeBytes, 0);
        writeLogString("oneColorBuf,width = %d,height = %d", static_cast<int>(width), static_cast<int>(height));
        writeLogString("onePrintColorBuf,width = %d,height = %d", static_cast<int>(widthBytes),
                       static_cast<int>(height));
        splitColors(page, bytesPerLine, width, height, blackPlane.data(), redPlane.data());

        // A plane holds only marked (255) and unmarked (0) pixels, so there is
        // nothing to dither: every classic mode packs the planes by plain
        // threshold, which leaves unmarked paper white and marks solid whatever
        // the dither tables hold; a marked pixel becomes a 0 bit, which TSPL prints.
        const int planeMode = static_cast<unsigned>(settings->printMode) <= 5 ? 0 : settings->printMode;
        std::vector<uint8_t> blackPacked = zvenc::packGrayPage(blackPlane.data(), widthBytes, height, planeMode);
        std::vector<uint8_t> redPacked = zvenc::packGrayPage(redPlane.data(), widthBytes, height, planeMode);
        blackPlane = std::vector<uint8_t>();
        redPlane = std::vector<uint8_t>();

        zvenc::ArrayPtr array = zvenc::newOutputArray(2 * zvenc::tsplPageCapacity(widthBytes, height, settings));
        dynamic_array *out = array.get();
        zvenc::appendTSPLSetup(out, settings);
        zvenc::logTSPLBitmapForm(settings);

        bool sent = true;
        const int32_t model = settings->colorPrintModel;
        if (model == 0 || model == 1) {
            dynamic_array_push_string(out, "SETCOLOR BLACK\r\n");
            sent = zvenc::appendTSPLBitmap(out, width, height, widthBytes, blackPacked.data(), settings);
        }
        if (sent && (model == 0 || model == 2)) {
            zvenc::appendFormatted(out, "SETCOLOR RED %d\r\n", settings->colourDarkness);
            sent = zvenc::appendTSPLBitmap(out, width, height, widthBytes, redPacked.data(), settings);
        }
        if (model == 3) {
            // 0 bits print: AND keeps a dot printed when either colour has it.
            for (size_t i = 0; i < blackPacked.size(); ++i) blackPacked[i] &= redPacked[i];
            dynamic_array_push_string(out, "SETCOLOR BLACK\r\n");
            sent = zvenc::appendTSPLBitmap(out, width, height, widthBytes, blackPacked.data(), settings);
        }
        if (!sent) return nullptr;
        zvenc::appendFormatted(out, "PRINT 1,%d\r\n", settings->copies);

        blackPacked = std::vector<uint8_t>();  // released before the page is dumped
        redPacked = std::vector<uint8_t>();
        return zvenc::finishEncodedPage(std::move(array));
    });
}
