#include "protocol/huffman.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <queue>
#include <utility>
#include <vector>

namespace {

// Codes are written up to 32 bits at a time.
struct CodeChunk {
    uint32_t bits;
    int count;
};

struct PackedCode {
    std::array<CodeChunk, kHuffmanMaxCodeBits / 32> chunks;
    int chunkCount = 0;
    int length = 0;
};

// Appends bits most significant first into a zero-filled byte buffer.
class BitWriter {
  public:
    explicit BitWriter(uint8_t *out) : out_(out) {}
    void put(uint32_t bits, int count) {
        acc_ = (acc_ << count) | bits;
        pending_ += count;
        while (pending_ >= 8) {
            pending_ -= 8;
            *out_++ = static_cast<uint8_t>(acc_ >> pending_);
        }
    }
    void flush() {
        if (pending_ > 0) *out_ = static_cast<uint8_t>(acc_ << (8 - pending_));
        pending_ = 0;
    }

  private:
    uint8_t *out_;
    uint64_t acc_ = 0;
    int pending_ = 0;
};

struct PartSpan {
    int64_t firstBit;
    int64_t bits;
    uint32_t imageBytes;
};

template <typename T>
T *mallocArray(size_t count) {
    return static_cast<T *>(std::malloc(count * sizeof(T)));
}

CodedPart *encode(const HuffmanNode *tree, int32_t nodeCount, const uint8_t *data, int32_t widthBytes, int32_t rows,
                  int32_t maxPartBytes, int32_t *partCount) {
    if (tree == nullptr || data == nullptr || widthBytes < 1 || rows < 1 || rows > INT32_MAX / widthBytes ||
        maxPartBytes < 1 || maxPartBytes > 268435455 || nodeCount < 1 || nodeCount > kHuffmanMaxNodes)
        return nullptr;

    // Leaf of every byte value: the first (N + 1) / 2 nodes are the leaves.
    std::array<PackedCode, 256> codes{};
    std::array<bool, 256> hasLeaf{};
    for (int32_t i = 0; i < (nodeCount + 1) / 2; ++i) {
        const HuffmanNode &leaf = tree[i];
        if (leaf.symbol > 255 || leaf.codeLength < 1 || leaf.codeLength > kHuffmanMaxCodeBits) continue;
        if (hasLeaf[leaf.symbol]) continue;
        hasLeaf[leaf.symbol] = true;
        PackedCode &code = codes[leaf.symbol];
        code.length = leaf.codeLength;
        for (int bit = 0; bit < leaf.codeLength; bit += 32) {
            CodeChunk chunk{0, std::min(32, leaf.codeLength - bit)};
            for (int j = 0; j < chunk.count; ++j) chunk.bits = chunk.bits << 1 | (leaf.codeBits[bit + j] & 1u);
            code.chunks[code.chunkCount++] = chunk;
        }
    }

    // Compact tables for the two passes over the bytes; codes of up to 32
    // bits (all but those of very lopsided trees) go out in one write.
    std::array<uint16_t, 256> lengthOf{};
    std::array<uint32_t, 256> shortCode{};
    for (int v = 0; v < 256; ++v) {
        lengthOf[v] = static_cast<uint16_t>(hasLeaf[v] ? codes[v].length : 0);
        if (hasLeaf[v] && codes[v].length <= 32) shortCode[v] = codes[v].chunks[0].bits;
    }

    // Pass 1: code bits per row.
    const size_t total = static_cast<size_t>(rows) * static_cast<size_t>(widthBytes);
    std::vector<int64_t> rowBits(static_cast<size_t>(rows));
    int64_t totalBits = 0;
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t *row = data + static_cast<size_t>(r) * static_cast<size_t>(widthBytes);
        int64_t bits = 0;
        bool missingLeaf = false;
        for (int32_t x = 0; x < widthBytes; ++x) {
            const uint16_t length = lengthOf[row[x]];
            bits += length;
            missingLeaf |= length == 0;
        }
        if (missingLeaf) return nullptr;
        rowBits[static_cast<size_t>(r)] = bits;
        totalBits += bits;
        if (totalBits >= 2147483640) return nullptr;
    }

    // Pass 2: one continuous bit stream, with spare zero bytes at the end so
    // that every part can be read a whole byte at a time.
    std::vector<uint8_t> stream(static_cast<size_t>(totalBits / 8) + 2, 0);
    BitWriter writer(stream.data());
    for (size_t i = 0; i < total; ++i) {
        const uint8_t value = data[i];
        const uint16_t length = lengthOf[value];
        if (length <= 32) {
            writer.put(shortCode[value], length);
        } else {
            const PackedCode &code = codes[value];
            for (int c = 0; c < code.chunkCount; ++c) writer.put(code.chunks[c].bits, code.chunks[c].count);
        }
    }
    writer.flush();

