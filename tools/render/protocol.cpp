// The maker's packet protocol, as the filter writes it for the protocol
// models: per page the setting packets, the image (start; Huffman trees with
// their coded parts, or raw rows for the encrypting printers; end) and the
// feed. Every packet's frame and CRC are checked and encrypted bodies
// decrypted; the Huffman decoder here is the reader's own, so a fault in the
// filter's coder shows instead of cancelling out.
#include <nettle/aes.h>
#include <nettle/cbc.h>
#include <zlib.h>

#include <array>
#include <string>
#include <vector>

#include "tools/render/stream.h"

namespace zvrender {
namespace {

constexpr uint8_t kPacketStart = 0xA3;
constexpr uint8_t kLongHeadMark = 0x1E;
constexpr uint8_t kShortHeadOdm = 163;  // the one printer family with the short head
constexpr uint8_t kAesEncryption = 2;
constexpr uint32_t kCrcSeed = 0x76953521u;
constexpr uint32_t kCrcSeedOdm31 = 0x76983521u;
constexpr uint8_t kPrintGroup = 5;
constexpr uint8_t kCommandAttributes = 0x11;
constexpr uint8_t kImagePartAttributes = 0x10;
constexpr size_t kPartHeadBytes = 11;
constexpr size_t kMaxTreeNodes = 511;

enum Command : uint8_t {
    kDarkness = 4,
    kSpeed = 7,
    kFeed = 8,
    kImageStart = 11,
    kImageEnd = 12,
    kImagePart = 13,
    kImageTree = 14,
    kPaperType = 17,
    kSilentMode = 35,
    kInterface = 42,
};

uint32_t le16(const uint8_t *p) { return p[0] | p[1] << 8; }
uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

std::string number(long long v) { return std::to_string(v); }

// The head form and printer family fixed by the stream's first packet.
struct Frame {
    bool shortHead = false;
    uint8_t odm = 0;
};

struct Packet {
    size_t start = 0;          // offset of the packet in the stream
    size_t commandOffset = 0;  // where the command byte is, or the body for an encrypted one
    size_t payloadOffset = 0;  // likewise for the payload
    uint8_t attributes = 0;
    uint8_t group = 0;
    uint8_t command = 0;
    std::vector<uint8_t> payload;
};

void decrypt(std::vector<uint8_t> &body, const RenderOptions &options) {
    aes128_ctx ctx;
    aes128_set_decrypt_key(&ctx, options.aesKey.data());
    std::array<uint8_t, AES_BLOCK_SIZE> iv = options.aesIv;
    cbc_decrypt(
        &ctx,
        [](const void *key, size_t length, uint8_t *dst, const uint8_t *src) {
            aes128_decrypt(static_cast<const aes128_ctx *>(key), length, dst, src);
        },
        AES_BLOCK_SIZE, iv.data(), body.size(), body.data(), body.data());
}

Packet readPacket(Cursor &c, Frame &frame, bool first, const RenderOptions &options) {
    Packet p;
    p.start = c.pos();
    if (c.peek() != kPacketStart) fault(c.pos(), "expected a packet (0xA3), found " + byteText(c.peek()));
    if (c.left() < 2) fault(c.pos() + 1, "stream ends inside a packet head");
    if (first) {
        frame.shortHead = c.peek(1) != kLongHeadMark;
        if (frame.shortHead) frame.odm = kShortHeadOdm;
    }
    const size_t headBytes = frame.shortHead ? 4 : 6;
    if (c.left() < headBytes) fault(c.pos() + c.left(), "stream ends inside a packet head");
    const size_t encryptionAt = p.start + headBytes - 3;
    if (!frame.shortHead) {
        if (c.peek(1) != kLongHeadMark)
            fault(p.start + 1, "expected the long head's 0x1E, found " + byteText(c.peek(1)));
        const uint8_t odm = c.peek(2);
        if (first) {
            if (odm == kShortHeadOdm) fault(p.start + 2, "ODM printer type 163 sends short heads");
            frame.odm = odm;
        } else if (odm != frame.odm) {
            fault(p.start + 2, "ODM printer type " + number(odm) + " after " + number(frame.odm));
        }
    }
    const uint8_t encryptionByte = c.peek(headBytes - 3);
    if ((encryptionByte & 0x0F) != 0) fault(encryptionAt, "encryption byte " + byteText(encryptionByte));
    const uint8_t encryption = encryptionByte >> 4;
    const bool encrypted = encryption == kAesEncryption;
    if (encryption != 0 && !encrypted) fault(encryptionAt, "unknown encryption " + number(encryption));
    // Only the short-head family encrypts, and it encrypts every packet.
    if (encrypted != frame.shortHead)
        fault(encryptionAt, frame.shortHead ? "packet of ODM printer type 163 is not encrypted"
                                            : "encrypted packet in the long head form");
    const size_t bodyLength = le16(c.here() + headBytes - 2);
    c.skip(headBytes);
    const size_t bodyOffset = c.pos();
    if (bodyLength < 5) fault(bodyOffset - 2, "packet body of " + number(bodyLength) + " bytes");
    if (encrypted && bodyLength % AES_BLOCK_SIZE != 0)
        fault(bodyOffset - 2, "encrypted body of " + number(bodyLength) + " bytes is not whole AES blocks");
    std::vector<uint8_t> body = takeBytes(c, bodyLength, "the packet body");
    if (c.left() < 4) fault(c.pos() + c.left(), "stream ends inside a packet CRC");
    const uint32_t crc = crc32(frame.odm == 31 ? kCrcSeedOdm31 : kCrcSeed, body.data(), static_cast<uInt>(body.size()));
    if (le32(c.here()) != crc) fault(c.pos(), "CRC does not match the packet body");
    c.skip(4);

    if (encrypted) {
        if (!options.haveAesKey)
            fault(p.start,
                  "encrypted packet, but no AES key and initial vector were given (--ppd or --aes-key and --aes-iv)");
        decrypt(body, options);
    }
    p.attributes = body[0];
    p.group = body[1];
    p.command = body[2];
    const size_t payloadLength = le16(body.data() + 3);
    p.commandOffset = encrypted ? bodyOffset : bodyOffset + 2;
    p.payloadOffset = encrypted ? bodyOffset : bodyOffset + 5;
    if (encrypted) {
        // Zero padding of at least one byte up to the next whole block.
        if (5 + payloadLength >= bodyLength || 5 + payloadLength + AES_BLOCK_SIZE < bodyLength)
            fault(bodyOffset, "decrypted payload length " + number(payloadLength) + " does not fit the body of " +
                                  number(bodyLength) + " bytes (wrong AES key?)");
        for (size_t i = 5 + payloadLength; i < bodyLength; ++i)
            if (body[i] != 0) fault(bodyOffset, "decrypted padding is not zero (wrong AES key?)");
    } else if (5 + payloadLength != bodyLength) {
        fault(bodyOffset + 3,
              "payload length " + number(payloadLength) + " in a body of " + number(bodyLength) + " bytes");
    }
    p.payload.assign(body.begin() + 5, body.begin() + 5 + static_cast<std::ptrdiff_t>(payloadLength));
    return p;
}

// ---- Huffman trees ---------------------------------------------------------

struct TreeNode {
    int left = -1, right = -1;
    uint16_t symbol = 0;
};

// Rebuilds the tree from its preorder and inorder symbols: a full binary
// tree, byte values at the leaves only, every symbol once. Returns false when
// the two lists describe no such tree.
bool buildTree(const std::vector<uint16_t> &pre, const std::vector<uint16_t> &in, std::vector<TreeNode> &nodes) {
    const size_t n = pre.size();
    std::vector<int> inPosition(65536, -1);
    for (size_t i = 0; i < n; ++i) {
        if (inPosition[in[i]] >= 0) return false;
        inPosition[in[i]] = static_cast<int>(i);
    }
    nodes.assign(n, TreeNode{});
    // Iterative form of: node k of preorder spans inorder lo..hi.
    struct Span {
        size_t node, lo, hi;
    };
    std::vector<Span> work = {{0, 0, n - 1}};
    size_t nextPre = 0;
    while (!work.empty()) {
        const Span s = work.back();
        work.pop_back();
        if (s.node != nextPre) return false;
        ++nextPre;
        const uint16_t symbol = pre[s.node];
        const int at = inPosition[symbol];
        if (at < static_cast<int>(s.lo) || at > static_cast<int>(s.hi)) return false;
        const size_t m = static_cast<size_t>(at);
        nodes[s.node].symbol = symbol;
        const bool leaf = symbol < 256;
        const bool hasLeft = m > s.lo;
        const bool hasRight = m < s.hi;
        if (leaf != (!hasLeft && !hasRight) || hasLeft != hasRight) return false;
        if (leaf) continue;
        const size_t left = s.node + 1;
        const size_t right = s.node + (m - s.lo) + 1;
        nodes[s.node].left = static_cast<int>(left);
        nodes[s.node].right = static_cast<int>(right);
        work.push_back({right, m + 1, s.hi});
        work.push_back({left, s.lo, m - 1});
    }
    return nextPre == n && nodes.size() >= 3;
}

// Decodes one coded part: a padding count, then the codes, most significant
// bit first. -1 when the bits leave the tree or end inside a code, else the
// number of the part's byte where decoding stopped being possible.
bool decodePart(const std::vector<TreeNode> &tree, const uint8_t *part, size_t length, std::vector<uint8_t> &out,
                size_t *badByte) {
    *badByte = 0;
    if (length < 2 || part[0] > 7) return false;
    const size_t bits = 8 * (length - 1) - part[0];
    int node = 0;
    for (size_t i = 0; i < bits; ++i) {
        const bool one = (part[1 + i / 8] >> (7 - i % 8)) & 1;
        node = one ? tree[node].right : tree[node].left;
        if (tree[node].left < 0) {
            out.push_back(static_cast<uint8_t>(tree[node].symbol));
            node = 0;
        }
    }
    if (node != 0) {
        *badByte = length - 1;
        return false;
    }
    return true;
}

// ---- pages -----------------------------------------------------------------

struct PageImage {
    bool open = false;
    bool compressed = false, raw = false;
    size_t widthBytes = 0;
    std::vector<uint8_t> rows;  // packed, 1 = dot
    size_t rawParts = 0;        // part index over the page (raw rows)
    // The current chunk of the compressed form.
    std::vector<TreeNode> tree;
    size_t chunkParts = 0;
};

void checkSetting(const Packet &p) {
    const size_t length = p.payload.size();
    auto payloadOf = [&](size_t expected) {
        if (length != expected)
            fault(p.payloadOffset,
                  "setting " + number(p.command) + " carries " + number(length) + " bytes, not " + number(expected));
    };
    switch (p.command) {
        case kPaperType:
            payloadOf(1);
            if (p.payload[0] > 2) fault(p.payloadOffset, "paper type " + number(p.payload[0]) + " is not 0 to 2");
            break;
        case kSpeed:
        case kSilentMode:
        case kInterface:
            payloadOf(1);
            break;
        case kDarkness:
            payloadOf(3);
            if (p.payload[0] != 0 && p.payload[0] != 3)
                fault(p.payloadOffset, "darkness form " + number(p.payload[0]) + " is not 0 or 3");
            if (p.payload[1] > 15 || p.payload[2] > 15) fault(p.payloadOffset + 1, "darkness above 15");
            break;
        case kFeed:
            payloadOf(3);
            if (p.payload[0] != 1 && p.payload[0] != 2)
                fault(p.payloadOffset, "feed mode " + number(p.payload[0]) + " is not 1 or 2");
            break;
        default:
            fault(p.commandOffset, "command " + number(p.command) + " is none the print path sends");
    }
}

void readTree(const Packet &p, PageImage &image) {
    const size_t n = p.payload.size() / 4;
    if (p.payload.size() % 4 != 0 || n < 3 || n > kMaxTreeNodes || n % 2 == 0)
        fault(p.payloadOffset, "a Huffman tree of " + number(p.payload.size()) + " bytes");
    std::vector<uint16_t> pre(n), in(n);
    for (size_t i = 0; i < n; ++i) {
        pre[i] = static_cast<uint16_t>(le16(p.payload.data() + 2 * i));
        in[i] = static_cast<uint16_t>(le16(p.payload.data() + 2 * n + 2 * i));
    }
    if (!buildTree(pre, in, image.tree)) fault(p.payloadOffset, "the tree's two traversals describe no Huffman tree");
    image.chunkParts = 0;
}

void readPart(const Packet &p, Frame frame, PageImage &image) {
    if (p.attributes != kImagePartAttributes)
        fault(p.commandOffset - 2, "image part with attributes " + byteText(p.attributes));
    if (p.payload.size() < kPartHeadBytes + 1) fault(p.payloadOffset, "image part without data");
    const uint8_t *head = p.payload.data();
    const size_t dataLength = p.payload.size() - kPartHeadBytes;
    const size_t at = p.payloadOffset;
    if (le16(head + 2) != dataLength + 7) fault(at + 2, "part length field does not match the part");
    const uint8_t kind = head[4];
    const size_t widthBytes = le16(head + 5);
    if (widthBytes == 0) fault(at + 5, "image rows of 0 bytes");
    if (image.widthBytes == 0) {
        image.widthBytes = widthBytes;
        if (widthBytes * 8 > static_cast<size_t>(kMaxPageSide)) fault(at + 5, "image rows wider than a page");
    } else if (widthBytes != image.widthBytes) {
        fault(at + 5, "row width " + number(widthBytes) + " after " + number(image.widthBytes));
    }
    if (le16(head + 9) != 0) fault(at + 9, "part head ends in " + number(le16(head + 9)) + ", not 0");
    const uint8_t *data = head + kPartHeadBytes;
    const size_t rowsBefore = image.rows.size() / image.widthBytes;
    std::vector<uint8_t> decoded;
    if (kind == 17) {
        if (image.raw || frame.shortHead) fault(at + 4, "a compressed part in a page of raw rows");
        image.compressed = true;
        if (image.tree.empty()) fault(p.start, "a compressed part before its Huffman tree");
        if (le16(head) != image.chunkParts)
            fault(at, "part " + number(le16(head)) + " where " + number(image.chunkParts) + " is due");
        if (le16(head + 7) != 0) fault(at + 7, "compressed part counts rows before it");
        size_t badByte = 0;
        if (!decodePart(image.tree, data, dataLength, decoded, &badByte))
            fault(frame.shortHead ? p.payloadOffset : at + kPartHeadBytes + badByte,
                  "the coded part does not decode with its chunk's tree");
        ++image.chunkParts;
    } else if (kind == 1) {
        if (image.compressed) fault(at + 4, "a raw part in a page of compressed parts");
        image.raw = true;
        if (le16(head) != (image.rawParts & 0xFFFF))
            fault(at, "part " + number(le16(head)) + " where " + number(image.rawParts) + " is due");
        if (le16(head + 7) != (rowsBefore & 0xFFFF))
            fault(at + 7, "part says " + number(le16(head + 7)) + " rows before it, " + number(rowsBefore) + " came");
        decoded.assign(data, data + dataLength);
        ++image.rawParts;
    } else {
        fault(at + 4, "image part kind " + number(kind) + " is neither 17 (coded) nor 1 (raw)");
    }
    if (decoded.size() % image.widthBytes != 0)
        fault(p.payloadOffset,
              "part holds " + number(decoded.size()) + " bytes, not whole rows of " + number(image.widthBytes));
    const uint64_t dots = static_cast<uint64_t>(image.rows.size() + decoded.size()) * 8;
    if (dots > kMaxPageDots || (image.rows.size() + decoded.size()) / image.widthBytes > kMaxPageSide)
        fault(p.start, "the page image grows beyond the largest page");
    image.rows.insert(image.rows.end(), decoded.begin(), decoded.end());
}

RenderedPage finishPage(const PageImage &image) {
    RenderedPage page;
    page.width = static_cast<int>(image.widthBytes * 8);
    page.height = static_cast<int>(image.rows.size() / image.widthBytes);
    page.black.resize(static_cast<size_t>(page.width) * page.height);
    for (size_t i = 0; i < page.black.size(); ++i) page.black[i] = (image.rows[i / 8] >> (7 - i % 8)) & 1;
    return page;
}

void renderProtocol(Cursor &c, const RenderOptions &options, RenderResult &result) {
    result.format = Format::Protocol;
    Frame frame;
    PageImage image;
    size_t imageStart = 0;
    for (bool first = true; !c.atEnd(); first = false) {
        const Packet p = readPacket(c, frame, first, options);
        if (p.group != kPrintGroup) fault(p.commandOffset - 1, "group " + number(p.group) + " is not the print group");
        if (p.command != kImagePart && p.attributes != kCommandAttributes)
            fault(frame.shortHead ? p.commandOffset : p.commandOffset - 2,
                  "command with attributes " + byteText(p.attributes));
        switch (p.command) {
            case kImageStart:
                if (image.open) fault(p.start, "image start inside an image");
                if (!p.payload.empty()) fault(p.payloadOffset, "image start with a payload");
                image = PageImage{};
                image.open = true;
                imageStart = p.start;
                break;
            case kImageTree:
                if (!image.open) fault(p.start, "Huffman tree outside an image");
                if (image.raw) fault(p.start, "Huffman tree in a page of raw rows");
                readTree(p, image);
                break;
            case kImagePart:
                if (!image.open) fault(p.start, "image part outside an image");
                readPart(p, frame, image);
                break;
            case kImageEnd: {
                if (!image.open) fault(p.start, "image end outside an image");
                const bool withValues = p.payload.size() == 9 && p.payload[0] == 1 && p.payload[1] == 2 &&
                                        p.payload[2] == 0 && p.payload[5] == 2 && p.payload[6] == 1 &&
                                        p.payload[7] == 0;
                if (frame.shortHead ? !withValues : !p.payload.empty())
                    fault(p.payloadOffset, "image end with an unexpected payload");
                if (image.rows.empty()) fault(p.start, "image end without any row");
                if (image.compressed && image.chunkParts == 0) fault(p.start, "Huffman tree without parts");
                result.pages.push_back(finishPage(image));
                image = PageImage{};
                break;
            }
            default:
                if (image.open) fault(p.start, "setting " + number(p.command) + " inside an image");
                checkSetting(p);
        }
    }
    if (image.open) fault(c.pos(), "stream ends inside the page image that starts at offset " + number(imageStart));
}

bool announcesProtocol(const Cursor &c) {
    return c.left() >= 2 && c.peek() == kPacketStart &&
           (c.peek(1) == kLongHeadMark || c.peek(1) == 0x00 || c.peek(1) == kAesEncryption << 4);
}

void readProtocol(Cursor &c, Format, bool, const RenderOptions &options, RenderResult &result) {
    renderProtocol(c, options, result);
}

}  // namespace

const Language kProtocolLanguage = {Format::Protocol, "protocol", announcesProtocol, readProtocol};

}  // namespace zvrender
