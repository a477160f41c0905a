// The zveffect program as people run it: a picture in, the effect's picture
// out, and one clear line on standard error when something is wrong.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <zlib.h>
#ifdef ZV_HAVE_JPEG
#include <jpeglib.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "imaging/effects.h"
#include "imaging/zv_image.h"
#include "tests/support/temp_dir.h"

using zvtest::TempDir;

namespace {

const std::string kTool = std::string(ZV_BINARY_DIR) + "/tools/zveffect";

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun runTool(const TempDir &dir, const std::string &args) {
    const std::string outFile = dir.file("stdout.txt"), errFile = dir.file("stderr.txt");
    const int raw = std::system((kTool + " " + args + " >" + outFile + " 2>" + errFile).c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = zvtest::readFileText(outFile);
    run.err = zvtest::readFileText(errFile);
    return run;
}

size_t lineCount(const std::string &text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

struct Rgba {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

bool writePng(const std::string &path, const Rgba &picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = picture.width;
    image.height = picture.height;
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, picture.pixels.data(), 0, nullptr) != 0;
}

Rgba readPng(const std::string &path) {
    Rgba picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
    image.format = PNG_FORMAT_RGBA;
    picture.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) return Rgba{};
    picture.width = image.width;
    picture.height = image.height;
    return picture;
}

// A small colour picture with some transparency, so that sepia and adjust
// show that they keep alpha.
Rgba samplePicture() {
    Rgba p{37, 29, {}};
    p.pixels.resize(size_t{4} * p.width * p.height);
    for (unsigned y = 0; y < p.height; ++y) {
        for (unsigned x = 0; x < p.width; ++x) {
            uint8_t *px = &p.pixels[(size_t{y} * p.width + x) * 4];
            px[0] = static_cast<uint8_t>(x * 7 + y * 3);
            px[1] = static_cast<uint8_t>((x * y) % 251);
            px[2] = static_cast<uint8_t>(255 - y * 8);
            px[3] = static_cast<uint8_t>(x < 3 ? 128 : 255);
        }
    }
    return p;
}

// What the library makes of the picture: the tool must write exactly this.
std::vector<uint8_t> libraryResult(const Rgba &in, const std::function<int(ZVImage *)> &effect) {
    std::vector<uint8_t> pixels = in.pixels;
    ZVImage image{};
    image.width = in.width;
    image.height = in.height;
    image.rgbaData = pixels.data();
    EXPECT_EQ(effect(&image), 0);
    return pixels;
}

TEST(ZvEffect, ListNamesEveryEffectOnALineEach) {
    TempDir dir;
    const ToolRun run = runTool(dir, "--list");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(lineCount(run.out), 12u);
    for (const char *name : {"text ", "line-draft-1 ", "line-draft-4 ", "sepia ", "negative ", "sketch ", "sketch-2 ",
                             "black-white ", "equalize ", "adjust "}) {
        EXPECT_NE(("\n" + run.out).find(std::string("\n") + name), std::string::npos) << name;
    }
}

TEST(ZvEffect, WritesWhatTheEffectMakes) {
    TempDir dir;
    const Rgba in = samplePicture();
    ASSERT_TRUE(writePng(dir.file("in.png"), in));
    struct Case {
        std::string effect, options;
        std::function<int(ZVImage *)> run;
    };
    const Case cases[] = {
        {"text", "", [](ZVImage *i) { return textWithZVImage(i, 31); }},
        {"line-draft-1", "", lineDraftWithZVImage},
        {"line-draft-2", " --intensity 3", lineDraft4WithZVImage},
        {"line-draft-3", " --intensity 9", lineDraft4WithZVImage},
        {"sepia", "", nostalgiaWithZVImage},
        {"negative", "", negativeFilmWithZVImage},
        {"sketch", "", sketchWithZVImage},
        {"sketch-2", "", sketch2WithZVImage},
        {"black-white", "", blackWhiteWithZVImage},
        {"equalize", "", equalizeHistWithZVImage},
        {"adjust", " --contrast 0.5 --brightness -0.1", [](ZVImage *i) { return adjustWithZVImage(i, 0.5f, -0.1f); }},
        {"adjust", "", [](ZVImage *i) { return adjustWithZVImage(i, 0.0f, 0.0f); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.effect + c.options);
        const ToolRun run = runTool(dir, c.effect + " " + dir.file("in.png") + " " + dir.file("out.png") + c.options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const Rgba out = readPng(dir.file("out.png"));
        ASSERT_EQ(out.width, in.width);
        ASSERT_EQ(out.height, in.height);
        EXPECT_EQ(out.pixels, libraryResult(in, c.run));
    }
}

#ifdef ZV_HAVE_JPEG
void writeFlatJpeg(const std::string &path, unsigned width, unsigned height, uint8_t level) {
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t{3} * width, level);
    while (info.next_scanline < height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

TEST(ZvEffect, ReadsJpeg) {
    TempDir dir;
    writeFlatJpeg(dir.file("in.jpg"), 20, 10, 200);
    const ToolRun run = runTool(dir, "negative " + dir.file("in.jpg") + " " + dir.file("out.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    const Rgba out = readPng(dir.file("out.png"));
    ASSERT_EQ(out.width, 20u);
    ASSERT_EQ(out.height, 10u);
    for (size_t i = 0; i < out.pixels.size(); i += 4) ASSERT_NEAR(out.pixels[i], 55, 1) << i;
}
#endif

// A PNG whose header claims a size far beyond the limit; the picture data is
// never reached.
std::vector<uint8_t> hugePngHeader() {
    std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    auto chunk = [&bytes](const char *type, const std::vector<uint8_t> &data) {
        const uint32_t n = static_cast<uint32_t>(data.size());
        for (int s = 24; s >= 0; s -= 8) bytes.push_back(static_cast<uint8_t>(n >> s));
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        bytes.insert(bytes.end(), body.begin(), body.end());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
        for (int s = 24; s >= 0; s -= 8) bytes.push_back(static_cast<uint8_t>(crc >> s));
    };
    // 20000 x 20000, 8-bit RGB.
    chunk("IHDR", {0, 0, 0x4e, 0x20, 0, 0, 0x4e, 0x20, 8, 2, 0, 0, 0});
    chunk("IDAT", {});
    return bytes;
}

TEST(ZvEffect, ErrorsAreOneLineWithANonzeroStatus) {
    TempDir dir;
    ASSERT_TRUE(writePng(dir.file("in.png"), samplePicture()));
    zvtest::writeFileText(dir.file("notes.txt"), "not a picture\n");
    zvtest::writeFileBytes(dir.file("huge.png"), hugePngHeader());
    const std::string in = dir.file("in.png"), out = dir.file("out.png");
    struct Case {
        std::string args;
        int status;
        const char *message;
    };
    const Case cases[] = {
        {"blur " + in + " " + out, 2, "zveffect: unknown effect 'blur'"},
        {"sketch " + in, 2, "zveffect: usage: zveffect EFFECT"},
        {"sketch --intensity 2 " + in + " " + out, 2, "zveffect: --intensity applies only to line-draft"},
        {"sepia --contrast 1 " + in + " " + out, 2, "zveffect: --contrast and --brightness apply only to adjust"},
        {"line-draft-1 --intensity strong " + in + " " + out, 2, "zveffect: --intensity needs a number"},
        {"sketch " + in + " " + out + " --brightness", 2, "zveffect: --brightness needs a number"},
        {"sketch --fast " + in + " " + out, 2, "zveffect: unknown option '--fast'"},
        {"sketch " + dir.file("missing.png") + " " + out, 1, "zveffect: cannot read "},
        {"sketch " + dir.file("notes.txt") + " " + out, 1, ": not a PNG or JPEG picture"},
        {"sketch " + dir.file("huge.png") + " " + out, 1, "huge.png: picture too large (20000 x 20000 pixels"},
        {"sketch " + in + " " + dir.file("no/such/dir/out.png"), 1, "zveffect: cannot write "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun run = runTool(dir, c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(lineCount(run.err), 1u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(zvtest::fileExists(out));
}

}  // namespace