    // Cut on row boundaries: a part closes before the row that brings it to
    // the limit, unless that row would be alone in it.
    const int64_t limit = (static_cast<int64_t>(maxPartBytes) - 1) * 8;
    std::vector<PartSpan> spans;
    int64_t sum = 0;
    int64_t firstBit = 0;
    uint32_t partRows = 0;
    for (int32_t r = 0; r < rows; ++r) {
        const int64_t bits = rowBits[static_cast<size_t>(r)];
        sum += bits;
        ++partRows;
        if (sum >= limit && partRows >= 2) {
            spans.push_back({firstBit, sum - bits, (partRows - 1) * static_cast<uint32_t>(widthBytes)});
            firstBit += sum - bits;
            sum = bits;
            partRows = 1;
        }
    }
    spans.push_back({firstBit, sum, partRows * static_cast<uint32_t>(widthBytes)});

    // Pass 3: pack each part from its first bit, with the padding count in front.
    size_t outBytes = 0;
    for (const PartSpan &span : spans) outBytes += static_cast<size_t>((span.bits + 7) / 8) + 1;
    auto *buffer = static_cast<uint8_t *>(std::malloc(outBytes));
    auto *parts = mallocArray<CodedPart>(spans.size());
    if (buffer == nullptr || parts == nullptr) {
        std::free(buffer);
        std::free(parts);
        return nullptr;
    }
    uint8_t *out = buffer;
    for (size_t k = 0; k < spans.size(); ++k) {
        const PartSpan &span = spans[k];
        const size_t n = static_cast<size_t>((span.bits + 7) / 8);
        out[0] = static_cast<uint8_t>(8 * n - static_cast<size_t>(span.bits));
        const uint8_t *in = stream.data() + span.firstBit / 8;
        const int shift = static_cast<int>(span.firstBit % 8);
        if (shift == 0) {
            std::memcpy(out + 1, in, n);
        } else {
            for (size_t j = 0; j < n; ++j) out[1 + j] = static_cast<uint8_t>(in[j] << shift | in[j + 1] >> (8 - shift));
        }
        parts[k] = CodedPart{out, static_cast<uint32_t>(n + 1), span.imageBytes};
        out += n + 1;
    }
    *partCount = static_cast<int32_t>(spans.size());
    return parts;
}

template <bool kPreorder>
uint16_t *traverse(const HuffmanNode *tree, int32_t nodeCount) {
    if (tree == nullptr || nodeCount < 1) return nullptr;
    auto *out = mallocArray<uint16_t>(static_cast<size_t>(nodeCount));
    if (out == nullptr) return nullptr;
    int32_t visited = 0;
    const bool ok = kPreorder ? ZVTreePreorder(tree, nodeCount, nodeCount - 1, out, &visited)
                              : ZVTreeMiddleorder(tree, nodeCount, nodeCount - 1, out, &visited);
    if (!ok || visited != nodeCount) {
        std::free(out);
        return nullptr;
    }
    return out;
}

}  // namespace

bool ZVGetMinTreeNode(const HuffmanNode *nodes, int32_t count, int32_t *first, int32_t *second) {
    if (nodes == nullptr || first == nullptr || second == nullptr) return false;
    int32_t a = -1;
    for (int32_t i = 0; i < count; ++i)
        if (nodes[i].parent == -1 && (a < 0 || nodes[i].weight < nodes[a].weight)) a = i;
    int32_t b = -1;
    for (int32_t i = 0; i < count; ++i)
        if (i != a && nodes[i].parent == -1 && (b < 0 || nodes[i].weight < nodes[b].weight)) b = i;
    if (a < 0 || b < 0) return false;
    *first = a;
    *second = b;
    return true;
}

