// Byte comparisons whose failures show where the bytes part ways.
#ifndef ZV_TESTS_SUPPORT_GOLDEN_H
#define ZV_TESTS_SUPPORT_GOLDEN_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zvtest {

// "1B 40 0a" -> {0x1B, 0x40, 0x0A}; blanks, commas and line breaks are ignored.
std::vector<uint8_t> hexBytes(const std::string &hex);
std::string toHex(const uint8_t *bytes, size_t count);
std::string toHex(const std::vector<uint8_t> &bytes);
std::vector<uint8_t> bytesOf(const std::string &text);
std::vector<uint8_t> bytesOf(const uint8_t *data, size_t count);

// Use as EXPECT_TRUE(BytesEqual(expected, actual)); on failure reports the
// first differing offset, both bytes and the surrounding bytes of each side.
::testing::AssertionResult BytesEqual(const std::vector<uint8_t> &expected, const std::vector<uint8_t> &actual);

// Concatenation helper: join({hexBytes("1B 40"), bytesOf("SIZE 48 mm\r\n")}).
std::vector<uint8_t> join(const std::vector<std::vector<uint8_t>> &parts);

}  // namespace zvtest

#endif
