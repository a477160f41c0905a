// Pieces the single-colour encoders share: owning handle for the output array,
// the packed bitmap of a page, and the report of a page that cannot be encoded.
#ifndef ZV_ENCODERS_ENCODER_SUPPORT_H
#define ZV_ENCODERS_ENCODER_SUPPORT_H

#include <memory>
#include <vector>

#include "core/dynamic_array.h"
#include "core/printer_settings.h"

namespace zvenc {

using ArrayPtr = DynamicArrayPtr;

// Logs the size of a finished page, copies it to the send-data dump and hands
// it to the caller.
dynamic_array *finishEncodedPage(ArrayPtr array);

// A new output array with room for `capacity` bytes; throws std::bad_alloc
// when it cannot be created, so that the encoder skips the page as a whole.
ArrayPtr newOutputArray(uint64_t capacity);

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

}  // namespace zvenc

#endif
