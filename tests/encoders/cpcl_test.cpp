#include "encoders/cpcl.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/encoders/encoder_fixture.h"
#include "tests/support/golden.h"

namespace zvtest {
namespace {

PrinterSettings cpclSettings() {
    PrinterSettings s = labelSettings();
    s.darkness = 0;
    s.printSpeed = 3;
    return s;
}

std::string cpcl(GrayPage &page, PrinterSettings settings) {
    Output out(getCPCLPrintData(page.data(), page.width, page.height, &settings));
    EXPECT_NE(out, nullptr);
    return textOfArray(out.get());
}

TEST(CPCLEncoder, WhiteSixteenByTwoLabel) {
    GrayPage page(16, 2);
    EXPECT_EQ(cpcl(page, cpclSettings()),
              "! 0 200 200 2 1\r\n"
              "PW 16\r\n"
              "NO-PACE\r\n"
              "GAP-SENSE\r\n"
              "TONE 0\r\n"
              "SPEED 3.0\r\n"
              "EG 2 2 0 0 \r\n"
              "00000000\r\n\r\nFORM\r\nPRINT\r\n");
}

TEST(CPCLEncoder, HeaderResolutionIs200Or300) {
    const struct {
        int32_t dpi;
        const char *header;
    } cases[] = {
        {203, "! 0 200 200 1 1\r\n"}, {200, "! 0 200 200 1 1\r\n"}, {300, "! 0 300 300 1 1\r\n"},
        {0, "! 0 300 300 1 1\r\n"},   {600, "! 0 300 300 1 1\r\n"},
    };
    for (const auto &c : cases) {
        GrayPage page(8, 1);
        PrinterSettings s = cpclSettings();
        s.resolution = c.dpi;
        EXPECT_EQ(cpcl(page, s).rfind(c.header, 0), 0u) << "resolution " << c.dpi;
    }
}

TEST(CPCLEncoder, GapSensingWhateverTheMediaTracking) {
    for (int32_t tracking : {0, 1, 2, 255}) {
        GrayPage page(8, 1);
        PrinterSettings s = cpclSettings();
        s.mediaTracking = tracking;
        EXPECT_NE(cpcl(page, s).find("NO-PACE\r\nGAP-SENSE\r\n"), std::string::npos);
    }
}

TEST(CPCLEncoder, HexadecimalAndBinaryGraphicsCarryThePackedRows) {
    GrayPage page(24, 2);
    page.fillRows(0, 1, 0);  // row 0: FF FF FF
    page.set(0, 1, 0);       // row 1: 80 00 01
    page.set(23, 1, 0);
    PrinterSettings s = cpclSettings();
    s.horizontal = 10;
    s.vertical = 20;
    s.darkness = 5;
    s.printSpeed = 2;

    const std::string head = "! 0 200 200 2 1\r\nPW 24\r\nNO-PACE\r\nGAP-SENSE\r\nTONE 5\r\nSPEED 2.0\r\n";
    EXPECT_EQ(cpcl(page, s), head + "EG 3 2 10 20 \r\nFFFFFF800001\r\n\r\nFORM\r\nPRINT\r\n");

    s.isCompressie = 1;
    GrayPage again = page;
    Output out(getCPCLPrintData(again.data(), again.width, again.height, &s));
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(BytesEqual(join({bytesOf(head + "CG 3 2 10 20 \r\n"), hexBytes("FF FF FF 80 00 01"),
                                 bytesOf("\r\n\r\nFORM\r\nPRINT\r\n")}),
                           bytesOfArray(out.get())));
}

}  // namespace
}  // namespace zvtest
