// The dispatcher from a scaled page to printer dots: the routes by grayType,
// the finish (complement, turn by 180 degrees), the start from the gray plane
// and the hand-over to the image transfer.
#include "protocol_print/printer_dots.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imaging/simple_rand.h"
#include "imaging/step_pipeline.h"
#include "protocol/protocol_state.h"
#include "protocol_print/single_color.h"
#include "tests/imaging/gray_band.h"
#include "tests/protocol/packet_stream.h"

namespace {

PrintSetting settingFor(uint32_t grayType, uint32_t rotation = 0, uint32_t invert = 0) {
    PrintSetting s;
    creatDefaultPrintSetting(&s);
    s.grayType = grayType;
    s.rotation = rotation;
    s.invertColors = invert;
    return s;
}

std::vector<uint8_t> dotsOf(const ZVImage *image) {
    if (image->pixByteData == nullptr) return {};
    return std::vector<uint8_t>(image->pixByteData,
                                image->pixByteData + zvImagePackedSize(image->width, image->height));
}

// Dots of a gray page by the RGBA entry point (the page as RGBA first) and by
// the gray one, from the same generator state.
struct BothWays {
    std::vector<uint8_t> fromRgba, fromGray;
    int rgbaResult = -1, grayResult = -1;
};

BothWays convertBothWays(const std::vector<uint8_t> &gray, uint32_t w, uint32_t h, const PrintSetting &setting) {
    BothWays out;
    ImagePtr viaRgba = grayImage(gray, w, h);
    EXPECT_EQ(0, ZVImageConvertGray2RGBA(viaRgba.get()));
    setSingleColorRandState(7);
    out.rgbaResult = getPixByteDataFromRGBAImage(viaRgba.get(), setting);
    out.fromRgba = dotsOf(viaRgba.get());

    ImagePtr viaGray = grayImage(gray, w, h);
    setSingleColorRandState(7);
    out.grayResult = driveGetPixByteDataFromGrayImage(viaGray.get(), setting);
    out.fromGray = dotsOf(viaGray.get());
    return out;
}

class PrinterDots : public ::testing::Test {
  protected:
    void SetUp() override {
        resetPrinterDotsState();
        resetProtocolState();
    }
    void TearDown() override {
        resetPrinterDotsState();
        resetProtocolState();
    }
};

TEST_F(PrinterDots, ThresholdStartsAt142AndIsSet) {
    EXPECT_EQ(142, getImgThresholdValue());
    EXPECT_EQ(222, setThreshold(222));
    EXPECT_EQ(222, getImgThresholdValue());
}

// With the driver's threshold 222: gray 222 prints, 223 too (the gray
// conversion makes it 222), 224 does not; white gives no dot.
TEST_F(PrinterDots, PlainThresholdAt222) {
    setThreshold(222);
    const std::vector<uint8_t> page = {222, 223, 224, 255, 0, 255, 255, 222};
    for (const BothWays &r : {convertBothWays(page, 8, 1, settingFor(0))}) {
        EXPECT_EQ(1, r.rgbaResult);
        EXPECT_EQ(1, r.grayResult);
        EXPECT_EQ(std::vector<uint8_t>{0xC9}, r.fromRgba);
        EXPECT_EQ(r.fromRgba, r.fromGray);
    }
    const BothWays white = convertBothWays(std::vector<uint8_t>(64 * 3, 255), 64, 3, settingFor(0));
    EXPECT_EQ(std::vector<uint8_t>(24, 0), white.fromGray);
}

// The finish on the plain route: complement, then the turn (whole rows, so
// both the row order and the pixel order within rows reverse).
TEST_F(PrinterDots, ComplementAndTurnBy180Degrees) {
    setThreshold(222);
    auto pageFor = [](const std::vector<uint8_t> &bytes) {
        std::vector<uint8_t> page;
        for (uint8_t b : bytes)
            for (int bit = 7; bit >= 0; --bit) page.push_back((b >> bit) & 1 ? 0 : 255);
        return page;
    };
    struct Case {
        std::vector<uint8_t> dots;
        uint32_t w, rotation, invert;
        std::vector<uint8_t> expected;
    };
    const std::vector<Case> cases = {
        {{0xF0, 0x01}, 16, 180, 0, {0x80, 0x0F}}, {{0x01, 0x02, 0x03}, 8, 180, 0, {0xC0, 0x40, 0x80}},
        {{0xF0, 0x01}, 16, 0, 1, {0x0F, 0xFE}},   {{0xF0, 0x01}, 16, 180, 1, {0x7F, 0xF0}},
        {{0xF0, 0x01}, 16, 90, 0, {0xF0, 0x01}},  // only 180 turns
    };
    for (const Case &c : cases) {
        const uint32_t h = static_cast<uint32_t>(c.dots.size() * 8 / c.w);
        const BothWays r = convertBothWays(pageFor(c.dots), c.w, h, settingFor(0, c.rotation, c.invert));
        EXPECT_EQ(c.expected, r.fromRgba) << c.w << " " << c.rotation << " " << c.invert;
        EXPECT_EQ(c.expected, r.fromGray);
    }
    EXPECT_EQ(0x80, priva_invertHex(0x01));
    EXPECT_EQ(0x0D, priva_invertHex(0xB0));
    EXPECT_EQ(0xFF, priva_invertHex(0xFF));
}

// Starting from the gray plane gives the dots the RGBA plane gives, for every
// route the driver and its neighbours take.
TEST_F(PrinterDots, GrayStartEqualsRgbaStart) {
    const uint32_t w = 48, h = 40;
    std::vector<uint8_t> page(w * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) page[y * w + x] = static_cast<uint8_t>(y < 20 ? (x * 5 + y * 3) : 255);
    for (uint32_t x = 4; x < 40; ++x) page[30 * w + x] = 0;  // a line of text below a picture
    for (uint32_t grayType : {0u, 1u, 2u, 3u, 6u, 7u, 8u}) {
        const BothWays r = convertBothWays(page, w, h, settingFor(grayType));
        EXPECT_EQ(1, r.rgbaResult) << grayType;
        EXPECT_EQ(1, r.grayResult) << grayType;
        ASSERT_EQ(w * h / 8, r.fromGray.size()) << grayType;
        EXPECT_EQ(r.fromRgba, r.fromGray) << grayType;
    }
}

// The presets make their own page: rotation and inversion of the setting do
// not reach them. A black block on white passes the tattoo preset unchanged,
// whatever its dithering draws; with a guide line the page grows 16 rows.
TEST_F(PrinterDots, TattooPresetsIgnoreRotationAndInversion) {
    const uint32_t w = 128, h = 260;  // room for the marks below row 200
    std::vector<uint8_t> page(w * h, 255);
    for (uint32_t y = 10; y < 40; ++y)
        for (uint32_t x = 8; x < 48; ++x) page[y * w + x] = 0;
    std::vector<uint8_t> block(w * h / 8, 0);
    for (uint32_t y = 10; y < 40; ++y)
        for (uint32_t x = 8; x < 48; ++x) block[(y * w + x) / 8] |= 0x80 >> (x % 8);
    for (uint32_t grayType : {10u, 11u, 12u}) {
        const BothWays plain = convertBothWays(page, w, h, settingFor(grayType));
        const BothWays turned = convertBothWays(page, w, h, settingFor(grayType, 180, 1));
        EXPECT_EQ(1, plain.grayResult);
        EXPECT_EQ(1, turned.rgbaResult);
        EXPECT_EQ(plain.fromRgba, plain.fromGray) << grayType;
        EXPECT_EQ(plain.fromGray, turned.fromGray) << grayType;
        EXPECT_EQ(plain.fromGray, turned.fromRgba) << grayType;
        if (grayType == 10) {
            EXPECT_EQ(block, plain.fromGray);
        } else {
            EXPECT_EQ(block.size() + 16 * w / 8, plain.fromGray.size()) << grayType;
        }
    }
}

// grayType 13 is the small-label step pipeline; 168 to 170 the colour inkjet
// preset, whose ink planes this path cannot send, so no dots; an unlisted
// value takes the text-aware route of 6.
TEST_F(PrinterDots, SmallSizeAndInkjetRoutes) {
    const uint32_t w = 64, h = 48;
    std::vector<uint8_t> page(w * h);
    for (uint32_t i = 0; i < w * h; ++i) page[i] = static_cast<uint8_t>((i * 37) % 256);
    setSimpleRandClock([] { return 99u; });
    ImagePtr direct = grayImage(page, w, h);
    ASSERT_EQ(0, ZVImageConvertGray2RGBA(direct.get()));
    freeZVImageGrayData(direct.get());
    ASSERT_EQ(0u, getZVImageProcessingForSmallSize(direct.get()));
    const BothWays small = convertBothWays(page, w, h, settingFor(13));
    setSimpleRandClock(nullptr);
    EXPECT_EQ(1, small.grayResult);
    EXPECT_EQ(dotsOf(direct.get()), small.fromGray);

    for (uint32_t grayType : {168u, 169u, 170u}) {
        const BothWays inkjet = convertBothWays(page, w, h, settingFor(grayType));
        EXPECT_EQ(0, inkjet.grayResult) << grayType;
        EXPECT_TRUE(inkjet.fromGray.empty()) << grayType;
    }
    EXPECT_EQ(convertBothWays(page, w, h, settingFor(6)).fromGray, convertBothWays(page, w, h, settingFor(14)).fromGray);
}

TEST_F(PrinterDots, MissingPlanesGiveNoDots) {
    ImagePtr bare(creatZVImage(8, 8));
    EXPECT_EQ(0, getPixByteDataFromRGBAImage(bare.get(), settingFor(0)));
    EXPECT_EQ(0, driveGetPixByteDataFromGrayImage(bare.get(), settingFor(0)));
    EXPECT_EQ(0, drivegetPixByteDataFromRGBAImage(bare.get(), settingFor(0)));
    EXPECT_EQ(0, getPixByteDataFromRGBAImage(nullptr, settingFor(0)));
    EXPECT_TRUE(isEmptyProtocolPack(driveGetPrintDataFromPixByteData(bare.get(), creatDefaultImageProtocolSetting())));
}

// Rows of whole bytes only: a width of 12 would not fit the packed plane.
TEST_F(PrinterDots, PlainRouteRefusesAWidthThatIsNotWholeBytes) {
    ImagePtr image = grayImage(std::vector<uint8_t>(12 * 2, 0), 12, 2);
    EXPECT_EQ(0, driveGetPixByteDataFromGrayImage(image.get(), settingFor(0)));
    EXPECT_EQ(nullptr, image->pixByteData);
}

// A failure of the text route is told to CUPS on standard error and leaves
// the printer stream alone.
TEST_F(PrinterDots, TextRouteFailureGoesToStandardError) {
    ImagePtr image = grayImage(std::vector<uint8_t>(12 * 2, 0), 12, 2);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = driveGetPixByteDataFromGrayImage(image.get(), settingFor(6));
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, result);
    EXPECT_EQ("", out);
    EXPECT_EQ("ERROR: zv_BinImg2PrinterData error\n", err);
}

