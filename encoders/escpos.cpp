#include "encoders/escpos.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "encoders/encoder_support.h"
#include "encoders/escpos_sequences.h"

namespace {

// GS v 0 carries the row count in 16 bits.
constexpr long kMaxRasterRows = 0xFFFF;

bool allBytesAre(const unsigned char *bytes, size_t count, unsigned char value) {
    // memcmp of the block against itself shifted by one byte: every byte equals
    // its neighbour, and the first one equals `value`.
    return count == 0 || (bytes[0] == value && std::memcmp(bytes, bytes + 1, count - 1) == 0);
}

bool isWhiteRow(const unsigned char *row, long widthBytes) {
    return allBytesAre(row, static_cast<size_t>(widthBytes), 0x00);
}

// A row is black when everything between its first and its last byte prints:
// the outer bytes are ignored because page edges are often not fully covered.
bool isBlackRow(const unsigned char *row, long widthBytes) {
    if (widthBytes <= 2) return true;
    return allBytesAre(row + 1, static_cast<size_t>(widthBytes - 2), 0xFF);
}

void pushLittleEndian16(dynamic_array *array, unsigned long value) {
    dynamic_array_push(array, static_cast<uint8_t>(value & 0xFF));
    dynamic_array_push(array, static_cast<uint8_t>((value >> 8) & 0xFF));
}

}  // namespace

long trimESCRows(unsigned char *bitmap, long widthBytes, long height, bool dropBlackRows) {
    const size_t pitch = static_cast<size_t>(widthBytes);

    long top = 0;
    while (top < height && isWhiteRow(bitmap + top * pitch, widthBytes)) ++top;
    if (top < height && top > 0) {
        std::memmove(bitmap, bitmap + top * pitch, static_cast<size_t>(height - top) * pitch);
        height -= top;
    }
    writeLogString("cut start white: bytesWidth = %ld, height = %ld", widthBytes, height);

    if (dropBlackRows) {
        // One pass: kept rows are copied down over the removed ones, so a long
        // receipt full of black rows stays linear. The index logged is the one
        // the row has after the rows above it were removed.
        long kept = 0;
        for (long row = 0; row < height; ++row) {
            unsigned char *source = bitmap + row * pitch;
            if (isBlackRow(source, widthBytes)) {
                writeLogString("mid black: i = %ld", kept);
                continue;
            }
            if (kept != row) std::memcpy(bitmap + kept * pitch, source, pitch);
            ++kept;
        }
        height = kept;
    }
    writeLogString("cut mid black: bytesWidth = %ld, height = %ld", widthBytes, height);

    long last = height - 1;
    while (last >= 0 && isWhiteRow(bitmap + last * pitch, widthBytes)) --last;
    if (last >= 0) height = last + 1;
    writeLogString("cut end white: bytesWidth = %ld, height = %ld", widthBytes, height);
    return height;
}

dynamic_array *getESCPrintData(unsigned char *page, long width, long height, PrinterSettings *settings) {
    return zvenc::encodePage("ESC/POS", page, width, height, settings, [&]() -> dynamic_array * {
        writeLogString("width = %ld, height = %ld", width, height);
        const long widthBytes = width / 8;
        if (widthBytes > 0xFFFF) {
            // GS v 0 cannot express such a width; no receipt printer has it.
            std::fprintf(stderr,
                         "ERROR: ESC/POS: page width of %ld dots is more than the printer command allows, "
                         "page not printed\n",
                         width);
            writeLogString("ESC/POS: page width %ld too large", width);
            return nullptr;
        }
        std::vector<unsigned char> bitmap = zvenc::packGrayPage(page, widthBytes, height, settings->printMode);
        const long rows = trimESCRows(bitmap.data(), widthBytes, height, settings->blankSpace == 1);

        const int dotsPerMM = (settings->resolution == 200 || settings->resolution == 203) ? 8 : 12;
        const unsigned feedRows = 3u * static_cast<unsigned>(dotsPerMM);
        const unsigned feeds = static_cast<uint8_t>(settings->feedDist);
        const uint64_t feedBytes = static_cast<uint64_t>(feedRows) * static_cast<uint64_t>(widthBytes);
        const uint64_t rasterBytes = static_cast<uint64_t>(rows) * static_cast<uint64_t>(widthBytes);

        zvenc::ArrayPtr array = zvenc::newOutputArray(rasterBytes + feeds * (8 + feedBytes) + 64);
        dynamic_array *out = array.get();
        dynamic_array_push(out, 0x00);
        if (settings->beeper == 2) addPosBeeper(out);

        // A page taller than one GS v 0 command can carry goes out as several
        // commands, one under the other; a smaller page is a single command.
        long sentRows = 0;
        do {
            const long bandRows = std::min(rows - sentRows, kMaxRasterRows);
            const uint8_t command[] = {0x1D, 0x76, 0x30, 0x00};
            dynamic_array_push_more_data(out, command, sizeof command);
            pushLittleEndian16(out, static_cast<unsigned long>(widthBytes));
            pushLittleEndian16(out, static_cast<unsigned long>(bandRows));
            dynamic_array_push_more_data(out, bitmap.data() + static_cast<size_t>(sentRows) * widthBytes,
                                         static_cast<uint64_t>(bandRows) * static_cast<uint64_t>(widthBytes));
            sentRows += bandRows;
        } while (sentRows < rows);
        dynamic_array_push_string(out, "\r\n\r\n");

        if (feeds > 0) {
            const std::vector<unsigned char> blank(static_cast<size_t>(feedBytes), 0);
            for (unsigned i = 0; i < feeds; ++i) {
                const uint8_t command[] = {0x1D, 0x76, 0x30, 0x30};
                dynamic_array_push_more_data(out, command, sizeof command);
                pushLittleEndian16(out, static_cast<unsigned long>(widthBytes));
                pushLittleEndian16(out, feedRows);
                dynamic_array_push_more_data(out, blank.data(), blank.size());
            }
        }
        if (settings->cutting == 1) addPosCutting(out);
        if (settings->beeper == 1) addPosBeeper(out);

        return zvenc::finishEncodedPage(std::move(array));
    });
}
