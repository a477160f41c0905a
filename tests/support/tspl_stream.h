// Splits a TSPL job into its command lines and BITMAP commands, so tests can
// compare the text and inflate the compressed bands.
#ifndef ZV_TESTS_SUPPORT_TSPL_STREAM_H
#define ZV_TESTS_SUPPORT_TSPL_STREAM_H

#include <cstdint>
#include <string>
#include <vector>

namespace zvtest {

struct TsplItem {
    std::string line;  // a command line without its CR LF; for a bitmap its header, e.g. "BITMAP 0,0,48,240,0,"
    bool isBitmap = false;
    long x = 0, y = 0, widthBytes = 0, height = 0, mode = 0;
    std::vector<uint8_t> data;  // the bitmap bytes as sent (compressed for mode 3)
};

// Parses the whole stream; a malformed stream adds a final item whose line
// starts with "PARSE ERROR".
std::vector<TsplItem> parseTspl(const std::vector<uint8_t> &stream);

// zlib-inflates `packed`, expecting exactly `size` bytes (empty on any error).
std::vector<uint8_t> inflateExactly(const std::vector<uint8_t> &packed, size_t size);

}  // namespace zvtest

#endif
