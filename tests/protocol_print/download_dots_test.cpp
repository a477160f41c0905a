// Pictures for the download builders: A,R,G,B pixels to packed dots by the
// plain threshold route, and the file download of type 4 that uses it.
#include "protocol_print/download_dots.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "protocol/device_commands.h"
#include "protocol/protocol_state.h"
#include "protocol_print/printer_dots.h"
#include "tests/protocol/packet_stream.h"
#include "tests/support/golden.h"

using zvtest::BytesEqual;
using zvtest::hexBytes;

namespace {

// 16 x 2 pixels: row 0 black on the left half, row 1 a dark gray (above the
// threshold's black side) on the right half; the rest white.
std::vector<uint8_t> picture() {
    std::vector<uint8_t> argb(16 * 2 * 4, 0xFF);
    for (int x = 0; x < 8; ++x) {
        uint8_t *p = &argb[(0 * 16 + x) * 4];
        p[1] = p[2] = p[3] = 0x00;
    }
    for (int x = 8; x < 16; ++x) {
        uint8_t *p = &argb[(1 * 16 + x) * 4];
        p[1] = p[2] = p[3] = 0x40;
    }
    return argb;
}

}  // namespace

TEST(DownloadDotsTest, PictureBecomesPackedDots) {
    resetPrinterDotsState();
    const std::vector<uint8_t> argb = picture();
    uint8_t *dots = convertDownloadImageToDots(argb.data(), 16, 2);
    ASSERT_NE(dots, nullptr);
    EXPECT_TRUE(BytesEqual(hexBytes("FF 00 00 FF"), std::vector<uint8_t>(dots, dots + 4)));
    std::free(dots);
    EXPECT_EQ(convertDownloadImageToDots(argb.data(), 12, 2), nullptr) << "width not a multiple of 8";
    EXPECT_EQ(convertDownloadImageToDots(nullptr, 16, 2), nullptr);
    EXPECT_EQ(convertDownloadImageToDots(argb.data(), 16, 0), nullptr);
}

TEST(DownloadDotsTest, FileDownloadOfAPicture) {
    resetProtocolState();
    resetDeviceCommandState();
    resetPrinterDotsState();
    setODMType(28);
    setMaxWidthDot_l(16);
    useDownloadImageConversion();
    const std::vector<uint8_t> argb = picture();
    SendPack start = getStartDownFileData(4, "", argb.data(), static_cast<uint32_t>(argb.size()), 0);
    ASSERT_FALSE(isEmptyProtocolPack(start));
    freeSendPack(start);
    setDownFileOnePackage(64);
    SendPack part = getDownFileNextPackData();
    const std::vector<zvtest::ParsedPacket> packets = zvtest::parsePackets({part.data, part.data + part.length});
    freeSendPack(part);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(BytesEqual(hexBytes("01 00 04 00 00 00 00 00 FF 00 00 FF"), packets[0].payload));
    resetDeviceCommandState();
    resetProtocolState();
}
