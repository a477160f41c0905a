// Huffman tree, traversals, row encoder with part cutting, decoder.
#include "protocol/huffman.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/owned_handles.h"

using zvtest::BytesEqual;
using zvtest::hexBytes;

namespace {

template <typename T>
using Owned = zvtest::MallocPtr<T>;

struct Tree {
    Owned<HuffmanNode> nodes;
    int32_t count = 0;
};

Tree treeOf(const std::vector<uint8_t> &bytes) {
    Tree t;
    t.nodes.reset(ZVGetHfmTree(bytes.data(), static_cast<int32_t>(bytes.size()), &t.count));
    return t;
}

std::string codeOf(const Tree &t, uint16_t symbol) {
    for (int32_t i = 0; i < (t.count + 1) / 2; ++i) {
        const HuffmanNode &n = t.nodes.get()[i];
        if (n.symbol != symbol) continue;
        std::string code;
        for (int b = 0; b < n.codeLength; ++b) code += static_cast<char>('0' + n.codeBits[b]);
        return code;
    }
    return "none";
}

std::vector<uint16_t> preorder(const Tree &t) {
    Owned<uint16_t> p(ZVGetTreePreorder(t.nodes.get(), t.count));
    return p ? std::vector<uint16_t>(p.get(), p.get() + t.count) : std::vector<uint16_t>{};
}

std::vector<uint16_t> inorder(const Tree &t) {
    Owned<uint16_t> p(ZVGetTreeMiddleorder(t.nodes.get(), t.count));
    return p ? std::vector<uint16_t>(p.get(), p.get() + t.count) : std::vector<uint16_t>{};
}

struct Encoded {
    std::vector<std::vector<uint8_t>> parts;
    std::vector<uint32_t> imageBytes;
};

Encoded encode(const Tree &t, const std::vector<uint8_t> &bytes, int32_t width, int32_t maxPart) {
    Encoded e;
    int32_t count = -1;
    CodedPart *parts = ZVHFMDGencoding(t.nodes.get(), t.count, bytes.data(), width,
                                       static_cast<int32_t>(bytes.size()) / width, maxPart, &count);
    if (parts == nullptr) {
        EXPECT_EQ(count, 0);
        return e;
    }
    for (int32_t k = 0; k < count; ++k) {
        e.parts.emplace_back(parts[k].data, parts[k].data + parts[k].length);
        e.imageBytes.push_back(parts[k].imageBytes);
    }
    EXPECT_EQ(parts[0].data + parts[0].length, count > 1 ? parts[1].data : parts[0].data + parts[0].length)
        << "parts lie back to back";
    ZVFreeSendDataBag(parts);
    return e;
}

// Serialise, rebuild as the printer would, and decode one part.
std::vector<uint8_t> decode(const std::vector<uint16_t> &pre, const std::vector<uint16_t> &in,
                            const std::vector<uint8_t> &part, bool *ok = nullptr) {
    Owned<HuffmanDecodeNode> tree(
        ZVMakeHfmTree(pre.data(), static_cast<int32_t>(pre.size()), in.data(), static_cast<int32_t>(in.size())));
    if (ok) *ok = tree != nullptr;
    if (!tree) return {};
    uint32_t count = 99;
    Owned<uint8_t> out(ZVHFMdecoding(tree.get(), static_cast<int32_t>(pre.size()), part.data(),
                                     static_cast<uint32_t>(part.size()), &count));
    if (ok) *ok = out != nullptr;
    if (!out) {
        EXPECT_EQ(count, 0u);
        return {};
    }
    return std::vector<uint8_t>(out.get(), out.get() + count);
}

}  // namespace

