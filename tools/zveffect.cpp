// zveffect: applies one photo effect to a PNG or JPEG picture and writes a PNG,
// so that a photo can be turned into a stencil or a stylised print, and looked
// at, before it is printed.
//
//   zveffect EFFECT in.png|in.jpg out.png [--intensity X] [--contrast C --brightness B]
//   zveffect --list
//
// Exit status: 0 done, 1 the picture could not be read, processed or written,
// 2 a wrong command line. Every error is one line on standard error.
#include <png.h>
#ifdef ZV_HAVE_JPEG
#include <jpeglib.h>
#endif

#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/effects.h"
#include "imaging/zv_image.h"

namespace {

// Larger pictures are refused before they are decoded: the effects hold a few
// planes of the picture's size at once, about 40 bytes per pixel at most.
constexpr uint64_t kMaxPixels = 64000000;

struct Options {
    bool intensityGiven = false;
    float intensity = 0.0f;
    bool adjustGiven = false;
    float contrast = 0.0f;
    float brightness = 0.0f;
};

enum class Takes { kNothing, kIntensity, kAdjust };

struct EffectEntry {
    const char *name;
    const char *summary;
    Takes takes;
    int (*apply)(ZVImage *, const Options &);
};

int lineDraftWith(ZVImage *image, const Options &o, float defaultIntensity) {
    return lineDraftWithZVImageCustom(image, o.intensityGiven ? o.intensity : defaultIntensity);
}

const EffectEntry kEffects[] = {
    {"text", "text and line art in pure black and white (local threshold)", Takes::kNothing,
     [](ZVImage *i, const Options &) { return textWithZVImage(i, 31); }},
    {"line-draft-1", "pencil line drawing, light (intensity 0.5)", Takes::kIntensity,
     [](ZVImage *i, const Options &o) { return lineDraftWith(i, o, 0.5f); }},
    {"line-draft-2", "pencil line drawing, medium (intensity 1.0)", Takes::kIntensity,
     [](ZVImage *i, const Options &o) { return lineDraftWith(i, o, 1.0f); }},
    {"line-draft-3", "pencil line drawing, strong (intensity 2.0)", Takes::kIntensity,
     [](ZVImage *i, const Options &o) { return lineDraftWith(i, o, 2.0f); }},
    {"line-draft-4", "pencil line drawing, heavy (intensity 3.0)", Takes::kIntensity,
     [](ZVImage *i, const Options &o) { return lineDraftWith(i, o, 3.0f); }},
    {"sepia", "old-photo brown tones", Takes::kNothing,
     [](ZVImage *i, const Options &) { return nostalgiaWithZVImage(i); }},
    {"negative", "gray negative", Takes::kNothing,
     [](ZVImage *i, const Options &) { return negativeFilmWithZVImage(i); }},
    {"sketch", "pencil sketch in black and white, for stencils", Takes::kNothing,
     [](ZVImage *i, const Options &) { return sketchWithZVImage(i); }},
    {"sketch-2", "soft pencil sketch in gray", Takes::kNothing,
     [](ZVImage *i, const Options &) { return sketch2WithZVImage(i); }},
    {"black-white", "gray picture", Takes::kNothing,
     [](ZVImage *i, const Options &) { return blackWhiteWithZVImage(i); }},
    {"equalize", "edges boosted, then the gray levels spread evenly", Takes::kNothing,
     [](ZVImage *i, const Options &) { return equalizeHistWithZVImage(i); }},
    {"adjust", "contrast and brightness (--contrast C --brightness B, default 0)", Takes::kAdjust,
     [](ZVImage *i, const Options &o) { return adjustWithZVImage(i, o.contrast, o.brightness); }},
};

constexpr const char *kUsageLine =
    "usage: zveffect EFFECT in.png|in.jpg out.png [--intensity X] [--contrast C --brightness B]";
constexpr const char *kUsage =
    "usage: zveffect EFFECT in.png|in.jpg out.png [--intensity X] [--contrast C --brightness B]\n"
    "       zveffect --list      names the effects\n";

int fail(const std::string &message) {
    std::fprintf(stderr, "zveffect: %s\n", message.c_str());
    return 1;
}

// A wrong command line: one line, like every other error.
int usageError(const std::string &message) {
    std::fprintf(stderr, "zveffect: %s\n", message.c_str());
    return 2;
}

bool parseNumber(const char *text, float &value) {
    char *end = nullptr;
    errno = 0;
    const float v = std::strtof(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !(v == v)) return false;
    value = v;
    return true;
}

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

std::string sizeText(uint64_t width, uint64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

bool tooLarge(uint64_t width, uint64_t height, const std::string &path, std::string &error) {
    if (width * height <= kMaxPixels) return false;
    error = path + ": picture too large (" + sizeText(width, height) + " pixels; at most 64 megapixels)";
    return true;
}

bool readPng(const std::string &path, Picture &picture, std::string &error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = "cannot read " + path + ": " + image.message;
        return false;
    }
    if (tooLarge(image.width, image.height, path, error)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    try {
        picture.rgba.resize(PNG_IMAGE_SIZE(image));
    } catch (const std::exception &) {
        png_image_free(&image);
        error = "not enough memory for " + path + " (" + sizeText(image.width, image.height) + " pixels)";
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
        error = "cannot read " + path + ": " + image.message;
        return false;
    }
    picture.width = image.width;
    picture.height = image.height;
    return true;
}

#ifdef ZV_HAVE_JPEG
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr info) {
    auto *error = reinterpret_cast<JpegError *>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

// The libjpeg calls, in a frame that holds the setjmp and no C++ object; the
// row buffer is the caller's and sized before any row is decoded.
bool decodeJpeg(FILE *file, const std::string &path, Picture &picture, std::string &error) {
    jpeg_decompress_struct info{};
    JpegError jerr{};
    info.err = jpeg_std_error(&jerr.manager);
    jerr.manager.error_exit = jpegErrorExit;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&info);
        error = std::string("cannot read ") + path + ": " + jerr.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (tooLarge(info.image_width, info.image_height, path, error)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    const size_t stride = static_cast<size_t>(info.output_width) * 4;
    bool sized = true;
    try {
        picture.rgba.resize(stride * info.output_height);
    } catch (const std::exception &) {
        sized = false;
    }
    if (!sized) {
        jpeg_destroy_decompress(&info);
        error = "not enough memory for " + path;
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture.rgba.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    picture.width = info.output_width;
    picture.height = info.output_height;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}
#endif

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

bool readPicture(const std::string &path, Picture &picture, std::string &error) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    unsigned char magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    if (got == 8 && png_sig_cmp(magic, 0, 8) == 0) {
        file.reset();
        return readPng(path, picture, error);
    }
    if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
#ifdef ZV_HAVE_JPEG
        std::rewind(file.get());
        return decodeJpeg(file.get(), path, picture, error);
#else
        error = "cannot read " + path + ": this zveffect was built without JPEG support";
        return false;
#endif
    }
    error = "cannot read " + path + ": not a PNG or JPEG picture";
    return false;
}

// Gray when every pixel is an opaque gray (the gray effects), RGB when opaque,
// else RGBA: the smallest PNG that holds the picture exactly.
bool writePng(const std::string &path, const ZVImage &picture, std::string &error) {
    const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
    const uint8_t *rgba = picture.rgbaData;
    bool opaque = true, gray = true;
    for (size_t i = 0; i < pixels && (opaque || gray); ++i) {
        const uint8_t *p = rgba + 4 * i;
        opaque = opaque && p[3] == 255;
        gray = gray && p[0] == p[1] && p[1] == p[2];
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = picture.width;
    image.height = picture.height;
    std::vector<uint8_t> packed;
    const uint8_t *buffer = rgba;
    if (opaque) {
        const size_t channels = gray ? 1 : 3;
        image.format = gray ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
        try {
            packed.resize(pixels * channels);
        } catch (const std::exception &) {
            error = "not enough memory to write " + path;
            return false;
        }
        for (size_t i = 0; i < pixels; ++i) {
            for (size_t c = 0; c < channels; ++c) packed[i * channels + c] = rgba[4 * i + c];
        }
        buffer = packed.data();
    } else {
        image.format = PNG_FORMAT_RGBA;
    }
    if (!png_image_write_to_file(&image, path.c_str(), 0, buffer, 0, nullptr)) {
        error = "cannot write " + path + ": " + image.message;
        return false;
    }
    return true;
}

void list() {
    for (const EffectEntry &e : kEffects) std::printf("%-13s %s\n", e.name, e.summary);
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> positional;
    Options options;
    bool contrastGiven = false, brightnessGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list") {
            list();
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--intensity" || arg == "--contrast" || arg == "--brightness") {
            if (i + 1 >= argc) return usageError(arg + " needs a number");
            float value = 0.0f;
            if (!parseNumber(argv[i + 1], value)) {
                return usageError(arg + " needs a number, not '" + argv[i + 1] + "'");
            }
            ++i;
            if (arg == "--intensity") {
                options.intensityGiven = true;
                options.intensity = value;
            } else if (arg == "--contrast") {
                contrastGiven = true;
                options.contrast = value;
            } else {
                brightnessGiven = true;
                options.brightness = value;
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return usageError("unknown option '" + arg + "'");
        positional.push_back(arg);
    }
    if (positional.size() != 3) return usageError(kUsageLine);
    options.adjustGiven = contrastGiven || brightnessGiven;

    const std::string &name = positional[0];
    const EffectEntry *effect = nullptr;
    for (const EffectEntry &e : kEffects) {
        if (name == e.name) effect = &e;
    }
    if (effect == nullptr) return usageError("unknown effect '" + name + "' (zveffect --list names them)");
    if (options.intensityGiven && effect->takes != Takes::kIntensity) {
        return usageError("--intensity applies only to line-draft-1 to line-draft-4");
    }
    if (options.adjustGiven && effect->takes != Takes::kAdjust) {
        return usageError("--contrast and --brightness apply only to adjust");
    }

    Picture picture;
    std::string error;
    if (!readPicture(positional[1], picture, error)) return fail(error);
    if (picture.width == 0 || picture.height == 0) return fail(positional[1] + ": empty picture");

    ZVImage image{};
    image.width = picture.width;
    image.height = picture.height;
    image.rgbaData = picture.rgba.data();  // borrowed; the record owns no plane
    const int status = effect->apply(&image, options);
    if (status != 0) {
        return fail("not enough memory to apply " + name + " to " + positional[1] + " (" +
                    sizeText(picture.width, picture.height) + " pixels)");
    }
    if (!writePng(positional[2], image, error)) return fail(error);
    return 0;
}
