#include "encoders/sf_zpl.h"

#include <new>

#include "encoders/encoder_support.h"
#include "encoders/zpl.h"
#include "filter/core/debug_log.h"

namespace {

constexpr char kPagePrefix[] = "^^XX\r\n";

}  // namespace

dynamic_array *getSFZPLPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    if (!zvenc::pageCanBeEncoded("SF ZPL", page, width, height, settings)) return nullptr;
    try {
        const uint64_t total = static_cast<uint64_t>(width / 8) * static_cast<uint64_t>(height);
        zvenc::ArrayPtr array = zvenc::newOutputArray(settings->isCompressie == 1 ? 4096 : 2 * total + 256);
        dynamic_array_push_string(array.get(), kPagePrefix);
        // The page is built straight behind the prefix and dumped as a whole
        // once it is complete, so the dump holds exactly what is sent, in the
        // same order, and nothing of a page that could not be built.
        if (zvenc::appendZPLPage(array.get(), page, width, height, settings) != 0) return nullptr;
        writeLogString("array.size = %d,array.capacity = %d", static_cast<int>(array->size),
                       static_cast<int>(array->capacity));
        writeDebugData(array->data, array->size);
        return array.release();
    } catch (const std::bad_alloc &) {
        zvenc::reportPageSkipped("SF ZPL");
        return nullptr;
    }
}