TEST(HuffmanTreeTest, AllZeroChunkHasTwoLeavesAndCodesEachByteAsOne) {
    const Tree t = treeOf(std::vector<uint8_t>(48 * 100, 0x00));
    ASSERT_EQ(t.count, 3);
    const HuffmanNode *n = t.nodes.get();
    EXPECT_EQ(n[0].symbol, 0);
    EXPECT_EQ(n[0].weight, 4800);
    EXPECT_EQ(n[1].symbol, 1);
    EXPECT_EQ(n[1].weight, 1);
    EXPECT_EQ(n[2].symbol, 256);
    EXPECT_EQ(n[2].left, 1);
    EXPECT_EQ(n[2].right, 0);
    EXPECT_EQ(n[2].parent, -1);
    EXPECT_EQ(preorder(t), (std::vector<uint16_t>{256, 1, 0}));
    EXPECT_EQ(inorder(t), (std::vector<uint16_t>{1, 256, 0}));
    EXPECT_EQ(codeOf(t, 0), "1");
}

TEST(HuffmanTreeTest, TieBreaksAndTheExtraLeaf) {
    struct Case {
        std::vector<uint8_t> bytes;
        std::vector<uint16_t> leaves;  // in node order
        std::vector<std::pair<uint16_t, std::string>> codes;
    };
    const Case cases[] = {
        // Only 0xFF: the extra leaf is 0xFE, stored after it, and lighter.
        {{0xFF, 0xFF, 0xFF}, {0xFF, 0xFE}, {{0xFF, "1"}, {0xFE, "0"}}},
        // One byte: two leaves of weight 1, the first becomes the left child.
        {{0x10}, {0x10, 0x11}, {{0x10, "0"}, {0x11, "1"}}},
        {{0x7F}, {0x7F, 0x7E}, {{0x7F, "0"}, {0x7E, "1"}}},
        // Equal counts: the lower byte value goes left.
        {{0x09, 0x05, 0x05, 0x09}, {0x05, 0x09}, {{0x05, "0"}, {0x09, "1"}}},
        // An equal-weight leaf is preferred to an internal node: 0x30 (weight 2)
        // pairs with the node of 0x10 and 0x20 (weight 2) and goes left.
        {{0x10, 0x20, 0x30, 0x30}, {0x10, 0x20, 0x30}, {{0x30, "0"}, {0x10, "10"}, {0x20, "11"}}},
    };
    for (const Case &c : cases) {
        const Tree t = treeOf(c.bytes);
        ASSERT_EQ(t.count, static_cast<int32_t>(2 * c.leaves.size() - 1));
        for (size_t i = 0; i < c.leaves.size(); ++i) EXPECT_EQ(t.nodes.get()[i].symbol, c.leaves[i]);
        for (const auto &code : c.codes) EXPECT_EQ(codeOf(t, code.first), code.second) << code.first;
    }
    const Tree t = treeOf({0x10, 0x20, 0x30, 0x30});
    EXPECT_EQ(preorder(t), (std::vector<uint16_t>{257, 0x30, 256, 0x10, 0x20}));
    EXPECT_EQ(inorder(t), (std::vector<uint16_t>{0x30, 257, 0x10, 256, 0x20}));
}

TEST(HuffmanTreeTest, MinNodeSkipsNodesWithParentsAndComparesSigned) {
    HuffmanNode nodes[4] = {};
    const int32_t weights[4] = {5, 1, -3, 1};
    for (int i = 0; i < 4; ++i) {
        nodes[i].weight = weights[i];
        nodes[i].parent = -1;
    }
    nodes[2].parent = 3;
    int32_t a = -1, b = -1;
    ASSERT_TRUE(ZVGetMinTreeNode(nodes, 4, &a, &b));
    EXPECT_EQ(a, 1);  // the lower index of the two weights 1
    EXPECT_EQ(b, 3);
    nodes[2].parent = -1;
    ASSERT_TRUE(ZVGetMinTreeNode(nodes, 4, &a, &b));
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    EXPECT_FALSE(ZVGetMinTreeNode(nodes, 1, &a, &b));
}

