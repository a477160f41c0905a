// What every command-language encoder is built from, so that each language
// file only says what its printer language looks like:
//   dynamic_array *get<Language>PrintData(page, width, height, settings) {
//       return zvenc::encodePage("<Language>", page, width, height, settings, [&]() -> dynamic_array * {
//           pack the page (packGrayPage), newOutputArray, the commands through
//           appendFormatted, the bitmap (cutZlibBands for zlib bands);
//           return finishEncodedPage(std::move(array));
//       });
//   }
// Out of memory: the helpers throw std::bad_alloc and only the frames of the
// encoders' public functions (encodePage, bandCutterStatus) catch it, so a
// page is sent whole or not at all, with one "ERROR: <language>: out of
// memory, page not printed" line.
#ifndef ZV_ENCODERS_ENCODER_SUPPORT_H
#define ZV_ENCODERS_ENCODER_SUPPORT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

// Size search for one zlib band. `width` is the row width in pixels (8 per
// packed byte), `rows` the rows still to send from `bandStart`. Compresses the
// first `rows` rows, then half, a quarter... until the uncompressed size is
// below `noCompressieLimit` and the compressed size below `compressieLimit`.
// When not even one row meets the limits, that one row is the band (logged).
// `*compressLength` holds the capacity of `compressData` on entry (at least
// compressBound of the whole band) and the band's compressed size on return.
// Returns the band's uncompressed byte count (a whole number of rows), or 0 when
// there is nothing to send or zlib fails (then *compressLength is 0).
long getCutImageLength(long width, long rows, const unsigned char *bandStart, unsigned char *compressData,
                       unsigned long *compressLength, const PrinterSettings *settings);

namespace zvenc {

using ArrayPtr = DynamicArrayPtr;

// Appends the printf-formatted text (a command line or part of one) to the
// array and returns its length, so that the caller can log what it appended.
// Throws std::bad_alloc when the text cannot be formatted.
size_t appendFormatted(dynamic_array *array, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Logs the size of a finished page, copies it to the send-data dump and hands
// it to the caller.
dynamic_array *finishEncodedPage(ArrayPtr array);

// A new output array with room for `capacity` bytes; throws std::bad_alloc
// when it cannot be created.
ArrayPtr newOutputArray(uint64_t capacity);

// A zero-filled block of widthBytes * height bytes for a packed bitmap. Throws
// std::bad_alloc when it cannot be allocated.
std::vector<unsigned char> newPackedBitmap(long widthBytes, long height);

// Packs the gray page (widthBytes * 8 pixels per row) to one bit per dot, a set
// bit printing, into a zero-filled block of widthBytes * height bytes. Throws
// std::bad_alloc when the block cannot be allocated.
std::vector<unsigned char> packGrayPage(const unsigned char *page, long widthBytes, long height, int printMode);

// False, with "ERROR: ..." on standard error, for a call no page can come from:
// no page or settings, a width below one packed byte or no rows.
bool pageCanBeEncoded(const char *language, const unsigned char *page, long width, long height,
                      const PrinterSettings *settings);

// "ERROR: <language>: out of memory, page not printed" on standard error and in
// the log. The encoder then returns nullptr and nothing of the page is sent.
void reportPageSkipped(const char *language);

// The frame of every entry point: the page checks, then `build` (which returns
// the finished page, or nullptr when it cannot be encoded), with an
// out-of-memory anywhere inside reported and the page skipped.
template <typename Build>
dynamic_array *encodePage(const char *language, const unsigned char *page, long width, long height,
                          const PrinterSettings *settings, Build &&build) {
    if (!pageCanBeEncoded(language, page, width, height, settings)) return nullptr;
    try {
        return build();
    } catch (const std::bad_alloc &) {
        reportPageSkipped(language);
        return nullptr;
    }
}

// The frame of the public band cutters: 0 when `cut` sent every band, 2 when
// zlib failed or (reported) memory ran out.
template <typename Cut>
int bandCutterStatus(const char *language, Cut &&cut) {
    try {
        return cut() ? 0 : 2;
    } catch (const std::bad_alloc &) {
        reportPageSkipped(language);
        return 2;
    }
}

// One band of a packed bitmap as zlib compressed it.
struct ZlibBand {
    uint64_t firstByte;               // bitmap bytes sent before this band
    long bytes;                       // the band's uncompressed bytes, whole rows
    long rows;                        // bytes / widthBytes
    const unsigned char *compressed;  // the zlib stream of the band
    unsigned long compressedLength;
};

// Cuts the packed bitmap (widthBytes bytes per row, `height` rows of `width`
// pixels) into zlib bands top to bottom, each under both band limits of the
// settings (getCutImageLength), and hands them to `appendBand` in order.
// Returns false, with "ERROR: ..." on standard error, when zlib fails (what was
// appended so far must not be sent). Throws std::bad_alloc when the
// compression buffer cannot be allocated.
bool cutZlibBands(long width, long height, long widthBytes, const unsigned char *bitmap,
                  const PrinterSettings *settings, const std::function<void(const ZlibBand &)> &appendBand);

}  // namespace zvenc

#endif