HuffmanNode *ZVGetHfmTree(const uint8_t *data, int32_t count, int32_t *nodeCount) {
    if (nodeCount != nullptr) *nodeCount = 0;
    // The extra leaf of a one-value chunk adds 1 to the root weight.
    if (data == nullptr || count < 1 || count == INT32_MAX || nodeCount == nullptr) return nullptr;

    std::array<int32_t, 256> counts{};
    for (int32_t i = 0; i < count; ++i) ++counts[data[i]];

    std::array<std::pair<uint16_t, int32_t>, 256> leaves{};
    int32_t leafCount = 0;
    for (int value = 0; value < 256; ++value)
        if (counts[value] > 0) leaves[leafCount++] = {static_cast<uint16_t>(value), counts[value]};
    if (leafCount == 1) {
        const uint16_t first = leaves[0].first;
        leaves[leafCount++] = {static_cast<uint16_t>(first + 1 < 128 ? first + 1 : first - 1), 1};
    }

    const int32_t total = 2 * leafCount - 1;
    auto *nodes = static_cast<HuffmanNode *>(std::calloc(static_cast<size_t>(total), sizeof(HuffmanNode)));
    if (nodes == nullptr) return nullptr;
    for (int32_t i = 0; i < total; ++i) {
        HuffmanNode &node = nodes[i];
        node.left = node.right = node.parent = -1;
        node.codeLength = 0;
        if (i < leafCount) {
            node.symbol = leaves[i].first;
            node.weight = leaves[i].second;
        } else {
            node.symbol = static_cast<uint16_t>(256 + (i - leafCount));
        }
    }
    // The two lightest parentless nodes, the lower index first among equal
    // weights: what ZVGetMinTreeNode finds by scanning, kept in a heap so a
    // tree of 256 leaves costs no quadratic search.
    using Candidate = std::pair<int32_t, int32_t>;  // weight, index
    std::vector<Candidate> storage;
    try {
        storage.reserve(static_cast<size_t>(leafCount));
    } catch (const std::bad_alloc &) {
        std::free(nodes);
        return nullptr;
    }
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> parentless(
        std::greater<Candidate>(), std::move(storage));
    for (int32_t i = 0; i < leafCount; ++i) parentless.push({nodes[i].weight, i});
    for (int32_t i = leafCount; i < total; ++i) {
        const int32_t a = parentless.top().second;
        parentless.pop();
        const int32_t b = parentless.top().second;
        parentless.pop();
        nodes[a].parent = i;
        nodes[b].parent = i;
        nodes[i].weight = nodes[a].weight + nodes[b].weight;
        nodes[i].left = a;
        nodes[i].right = b;
        parentless.push({nodes[i].weight, i});
    }

    // Codes: walk up from each leaf, then store the bits root side first.
    for (int32_t i = 0; i < leafCount; ++i) {
        uint8_t reversed[kHuffmanMaxCodeBits];
        int length = 0;
        for (int32_t node = i; nodes[node].parent != -1 && length < kHuffmanMaxCodeBits;) {
            const int32_t parent = nodes[node].parent;
            reversed[length++] = nodes[parent].left == node ? 0 : 1;
            node = parent;
        }
        for (int j = 0; j < length; ++j) nodes[i].codeBits[j] = reversed[length - 1 - j];
        nodes[i].codeLength = length;
    }
    *nodeCount = total;
    return nodes;
}

CodedPart *ZVHFMDGencoding(const HuffmanNode *tree, int32_t nodeCount, const uint8_t *data, int32_t widthBytes,
                           int32_t rows, int32_t maxPartBytes, int32_t *partCount) {
    if (partCount == nullptr) return nullptr;
    *partCount = 0;
    try {
        return encode(tree, nodeCount, data, widthBytes, rows, maxPartBytes, partCount);
    } catch (const std::bad_alloc &) {
        *partCount = 0;
        return nullptr;
    }
}

void ZVFreeSendDataBag(CodedPart *parts) {
    if (parts == nullptr) return;
    std::free(parts[0].data);
    std::free(parts);
}

bool ZVTreePreorder(const HuffmanNode *tree, int32_t nodeCount, int32_t index, uint16_t *out, int32_t *visited) {
    if (index < 0 || index >= nodeCount || *visited >= nodeCount) return false;
    out[(*visited)++] = tree[index].symbol;
    if (tree[index].left != -1 && !ZVTreePreorder(tree, nodeCount, tree[index].left, out, visited)) return false;
    if (tree[index].right != -1 && !ZVTreePreorder(tree, nodeCount, tree[index].right, out, visited)) return false;
    return true;
}

bool ZVTreeMiddleorder(const HuffmanNode *tree, int32_t nodeCount, int32_t index, uint16_t *out, int32_t *visited) {
    if (index < 0 || index >= nodeCount) return false;
    if (tree[index].left != -1 && !ZVTreeMiddleorder(tree, nodeCount, tree[index].left, out, visited)) return false;
    if (*visited >= nodeCount) return false;
    out[(*visited)++] = tree[index].symbol;
    if (tree[index].right != -1 && !ZVTreeMiddleorder(tree, nodeCount, tree[index].right, out, visited)) return false;
    return true;
}

uint16_t *ZVGetTreePreorder(const HuffmanNode *tree, int32_t nodeCount) { return traverse<true>(tree, nodeCount); }

