// The zvrender program as people run it: files in, PNG files out, faults on
// standard error with their offset.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/image_transfer.h"
#include "protocol/protocol_state.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/temp_dir.h"

using zvtest::bytesOf;
using zvtest::join;
using zvtest::TempDir;

namespace {

const std::string kTool = std::string(ZV_BINARY_DIR) + "/tools/zvrender";

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun runTool(const TempDir &dir, const std::string &args) {
    std::string outFile = dir.file("stdout.txt"), errFile = dir.file("stderr.txt");
    int raw = std::system((kTool + " " + args + " >" + outFile + " 2>" + errFile).c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = zvtest::readFileText(outFile);
    run.err = zvtest::readFileText(errFile);
    return run;
}

struct Png {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes per pixel
    bool ok = false;
    uint8_t bitDepth = 0, colorType = 0;
};

Png readPng(const std::string &path) {
    Png png;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return png;
    image.format = PNG_FORMAT_RGB;
    png.width = image.width;
    png.height = image.height;
    png.rgb.resize(PNG_IMAGE_SIZE(image));
    png.ok = png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr) != 0;
    // The header's bit depth and colour type (bytes 24 and 25).
    std::vector<uint8_t> bytes = zvtest::readFileBytes(path);
    if (bytes.size() > 25) {
        png.bitDepth = bytes[24];
        png.colorType = bytes[25];
    }
    return png;
}

std::vector<uint8_t> pixel(const Png &png, unsigned x, unsigned y) {
    const uint8_t *p = png.rgb.data() + (static_cast<size_t>(y) * png.width + x) * 3;
    return {p[0], p[1], p[2]};
}

const std::vector<uint8_t> kWhite{255, 255, 255}, kBlack{0, 0, 0}, kRed{220, 0, 0}, kDarkRed{110, 0, 0};

}  // namespace

TEST(ZvrenderTool, WritesOnePngPerPage) {
    TempDir dir;
    // Two CPCL labels: a dot at (0,0) on the first, at (15,1) on the second.
    std::string label = "! 0 200 200 2 1\r\nPW 16\r\nNO-PACE\r\nGAP-SENSE\r\nTONE 0\r\nSPEED 3.0\r\nEG 2 2 0 0 \r\n";
    zvtest::writeFileText(dir.file("in.cpcl"),
                          label + "80000000\r\n\r\nFORM\r\nPRINT\r\n" + label + "00000001\r\n\r\nFORM\r\nPRINT\r\n");
    ToolRun run = runTool(dir, dir.file("in.cpcl") + " " + dir.file("page"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("cpcl stream, 2 page(s)"), std::string::npos) << run.out;
    for (int n : {1, 2}) {
        Png png = readPng(dir.file("page-" + std::to_string(n) + ".png"));
        ASSERT_TRUE(png.ok);
        EXPECT_EQ(png.width, 16u);
        EXPECT_EQ(png.height, 2u);
        EXPECT_EQ(png.bitDepth, 1);
        EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_GRAY);
        for (unsigned y = 0; y < 2; ++y)
            for (unsigned x = 0; x < 16; ++x) {
                bool dot = n == 1 ? (x == 0 && y == 0) : (x == 15 && y == 1);
                EXPECT_EQ(pixel(png, x, y), dot ? kBlack : kWhite) << n << ":" << x << "," << y;
            }
    }
    EXPECT_FALSE(zvtest::fileExists(dir.file("page-3.png")));
}

TEST(ZvrenderTool, TwoColourPageShowsRed) {
    TempDir dir;
    // Black at dot 0, red at dot 1, both at dot 2 (TSPL prints 0 bits).
    std::vector<uint8_t> stream = join({bytesOf("CLS\r\nSETCOLOR BLACK\r\nBITMAP 0,0,1,1,0,"),
                                        {0x5F},
                                        bytesOf("\r\nSETCOLOR RED 5\r\nBITMAP 0,0,1,1,0,"),
                                        {0x9F},
                                        bytesOf("\r\nPRINT 1,1\r\n")});
    zvtest::writeFileBytes(dir.file("in.bin"), stream);
    ToolRun run = runTool(dir, "--format tspl2 " + dir.file("in.bin") + " " + dir.file("p"));
    ASSERT_EQ(run.status, 0) << run.err;
    Png png = readPng(dir.file("p-1.png"));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_PALETTE);
    EXPECT_EQ(pixel(png, 0, 0), kBlack);
    EXPECT_EQ(pixel(png, 1, 0), kRed);
    EXPECT_EQ(pixel(png, 2, 0), kDarkRed);
    EXPECT_EQ(pixel(png, 3, 0), kWhite);
}

