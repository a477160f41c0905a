// zvmkraster: turns a PGM (P5) or PPM (P6) image into a CUPS raster stream,
// 8-bit gray or, with --rgba, 8-bit RGBA, as the label printers' PPDs request.
// --mono writes 1-bit black (a set bit prints, gray <= 128 is black), the
// format of CUPS's own label drivers, for comparisons with them; --plain
// writes the uncompressed stream format instead of the compressed one.
//
//   zvmkraster [--rgba|--mono] [--plain] [--pages N] input.pgm|input.ppm output.ras [dpi]
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Image {
    unsigned width = 0, height = 0, channels = 0;
    std::vector<unsigned char> pixels;
};

bool readToken(std::istream &in, std::string &token) {
    token.clear();
    int c;
    while ((c = in.get()) != EOF) {
        if (c == '#') {
            while ((c = in.get()) != EOF && c != '\n') {}
            continue;
        }
        if (std::isspace(c)) {
            if (!token.empty()) return true;
            continue;
        }
        token += static_cast<char>(c);
    }
    return !token.empty();
}

bool readPnm(const char *path, Image &image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic, w, h, maxval;
    if (!readToken(in, magic) || !readToken(in, w) || !readToken(in, h) || !readToken(in, maxval)) return false;
    if (magic != "P5" && magic != "P6") return false;
    if (std::atoi(maxval.c_str()) != 255) return false;
    image.width = static_cast<unsigned>(std::atoi(w.c_str()));
    image.height = static_cast<unsigned>(std::atoi(h.c_str()));
    image.channels = magic == "P5" ? 1 : 3;
    if (image.width == 0 || image.height == 0 || image.width > 100000 || image.height > 100000) return false;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height * image.channels);
    in.read(reinterpret_cast<char *>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
    return static_cast<size_t>(in.gcount()) == image.pixels.size();
}

}  // namespace

int main(int argc, char **argv) {
    bool rgba = false;
    bool mono = false;
    bool plain = false;
    int pages = 1;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-' && argv[arg][1] == '-'; ++arg) {
        if (std::strcmp(argv[arg], "--rgba") == 0) {
            rgba = true;
        } else if (std::strcmp(argv[arg], "--mono") == 0) {
            mono = true;
        } else if (std::strcmp(argv[arg], "--plain") == 0) {
            plain = true;
        } else if (std::strcmp(argv[arg], "--pages") == 0 && arg + 1 < argc) {
            pages = std::atoi(argv[++arg]);
        } else {
            break;
        }
    }
    if (argc - arg < 2 || pages < 1 || (rgba && mono)) {
        std::fprintf(stderr,
                     "usage: zvmkraster [--rgba|--mono] [--plain] [--pages N] input.pgm|input.ppm output.ras [dpi]\n");
        return 2;
    }
    Image image;
    if (!readPnm(argv[arg], image)) {
        std::fprintf(stderr, "zvmkraster: %s is not a binary PGM or PPM with maxval 255\n", argv[arg]);
        return 1;
    }
    const unsigned dpi = argc - arg > 2 ? static_cast<unsigned>(std::atoi(argv[arg + 2])) : 203;
    int fd = ::open(argv[arg + 1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(argv[arg + 1]);
        return 1;
    }
    cups_raster_t *raster = cupsRasterOpen(fd, plain ? CUPS_RASTER_WRITE : CUPS_RASTER_WRITE_COMPRESSED);
    const unsigned outChannels = rgba ? 4 : 1;

    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    header.HWResolution[0] = header.HWResolution[1] = dpi;
    header.NumCopies = 1;
    header.cupsWidth = image.width;
    header.cupsHeight = image.height;
    header.cupsBitsPerColor = mono ? 1 : 8;
    header.cupsBitsPerPixel = mono ? 1 : 8 * outChannels;
    header.cupsBytesPerLine = mono ? (image.width + 7) / 8 : image.width * outChannels;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = rgba ? CUPS_CSPACE_RGBA : mono ? CUPS_CSPACE_K : CUPS_CSPACE_W;
    header.cupsNumColors = outChannels;
    header.PageSize[0] = image.width * 72 / dpi;
    header.PageSize[1] = image.height * 72 / dpi;

    std::vector<unsigned char> row(header.cupsBytesPerLine);
    for (int p = 0; p < pages; ++p) {
        cupsRasterWriteHeader2(raster, &header);
        for (unsigned y = 0; y < image.height; ++y) {
            const unsigned char *src = image.pixels.data() + static_cast<size_t>(y) * image.width * image.channels;
            if (mono) std::fill(row.begin(), row.end(), 0);
            for (unsigned x = 0; x < image.width; ++x) {
                const unsigned char *px = src + x * image.channels;
                if (mono) {
                    const unsigned gray =
                        image.channels == 3 ? (px[0] * 299 + px[1] * 587 + px[2] * 114) / 1000 : px[0];
                    if (gray <= 128) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
                } else if (rgba) {
                    for (unsigned c = 0; c < 3; ++c) row[x * 4 + c] = image.channels == 3 ? px[c] : px[0];
                    row[x * 4 + 3] = 255;
                } else {
                    row[x] = image.channels == 3
                                 ? static_cast<unsigned char>((px[0] * 299 + px[1] * 587 + px[2] * 114) / 1000)
                                 : px[0];
                }
            }
            cupsRasterWritePixels(raster, row.data(), header.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
    return 0;
}