// ODM printer type 28 sends Huffman trees and coded parts, 163 raw rows.
TEST_F(PrinterDots, TransferFormFollowsTheOdmType) {
    setMaxDataLengthOnePackage(4096);
    for (uint32_t odm : {28u, 163u}) {
        setODMType(odm);
        ImagePtr image = grayImage(std::vector<uint8_t>(64 * 4, 0), 64, 4);
        setThreshold(222);
        ASSERT_EQ(1, driveGetPixByteDataFromGrayImage(image.get(), settingFor(0)));
        SendPack pack = driveGetPrintDataFromPixByteData(image.get(), creatDefaultImageProtocolSetting());
        const std::vector<uint8_t> stream(pack.data, pack.data + pack.length);
        freeSendPack(pack);
        const auto packets = zvtest::parsePackets(stream);
        std::vector<int> commands;
        for (const auto &p : packets) commands.push_back(p.command);
        const std::vector<int> expected = odm == 163 ? std::vector<int>{11, 13, 12} : std::vector<int>{11, 14, 13, 12};
        EXPECT_EQ(expected, commands) << odm;
        const zvtest::DecodedImage decoded = zvtest::decodeImagePackets(packets);
        EXPECT_TRUE(decoded.ok);
        EXPECT_EQ(std::vector<uint8_t>(32, 0xFF), decoded.bytes) << odm;
    }
}

}  // namespace
