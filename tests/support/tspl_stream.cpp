#include "tests/support/tspl_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zvtest {

std::vector<TsplItem> parseTspl(const std::vector<uint8_t> &stream) {
    std::vector<TsplItem> items;
    size_t pos = 0;
    auto fail = [&](const std::string &why) {
        TsplItem item;
        item.line = "PARSE ERROR at " + std::to_string(pos) + ": " + why;
        items.push_back(item);
    };
    while (pos < stream.size()) {
        TsplItem item;
        const std::string rest(reinterpret_cast<const char *>(stream.data()) + pos,
                               std::min<size_t>(stream.size() - pos, 96));
        if (rest.compare(0, 7, "BITMAP ") == 0) {
            item.isBitmap = true;
            long count = 0;
            int consumed = 0;
            if (std::sscanf(rest.c_str(), "BITMAP %ld,%ld,%ld,%ld,%ld,%n", &item.x, &item.y, &item.widthBytes,
                            &item.height, &item.mode, &consumed) != 5) {
                fail("bad BITMAP header");
                return items;
            }
            if (item.mode == 3) {
                int more = 0;
                if (std::sscanf(rest.c_str() + consumed, "%ld,%n", &count, &more) != 1) {
                    fail("bad compressed length");
                    return items;
                }
                consumed += more;
            } else {
                count = item.widthBytes * item.height;
            }
            item.line = rest.substr(0, static_cast<size_t>(consumed));
            pos += static_cast<size_t>(consumed);
            if (count < 0 || pos + static_cast<size_t>(count) + 2 > stream.size()) {
                fail("bitmap runs past the end");
                return items;
            }
            item.data.assign(stream.begin() + static_cast<long>(pos), stream.begin() + static_cast<long>(pos + count));
            pos += static_cast<size_t>(count);
            if (stream[pos] != '\r' || stream[pos + 1] != '\n') {
                fail("bitmap without CR LF");
                return items;
            }
            pos += 2;
        } else {
            size_t end = pos;
            while (end + 1 < stream.size() && !(stream[end] == '\r' && stream[end + 1] == '\n')) ++end;
            if (end + 1 >= stream.size()) {
                fail("line without CR LF");
                return items;
            }
            item.line.assign(reinterpret_cast<const char *>(stream.data()) + pos, end - pos);
            pos = end + 2;
        }
        items.push_back(item);
    }
    return items;
}

std::vector<uint8_t> inflateExactly(const std::vector<uint8_t> &packed, size_t size) {
    std::vector<uint8_t> out(size + 1);
    uLongf length = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &length, packed.data(), static_cast<uLong>(packed.size())) != Z_OK || length != size)
        return {};
    out.resize(size);
    return out;
}

}  // namespace zvtest
