// Huffman coder for packed 1-bit image rows: the tree over the byte values of
// an image chunk, its serialisation as two traversals of 16-bit symbols, the
// row encoder that cuts the code into parts of bounded size on row
// boundaries, and the matching decoder.
//
// Leaves carry the byte values 0..255; internal nodes get 256, 257, ... in the
// order they are created, so every symbol is unique and the preorder and
// inorder traversals together identify the tree.
#ifndef ZV_PROTOCOL_HUFFMAN_H
#define ZV_PROTOCOL_HUFFMAN_H

#include <cstdint>

// Longest code a node can hold (a tree of 256 leaves is at most 255 deep).
constexpr int kHuffmanMaxCodeBits = 512;
// A tree over byte values has at most 2 * 256 - 1 nodes.
constexpr int32_t kHuffmanMaxNodes = 511;

struct HuffmanNode {
    int32_t weight;  // occurrences of a leaf's byte; sum of the children for internal nodes
    int32_t left;    // child indices, -1 for none
    int32_t right;
    int32_t parent;                         // -1 for the root
    int32_t codeLength;                     // code bits of a leaf, 0 for internal nodes
    uint16_t symbol;                        // byte value of a leaf; 256 + creation order for internal nodes
    uint8_t codeBits[kHuffmanMaxCodeBits];  // one bit per byte, root side first
};

// One coded part: a padding-bit count (0..7) followed by the code bytes, most
// significant bit first. All parts of one encoding lie back to back in one
// buffer starting at the first part's `data`.
struct CodedPart {
    uint8_t *data;
    uint32_t length;      // bytes of the part, padding byte included
    uint32_t imageBytes;  // image bytes covered: whole rows
};

// Decoder tree node, rebuilt from the two traversals.
struct HuffmanDecodeNode {
    int32_t left;
    int32_t right;
    uint16_t symbol;
};

// Tree of the `count` bytes: leaves first in ascending byte value, then the
// internal nodes in creation order; the last node is the root. Returns a
// malloc'ed array (free() it) and its node count, or nullptr and 0.
HuffmanNode *ZVGetHfmTree(const uint8_t *data, int32_t count, int32_t *nodeCount);

// The two parentless nodes of smallest weight among the first `count` nodes:
// `first` the lightest, `second` the lightest of the others; among equal
// weights the lower index wins. False when there are not two.
bool ZVGetMinTreeNode(const HuffmanNode *nodes, int32_t count, int32_t *first, int32_t *second);

// Encodes `rows` rows of `widthBytes` bytes and cuts the code into parts of at
// most `maxPartBytes` bytes (a single row longer than that is a part of its
// own). Returns a malloc'ed array released with ZVFreeSendDataBag and its part
// count, or nullptr and 0 on a rejected argument, a byte without a leaf, an
// overlong code or no memory.
CodedPart *ZVHFMDGencoding(const HuffmanNode *tree, int32_t nodeCount, const uint8_t *data, int32_t widthBytes,
                           int32_t rows, int32_t maxPartBytes, int32_t *partCount);
void ZVFreeSendDataBag(CodedPart *parts);

// The node symbols in preorder / inorder from the root (the last node): a
// malloc'ed array of `nodeCount` symbols, or nullptr when the walk does not
// visit exactly `nodeCount` nodes.
uint16_t *ZVGetTreePreorder(const HuffmanNode *tree, int32_t nodeCount);
uint16_t *ZVGetTreeMiddleorder(const HuffmanNode *tree, int32_t nodeCount);
// Their recursive workers: append the subtree at `index` to `out`, counting
// in `visited`; false on an index outside the tree or more than `nodeCount` visits.
bool ZVTreePreorder(const HuffmanNode *tree, int32_t nodeCount, int32_t index, uint16_t *out, int32_t *visited);
bool ZVTreeMiddleorder(const HuffmanNode *tree, int32_t nodeCount, int32_t index, uint16_t *out, int32_t *visited);

// Rebuilds the decoder tree from the two traversals, which may come from a
// printer: returns a malloc'ed array of `preCount` nodes (node 0 the root), or
// nullptr unless the traversals describe one full binary tree (every node with
// none or two children, leaves with byte symbols, root not a leaf) of at most
// kHuffmanMaxNodes nodes.
HuffmanDecodeNode *ZVMakeHfmTree(const uint16_t *preorder, int32_t preCount, const uint16_t *inorder, int32_t inCount);

// Decodes one coded part: a malloc'ed array of the decoded bytes and their
// count, or nullptr and 0 for a part shorter than 2 bytes, a padding count
// above 7, a code that leads out of the tree, or bits that end inside a code.
uint8_t *ZVHFMdecoding(const HuffmanDecodeNode *tree, int32_t nodeCount, const uint8_t *part, uint32_t partLength,
                       uint32_t *outCount);

#endif