uint16_t *ZVGetTreeMiddleorder(const HuffmanNode *tree, int32_t nodeCount) { return traverse<false>(tree, nodeCount); }

namespace {

// Subtree to rebuild: node p, whose symbols occupy inorder positions lo..hi.
struct Span {
    int32_t p, lo, hi;
};

// Node p spans lo..hi; its subtree then occupies the preorder positions
// p .. p + (hi - lo), which keeps every child index inside the array. An
// explicit stack keeps a long chain from a printer off the call stack.
bool ZVMakeTree(const uint16_t *preorder, const uint16_t *inorder, int32_t count, HuffmanDecodeNode *nodes) {
    std::vector<Span> stack;
    stack.push_back({0, 0, count - 1});
    while (!stack.empty()) {
        const Span s = stack.back();
        stack.pop_back();
        if (s.p < 0 || s.lo > s.hi || s.p + (s.hi - s.lo) >= count) return false;
        int32_t m = -1;
        for (int32_t i = s.lo; i <= s.hi; ++i) {
            if (inorder[i] == preorder[s.p]) {
                m = i;
                break;
            }
        }
        // The root of a subtree always lies within its own inorder range.
        if (m < 0) return false;
        if (m > s.lo) {
            nodes[s.p].left = s.p + 1;
            stack.push_back({s.p + 1, s.lo, m - 1});
        }
        if (m < s.hi) {
            nodes[s.p].right = s.p + (m - s.lo) + 1;
            stack.push_back({nodes[s.p].right, m + 1, s.hi});
        }
    }
    return true;
}

}  // namespace

HuffmanDecodeNode *ZVMakeHfmTree(const uint16_t *preorder, int32_t preCount, const uint16_t *inorder, int32_t inCount) {
    if (preorder == nullptr || inorder == nullptr || preCount != inCount || preCount < 1 || preCount > kHuffmanMaxNodes)
        return nullptr;
    auto *nodes = mallocArray<HuffmanDecodeNode>(static_cast<size_t>(preCount));
    if (nodes == nullptr) return nullptr;
    for (int32_t k = 0; k < preCount; ++k) nodes[k] = HuffmanDecodeNode{-1, -1, preorder[k]};
    bool ok = false;
    try {
        ok = ZVMakeTree(preorder, inorder, preCount, nodes);
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    // A Huffman tree is full: every node has no child or two, and only leaves
    // carry byte values that can be emitted.
    for (int32_t k = 0; ok && k < preCount; ++k) {
        const bool hasLeft = nodes[k].left != -1;
        const bool hasRight = nodes[k].right != -1;
        if (hasLeft != hasRight || (!hasLeft && nodes[k].symbol > 255)) ok = false;
    }
    if (ok && nodes[0].left == -1) ok = false;  // a lone leaf codes nothing
    if (!ok) {
        std::free(nodes);
        return nullptr;
    }
    return nodes;
}

uint8_t *ZVHFMdecoding(const HuffmanDecodeNode *tree, int32_t nodeCount, const uint8_t *part, uint32_t partLength,
                       uint32_t *outCount) {
    if (outCount != nullptr) *outCount = 0;
    if (tree == nullptr || nodeCount < 1 || part == nullptr || partLength < 2 || outCount == nullptr) return nullptr;
    const uint8_t padding = part[0];
    if (padding > 7) return nullptr;
    const uint64_t usable = 8 * static_cast<uint64_t>(partLength - 1) - padding;
    const uint8_t *bits = part + 1;

    // Every symbol takes at least one bit, plus the one emitted at the end.
    auto *out = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(usable) + 1));
    if (out == nullptr) return nullptr;
    uint64_t emitted = 0;
    int32_t node = 0;
    bool inCode = false;
    for (uint64_t pos = 0; pos <= usable; ++pos) {
        const HuffmanDecodeNode &current = tree[node];
        if (current.left == -1 && current.right == -1) {
            if (emitted > usable) {  // only a tree whose codes take no bits gets here
                std::free(out);
                return nullptr;
            }
            out[emitted++] = static_cast<uint8_t>(current.symbol);
            node = 0;
            inCode = false;
        }
        if (pos == usable) break;
        const int bit = (bits[pos / 8] >> (7 - pos % 8)) & 1;
        const int32_t child = bit != 0 ? tree[node].right : tree[node].left;
        if (child < 0 || child >= nodeCount) {
            std::free(out);
            return nullptr;
        }
        node = child;
        inCode = true;
    }
    if (inCode || emitted == 0) {
        std::free(out);
        return nullptr;
    }
    *outCount = static_cast<uint32_t>(emitted);
    return out;
}
