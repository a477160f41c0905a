#include "encoders/encoder_support.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "core/debug_log.h"
#include "encoders/gray_pack.h"

namespace zvenc {

dynamic_array *finishEncodedPage(ArrayPtr array) {
    writeLogString("array.size = %d,array.capacity = %d", static_cast<int>(array->size),
                   static_cast<int>(array->capacity));
    writeDebugData(array->data, array->size);
    return array.release();
}

ArrayPtr newOutputArray(uint64_t capacity) {
    ArrayPtr array(dynamic_array_init(capacity));
    if (array == nullptr) throw std::bad_alloc();
    return array;
}

std::vector<unsigned char> packGrayPage(const unsigned char *page, long widthBytes, long height, int printMode) {
    // A size that does not even fit the address space is as unallocatable as
    // one that does not fit the memory.
    if (widthBytes < 0 || height < 0 ||
        (height > 0 && static_cast<unsigned long>(widthBytes) > PTRDIFF_MAX / static_cast<unsigned long>(height)))
        throw std::bad_alloc();
    std::vector<unsigned char> bitmap(static_cast<size_t>(widthBytes) * static_cast<size_t>(height), 0);
    if (!bitmap.empty()) Gray2Bytes(page, bitmap.data(), widthBytes, height, printMode);
    return bitmap;
}

bool pageCanBeEncoded(const char *language, const unsigned char *page, long width, long height,
                      const PrinterSettings *settings) {
    if (page != nullptr && settings != nullptr && width >= 8 && height > 0) return true;
    std::fprintf(stderr, "ERROR: %s page of %ld x %ld dots cannot be encoded; page skipped\n", language, width, height);
    writeLogString("%s page of %ld x %ld dots cannot be encoded; page skipped", language, width, height);
    return false;
}

void reportPageSkipped(const char *language) {
    std::fprintf(stderr, "ERROR: %s: out of memory, page not printed\n", language);
    std::fflush(stderr);
    writeLogString("%s: out of memory, page not printed", language);
}

}  // namespace zvenc
