#include "tests/support/golden.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace zvtest {

std::vector<uint8_t> hexBytes(const std::string &hex) {
    std::vector<uint8_t> out;
    int pending = -1;
    for (char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) throw std::invalid_argument("bad hex: " + hex);
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
        if (pending < 0) {
            pending = v;
        } else {
            out.push_back(static_cast<uint8_t>(pending * 16 + v));
            pending = -1;
        }
    }
    if (pending >= 0) throw std::invalid_argument("odd hex digit count: " + hex);
    return out;
}

std::string toHex(const uint8_t *bytes, size_t count) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) out += ' ';
        out += buf;
    }
    return out;
}

std::string toHex(const std::vector<uint8_t> &bytes) { return toHex(bytes.data(), bytes.size()); }

std::vector<uint8_t> bytesOf(const std::string &text) { return std::vector<uint8_t>(text.begin(), text.end()); }
std::vector<uint8_t> bytesOf(const uint8_t *data, size_t count) { return std::vector<uint8_t>(data, data + count); }

namespace {
std::string around(const std::vector<uint8_t> &bytes, size_t offset) {
    size_t from = offset >= 8 ? offset - 8 : 0;
    size_t to = std::min(bytes.size(), offset + 8);
    if (from >= to) return "(end)";
    std::string printable;
    for (size_t i = from; i < to; ++i) printable += std::isprint(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
    return "[" + std::to_string(from) + "..] " + toHex(bytes.data() + from, to - from) + "  |" + printable + "|";
}
}  // namespace

::testing::AssertionResult BytesEqual(const std::vector<uint8_t> &expected, const std::vector<uint8_t> &actual) {
    const size_t common = std::min(expected.size(), actual.size());
    size_t offset = 0;
    while (offset < common && expected[offset] == actual[offset]) ++offset;
    if (offset == common && expected.size() == actual.size()) return ::testing::AssertionSuccess();
    auto result = ::testing::AssertionFailure();
    result << "bytes differ at offset " << offset << " (expected " << expected.size() << " bytes, got " << actual.size()
           << ")\n";
    if (offset < expected.size()) {
        char b[8];
        std::snprintf(b, sizeof b, "%02X", expected[offset]);
        result << "  expected byte " << b;
    } else {
        result << "  expected end of data";
    }
    if (offset < actual.size()) {
        char b[8];
        std::snprintf(b, sizeof b, "%02X", actual[offset]);
        result << ", actual byte " << b << "\n";
    } else {
        result << ", actual data ended\n";
    }
    result << "  expected " << around(expected, offset) << "\n  actual   " << around(actual, offset);
    return result;
}

std::vector<uint8_t> join(const std::vector<std::vector<uint8_t>> &parts) {
    std::vector<uint8_t> out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace zvtest
