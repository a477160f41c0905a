#include "protocol/codecs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string encode(const std::string &input) {
    // One guard byte past the encoded length catches an encoder that writes a
    // terminator or too many characters.
    std::string out(static_cast<size_t>(base64EncodedLength(static_cast<int64_t>(input.size()))) + 1, '#');
    char *result = Base64Encode(reinterpret_cast<const unsigned char *>(input.data()),
                                static_cast<int64_t>(input.size()), out.data());
    EXPECT_EQ(result, out.data());
    EXPECT_EQ(out.back(), '#') << "wrote past 4 * ceil(n / 3) characters";
    out.pop_back();
    return out;
}

struct Base64Case {
    const char *input;
    const char *expected;
};

TEST(Base64Encode, Rfc4648TestVectors) {
    const Base64Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const Base64Case &c : cases) EXPECT_EQ(encode(c.input), c.expected) << "input \"" << c.input << "\"";
}

TEST(Base64Encode, UsesWholeAlphabetIncludingPlusAndSlash) {
    std::string bytes;
    // 0x00 0x10 0x83 0x10 0x51 0x87 ... is the classic alphabet walk: each
    // 6-bit group takes the values 0..63 in order.
    for (int v = 0; v < 64; v += 4) {
        const unsigned group = (v << 18) | ((v + 1) << 12) | ((v + 2) << 6) | (v + 3);
        bytes.push_back(static_cast<char>(group >> 16));
        bytes.push_back(static_cast<char>(group >> 8));
        bytes.push_back(static_cast<char>(group));
    }
    EXPECT_EQ(encode(bytes), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Base64Encode, TenBytesGiveSixteenCharactersWithTwoPads) {
    const std::string out = encode(std::string("\xFF\x00\x01\x02\x03\x04\x05\x06\x07\x08", 10));
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(out, "/wABAgMEBQYHCA==");
}

TEST(CRC16, XmodemCheckValues) {
    struct Case {
        std::vector<unsigned char> data;
        uint16_t crc;
    };
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
    const Case cases[] = {
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x31C3},
        {{}, 0x0000},
        {{'A'}, 0x58E5},
        {all, 0x7E55},
    };
    for (const Case &c : cases) EXPECT_EQ(CRC16(c.data.data(), static_cast<uint32_t>(c.data.size())), c.crc);
}

}  // namespace