TEST(HuffmanTreeTest, MissingOrEmptyInputGivesNone) {
    int32_t count = 7;
    const uint8_t byte = 0;
    EXPECT_EQ(ZVGetHfmTree(nullptr, 4, &count), nullptr);
    EXPECT_EQ(count, 0);
    count = 7;
    EXPECT_EQ(ZVGetHfmTree(&byte, 0, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ZVGetTreePreorder(nullptr, 3), nullptr);
}

TEST(HuffmanTreeTest, TraversalOfABrokenTreeGivesNone) {
    Tree t = treeOf({1, 2, 3, 3});
    t.nodes.get()[t.count - 1].right = t.count;  // child outside the array
    EXPECT_TRUE(preorder(t).empty());
    EXPECT_TRUE(inorder(t).empty());
    Tree u = treeOf({1, 2, 3, 3});
    u.nodes.get()[u.count - 1].right = -1;  // visits fewer than all nodes
    EXPECT_TRUE(preorder(u).empty());
}

TEST(HuffmanEncodeTest, PartOf13BitsAndPaddingFilledFromTheNextPart) {
    const std::vector<uint8_t> zeros(13, 0x00);
    const Tree t = treeOf(zeros);
    Encoded one = encode(t, zeros, 13, 100);
    ASSERT_EQ(one.parts.size(), 1u);
    EXPECT_TRUE(BytesEqual(hexBytes("03 FF F8"), one.parts[0]));

    // Two rows of 13 bits with a limit of (3 - 1) * 8 = 16 bits: one part per
    // row; the first part's last byte carries the second part's first bits.
    const std::vector<uint8_t> two(26, 0x00);
    const Tree t2 = treeOf(two);
    Encoded split = encode(t2, two, 13, 3);
    ASSERT_EQ(split.parts.size(), 2u);
    EXPECT_TRUE(BytesEqual(hexBytes("03 FF FF"), split.parts[0]));
    EXPECT_TRUE(BytesEqual(hexBytes("03 FF F8"), split.parts[1]));
    EXPECT_EQ(split.imageBytes, (std::vector<uint32_t>{13, 13}));
}

TEST(HuffmanEncodeTest, PartsStayWithinTheLimitUnlessASingleRow) {
    std::mt19937 rng(7);
    for (const int32_t maxPart : {1, 2, 5, 40, 300}) {
        const int32_t width = 9, rows = 120;
        std::vector<uint8_t> bytes(static_cast<size_t>(width * rows));
        for (auto &b : bytes) b = static_cast<uint8_t>(rng() % 23 == 0 ? rng() : 0);
        const Tree t = treeOf(bytes);
        const Encoded e = encode(t, bytes, width, maxPart);
        ASSERT_FALSE(e.parts.empty());
        uint32_t covered = 0;
        for (size_t k = 0; k < e.parts.size(); ++k) {
            const std::vector<uint8_t> &part = e.parts[k];
            const uint32_t bits = 8 * static_cast<uint32_t>(part.size() - 1) - part[0];
            EXPECT_LT(part[0], 8);
            EXPECT_EQ(e.imageBytes[k] % width, 0u);
            if (e.imageBytes[k] > static_cast<uint32_t>(width)) {
                EXPECT_LE(bits, static_cast<uint32_t>(maxPart - 1) * 8) << "M=" << maxPart << " part " << k;
                EXPECT_LE(part.size(), static_cast<size_t>(maxPart));
            }
            covered += e.imageBytes[k];
        }
        EXPECT_EQ(covered, bytes.size());
    }
}

TEST(HuffmanEncodeTest, RejectedArguments) {
    const std::vector<uint8_t> bytes(64, 0x00);
    const Tree t = treeOf(bytes);
    const Tree other = treeOf({0x55, 0x55});
    struct Case {
        const char *what;
        const HuffmanNode *tree;
        const uint8_t *data;
        int32_t width, rows, maxPart;
    };
    const Case cases[] = {
        {"no tree", nullptr, bytes.data(), 8, 8, 100},
        {"no data", t.nodes.get(), nullptr, 8, 8, 100},
        {"width 0", t.nodes.get(), bytes.data(), 0, 8, 100},
        {"rows 0", t.nodes.get(), bytes.data(), 8, 0, 100},
        {"rows * width overflows", t.nodes.get(), bytes.data(), 65536, 32768, 100},
        {"part limit 0", t.nodes.get(), bytes.data(), 8, 8, 0},
        {"part limit too large", t.nodes.get(), bytes.data(), 8, 8, 268435456},
        {"byte without leaf", other.nodes.get(), bytes.data(), 8, 8, 100},
    };
    for (const Case &c : cases) {
        int32_t count = 5;
        EXPECT_EQ(ZVHFMDGencoding(c.tree, 3, c.data, c.width, c.rows, c.maxPart, &count), nullptr) << c.what;
        EXPECT_EQ(count, 0) << c.what;
    }
    int32_t count = 0;
    CodedPart *ok = ZVHFMDGencoding(t.nodes.get(), 3, bytes.data(), 8, 8, 268435455, &count);
    EXPECT_NE(ok, nullptr);
    ZVFreeSendDataBag(ok);
}

TEST(HuffmanRoundTripTest, RandomImagesDecodeBackPartByPart) {
    std::mt19937 rng(20261210);
    for (int trial = 0; trial < 40; ++trial) {
        const int32_t width = 1 + static_cast<int32_t>(rng() % 60);
        const int32_t rows = 1 + static_cast<int32_t>(rng() % 80);
        const int kind = trial % 4;
        std::vector<uint8_t> bytes(static_cast<size_t>(width * rows));
        for (auto &b : bytes) {
            switch (kind) {
                case 0:
                    b = static_cast<uint8_t>(rng());
                    break;  // up to 256 values, long codes
                case 1:
                    b = rng() % 10 == 0 ? static_cast<uint8_t>(rng()) : 0x00;
                    break;  // mostly paper
                case 2:
                    b = static_cast<uint8_t>(rng() % 3 == 0 ? 0xFF : 0x00);
                    break;
                default:
                    b = static_cast<uint8_t>(1u << (rng() % 8));
                    break;
            }
        }
        const Tree t = treeOf(bytes);
        ASSERT_GT(t.count, 2);
        const std::vector<uint16_t> pre = preorder(t), in = inorder(t);
        ASSERT_EQ(pre.size(), static_cast<size_t>(t.count));
        const int32_t maxPart = 1 + static_cast<int32_t>(rng() % 200);
        const Encoded e = encode(t, bytes, width, maxPart);
        ASSERT_FALSE(e.parts.empty()) << trial;
        size_t offset = 0;
        for (size_t k = 0; k < e.parts.size(); ++k) {
            const std::vector<uint8_t> decoded = decode(pre, in, e.parts[k]);
            const std::vector<uint8_t> expected(bytes.begin() + offset, bytes.begin() + offset + e.imageBytes[k]);
            ASSERT_TRUE(BytesEqual(expected, decoded)) << "trial " << trial << " part " << k;
            offset += e.imageBytes[k];
        }
        EXPECT_EQ(offset, bytes.size());
    }
}

TEST(HuffmanRoundTripTest, DeepTreeWithLongCodes) {
    // Fibonacci-like counts make a chain-shaped tree with codes of 20+ bits.
    std::vector<uint8_t> bytes;
    uint32_t a = 1, b = 1;
    for (int v = 0; v < 24; ++v) {
        bytes.insert(bytes.end(), a, static_cast<uint8_t>(v * 7));
        const uint32_t next = a + b;
        a = b;
        b = next;
    }
    bytes.resize(bytes.size() / 16 * 16);
    const Tree t = treeOf(bytes);
    int longest = 0;
    for (int32_t i = 0; i < (t.count + 1) / 2; ++i) longest = std::max(longest, t.nodes.get()[i].codeLength);
    EXPECT_GE(longest, 20);
    const Encoded e = encode(t, bytes, 16, 64);
    size_t offset = 0;
    for (size_t k = 0; k < e.parts.size(); ++k) {
        const std::vector<uint8_t> decoded = decode(preorder(t), inorder(t), e.parts[k]);
        ASSERT_TRUE(BytesEqual({bytes.begin() + offset, bytes.begin() + offset + e.imageBytes[k]}, decoded));
        offset += e.imageBytes[k];
    }
    EXPECT_EQ(offset, bytes.size());
}

TEST(HuffmanDecodeTest, MalformedTraversalsGiveNone) {
    struct Case {
        const char *what;
        std::vector<uint16_t> pre, in;
    };
    const Case cases[] = {
        {"counts differ", {256, 1, 0}, {1, 256}},
        {"empty", {}, {}},
        {"symbol missing from its range", {256, 1, 0}, {1, 257, 0}},
        {"node with one child", {256, 1}, {1, 256}},
        {"lone leaf", {7}, {7}},
        {"leaf with a non-byte symbol", {256, 300, 0}, {300, 256, 0}},
        {"too many nodes", std::vector<uint16_t>(513, 5), std::vector<uint16_t>(513, 5)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ZVMakeHfmTree(c.pre.data(), static_cast<int32_t>(c.pre.size()), c.in.data(),
                                static_cast<int32_t>(c.in.size())),
                  nullptr)
            << c.what;
    }
    EXPECT_EQ(ZVMakeHfmTree(nullptr, 3, nullptr, 3), nullptr);
}

TEST(HuffmanDecodeTest, PartsAndTheirPaddingCount) {
    const std::vector<uint16_t> pre{256, 1, 0}, in{1, 256, 0};  // 0 codes as 1, 1 as 0
    struct Case {
        const char *part;
        const char *decoded;  // nullptr: none
    };
    const Case cases[] = {
        {"03 FF F8", "00 00 00 00 00 00 00 00 00 00 00 00 00"},
        {"00 A5", "00 01 00 01 01 00 01 00"},
        {"07 80", "00"},
        {"08 FF", nullptr},  // padding above 7
        {"00", nullptr},     // shorter than 2 bytes
        {"", nullptr},
    };
    for (const Case &c : cases) {
        bool ok = false;
        const std::vector<uint8_t> out = decode(pre, in, hexBytes(c.part), &ok);
        EXPECT_EQ(ok, c.decoded != nullptr) << c.part;
        if (c.decoded) {
            EXPECT_TRUE(BytesEqual(hexBytes(c.decoded), out)) << c.part;
        }
    }
    // Bits that end inside a code: 0x30 codes as 0, 0x10 as 10, 0x20 as 11.
    const std::vector<uint16_t> pre3{257, 0x30, 256, 0x10, 0x20}, in3{0x30, 257, 0x10, 256, 0x20};
    bool ok = true;
    EXPECT_TRUE(decode(pre3, in3, hexBytes("06 40"), &ok).empty());  // bits "01": 0x30, then half a code
    EXPECT_FALSE(ok);
    EXPECT_TRUE(BytesEqual(hexBytes("30 10"), decode(pre3, in3, hexBytes("05 40"), &ok)));  // bits "010"
}

TEST(HuffmanDecodeTest, HandMadeTreeWithChildOutsideTheArrayGivesNone) {
    const HuffmanDecodeNode tree[3] = {{1, 5, 256}, {-1, -1, 0x41}, {-1, -1, 0x42}};
    uint32_t count = 9;
    const uint8_t part[] = {0x06, 0x40};  // bits 0, 1: A, then a child outside
    EXPECT_EQ(ZVHFMdecoding(tree, 3, part, 2, &count), nullptr);
    EXPECT_EQ(count, 0u);
}
