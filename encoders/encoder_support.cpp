#include "encoders/encoder_support.h"

#include <zlib.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <new>

#include "core/debug_log.h"
#include "encoders/gray_pack.h"

long getCutImageLength(long width, long rows, const unsigned char *bandStart, unsigned char *compressData,
                       unsigned long *compressLength, const PrinterSettings *settings) {
    const unsigned long capacity = *compressLength;
    *compressLength = 0;
    if (width <= 0 || rows <= 0 || bandStart == nullptr || compressData == nullptr) return 0;

    for (long tryRows = rows;; tryRows /= 2) {
        const unsigned long srcLen = static_cast<unsigned long>(width) * static_cast<unsigned long>(tryRows) / 8;
        if (srcLen >= settings->noCompressieLimit && tryRows > 1) {
            // Too many raw bytes whatever they compress to: halve without
            // compressing (a long label would otherwise be compressed whole
            // once per halving only to be thrown away).
            writeLogString("allBytes = %lu < %ld ? %d ", srcLen, static_cast<long>(settings->noCompressieLimit), 0);
            continue;
        }
        uLongf packed = capacity;
        const int ret = compress(compressData, &packed, bandStart, srcLen);
        const bool rawFits = srcLen < settings->noCompressieLimit;
        const bool packedFits = packed < settings->compressieLimit;
        writeLogString("compress ret = %d ", ret);
        writeLogString("compress length: compressByteLength = %d / width =%u / height = %u / allBytes = %lu ",
                       static_cast<int>(packed), static_cast<unsigned>(width), static_cast<unsigned>(tryRows), srcLen);
        writeLogString("allBytes = %lu < %ld ? %d ", srcLen, static_cast<long>(settings->noCompressieLimit),
                       rawFits ? 1 : 0);
        writeLogString("compressByteLength = %lu < %ld ? %d", static_cast<unsigned long>(packed),
                       static_cast<long>(settings->compressieLimit), packedFits ? 1 : 0);
        if (ret != Z_OK || srcLen == 0) {
            writeLogString("compress failed (%d): no band", ret);
            return 0;
        }
        if (rawFits && packedFits) {
            writeLogString("===== end =====");
            *compressLength = packed;
            return static_cast<long>(srcLen);
        }
        if (tryRows == 1) {
            // Halving cannot go below one row: limits this tight would otherwise
            // never be met. The printer gets the row on its own instead.
            writeLogString("no band meets the limits (one row: %lu bytes, %lu compressed): sending one row per band",
                           srcLen, static_cast<unsigned long>(packed));
            writeLogString("===== end =====");
            *compressLength = packed;
            return static_cast<long>(srcLen);
        }
    }
}

namespace zvenc {

size_t appendFormatted(dynamic_array *array, const char *format, ...) {
    // Command lines are short: one try in a stack buffer, the rare longer
    // text formatted again at its measured length.
    char line[160];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        throw std::bad_alloc();
    }
    if (static_cast<size_t>(length) < sizeof line) {
        va_end(again);
        dynamic_array_push_more_data(array, line, static_cast<uint64_t>(length));
        return static_cast<size_t>(length);
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    dynamic_array_push_more_data(array, text.data(), static_cast<uint64_t>(length));
    return static_cast<size_t>(length);
}

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

std::vector<unsigned char> newPackedBitmap(long widthBytes, long height) {
    // A size that does not even fit the address space is as unallocatable as
    // one that does not fit the memory.
    if (widthBytes < 0 || height < 0 ||
        (height > 0 && static_cast<unsigned long>(widthBytes) > PTRDIFF_MAX / static_cast<unsigned long>(height)))
        throw std::bad_alloc();
    return std::vector<unsigned char>(static_cast<size_t>(widthBytes) * static_cast<size_t>(height), 0);
}

std::vector<unsigned char> packGrayPage(const unsigned char *page, long widthBytes, long height, int printMode) {
    std::vector<unsigned char> bitmap = newPackedBitmap(widthBytes, height);
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

bool cutZlibBands(long width, long height, long widthBytes, const unsigned char *bitmap,
                  const PrinterSettings *settings, const std::function<void(const ZlibBand &)> &appendBand) {
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
            return false;
        }
        appendBand(ZlibBand{sent, bandBytes, bandBytes / widthBytes, compressed.data(), compressedLength});
        sent += static_cast<uint64_t>(bandBytes);
        rowsLeft -= bandBytes / widthBytes;
    }
    return true;
}

}  // namespace zvenc
