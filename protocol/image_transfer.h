// Image transfer: turns a page of packed printer dots into the packets that
// carry it: image start, then either Huffman trees and coded parts (every ODM
// printer type but 163) or raw row parts (163), then image end. All group 5.
#ifndef ZV_PROTOCOL_IMAGE_TRANSFER_H
#define ZV_PROTOCOL_IMAGE_TRANSFER_H

#include <cstdint>

#include "imaging/zv_image.h"
#include "protocol/packet.h"

// Image-transfer options passed from the print driver; only the two end
// values are read, and only for ODM printer type 163.
struct ImageProtocolSetting {
    uint16_t endValue16;
    uint8_t endValue8;
    int32_t spareWord1;
    int32_t spareWord2;
    int32_t spareWord3;
};

// endValue16 0, endValue8 0, spare words 0, 0, 1.
ImageProtocolSetting creatDefaultImageProtocolSetting();

// The whole page, Huffman-compressed: start; per chunk its tree packet and its
// part packets (part indices from 0 in every chunk); end. The image's
// `pixByteData` holds width / 8 bytes per row; `width` must be a multiple of 8.
// Empty pack when there is nothing to send or a chunk cannot be coded.
SendPack getAllCompressImagePart(ZVImage *image, ImageProtocolSetting setting);

// The whole page uncompressed: start, raw row parts (indices over the page),
// end. When the printer's print width is known (getMaxWidthDot_l), wider
// images are cut to it and narrower ones centred on it, replacing the image's
// `pixByteData` and `width`; when it is not known (0) the image goes out at
// its own width.
SendPack getAllImageData(ZVImage *image, ImageProtocolSetting setting);

// Tree serialisation of a chunk (not a packet): the preorder then the inorder
// symbols, u16 little-endian, 4 bytes per node.
SendPack getTreePack(const uint8_t *chunk, uint32_t length);

SendPack getSendImageStartData();
SendPack getSendImageTreeData(const uint8_t *tree, uint32_t count);
SendPack getSendImageEndData(ImageProtocolSetting setting);

// The coded part packets of one chunk of whole rows, back to back.
SendPack getCompressSendImageData(const uint8_t *chunk, uint32_t widthBytes, uint32_t length);

// Raw part packets of `total` bytes in rows of `widthBytes`, each carrying at
// most `limit` - 7 bytes of whole rows, back to back.
SendPack getSendImageData(const uint8_t *data, uint32_t widthBytes, uint32_t total, uint32_t limit);

#endif