TEST(ZvrenderTool, MalformedStreamNamesTheOffsetAndKeepsEarlierPages) {
    TempDir dir;
    std::string label = "^XA^PW8^LL1\r\n^FO0,0,0\r\n^GFA,1,1,1,FF\r\n^PQ1^XZ\r\n";  // 43 bytes
    zvtest::writeFileText(dir.file("in.zpl"), label + "^XA^FO0,0,0\r\n^GFA,1,1,1,F");
    ToolRun run = runTool(dir, dir.file("in.zpl") + " " + dir.file("p"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("zvrender: offset " + std::to_string(label.size() + 24) + ": ", 0), 0u) << run.err;
    EXPECT_TRUE(zvtest::fileExists(dir.file("p-1.png")));
    EXPECT_FALSE(zvtest::fileExists(dir.file("p-2.png")));

    EXPECT_EQ(runTool(dir, "--format pdf " + dir.file("in.zpl") + " " + dir.file("p")).status, 2);
    EXPECT_EQ(runTool(dir, dir.file("in.zpl")).status, 2);
    EXPECT_EQ(runTool(dir, dir.file("missing.bin") + " " + dir.file("p")).status, 1);
}

// An encrypting printer's page: decrypted with the key and initial vector of
// its PPD or of the command line; without them, or with a key that is not 32
// hexadecimal digits, the tool says so.
TEST(ZvrenderTool, EncryptedProtocolPageWithTheKeyOfThePpd) {
    TempDir dir;
    const std::string key = "000102030405060708090a0b0c0d0e0f", iv = "f0e0d0c0b0a090807060504030201000";
    resetProtocolState();
    setODMType(163);
    setMaxDataLengthOnePackage(4096);
    ASSERT_TRUE(setAES128KeyHex(key.c_str()));
    ASSERT_TRUE(setAES128IVHex(iv.c_str()));
    std::vector<uint8_t> packed(4 * 3, 0);
    packed[0] = 0x80;  // one dot at (0, 0)
    ZVImage *image = creatZVImageWithPixByteData(packed.data(), 32, 3);
    SendPack pack = getAllImageData(image, creatDefaultImageProtocolSetting());
    zvtest::writeFileBytes(dir.file("in.bin"), std::vector<uint8_t>(pack.data, pack.data + pack.length));
    freeSendPack(pack);
    freeZVImageData(image);
    std::free(image);
    resetProtocolState();
    const std::string ppd =
        zvtest::writePpd(dir.file("p.ppd"), {"*ZVAttr AESKey: \"" + key + "\"", "*ZVAttr AESIV: \"" + iv + "\""});

    for (const std::string &keys : {"--ppd " + ppd, "--aes-key " + key + " --aes-iv " + iv}) {
        ToolRun run = runTool(dir, keys + " " + dir.file("in.bin") + " " + dir.file("p"));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("page 1: 32 x 3 dots"), std::string::npos) << run.out;
        Png png = readPng(dir.file("p-1.png"));
        ASSERT_TRUE(png.ok);
        EXPECT_EQ(pixel(png, 0, 0), kBlack);
        EXPECT_EQ(pixel(png, 1, 0), kWhite);
    }
    ToolRun noKey = runTool(dir, dir.file("in.bin") + " " + dir.file("q"));
    EXPECT_EQ(noKey.status, 1);
    EXPECT_EQ(noKey.err.rfind("zvrender: offset 0: encrypted packet", 0), 0u) << noKey.err;
    EXPECT_EQ(runTool(dir, "--aes-key 0011 --aes-iv " + iv + " " + dir.file("in.bin") + " " + dir.file("q")).status, 2);
    EXPECT_EQ(runTool(dir, "--aes-key " + key + " " + dir.file("in.bin") + " " + dir.file("q")).status, 2);
    const std::string badPpd = zvtest::writePpd(dir.file("bad.ppd"), {"*ZVAttr AESKey: \"" + key + "\""});
    EXPECT_EQ(runTool(dir, "--ppd " + badPpd + " " + dir.file("in.bin") + " " + dir.file("q")).status, 2);
}
