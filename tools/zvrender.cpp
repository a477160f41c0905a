// zvrender: renders a printer stream written by rastertozorvan back into one
// PNG per page, so that a label can be looked at before media is spent on it.
//
//   zvrender [--format tspl|tspl2|zpl|sfzpl|cpcl|escpos|auto] input.bin|- out-prefix
//
// writes out-prefix-1.png, out-prefix-2.png, ... and one line per page on
// standard output. A malformed stream ends with "zvrender: offset N: reason"
// on standard error and exit status 1; pages completed before the fault are
// still written. Usage errors exit with status 2.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/render/render.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: zvrender [--format %s] input.bin|- out-prefix\n"
                 "  writes out-prefix-1.png, out-prefix-2.png, ... one per page\n",
                 zvrender::formatNames().c_str());
}

bool readAll(const char *path, std::vector<uint8_t> &bytes) {
    FILE *f = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    if (!f) return false;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    bool ok = !std::ferror(f);
    if (f != stdin) std::fclose(f);
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    zvrender::Format format = zvrender::Format::Auto;
    std::vector<const char *> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--format" && i + 1 < argc) {
            if (!zvrender::parseFormatName(argv[++i], format)) {
                std::fprintf(stderr, "zvrender: unknown format \"%s\"\n", argv[i]);
                usage();
                return 2;
            }
        } else if (arg.rfind("--format=", 0) == 0) {
            if (!zvrender::parseFormatName(arg.substr(9), format)) {
                std::fprintf(stderr, "zvrender: unknown format \"%s\"\n", arg.c_str() + 9);
                usage();
                return 2;
            }
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "zvrender: unknown option \"%s\"\n", arg.c_str());
            usage();
            return 2;
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.size() != 2) {
        usage();
        return 2;
    }
    std::vector<uint8_t> input;
    if (!readAll(positional[0], input)) {
        std::fprintf(stderr, "zvrender: cannot read %s\n", positional[0]);
        return 1;
    }
    zvrender::RenderResult result = zvrender::renderStream(input, format);
    int status = 0;
    for (size_t i = 0; i < result.pages.size(); ++i) {
        const zvrender::RenderedPage &page = result.pages[i];
        std::string path = std::string(positional[1]) + "-" + std::to_string(i + 1) + ".png";
        std::string error;
        if (!zvrender::writePagePng(page, path, error)) {
            std::fprintf(stderr, "zvrender: %s\n", error.c_str());
            return 1;
        }
        std::printf("page %zu: %d x %d dots%s -> %s\n", i + 1, page.width, page.height,
                    page.hasRed() ? " (black and red)" : "", path.c_str());
    }
    if (!result.ok) {
        std::fprintf(stderr, "zvrender: %s\n", result.message().c_str());
        status = 1;
    } else {
        std::printf("%s stream, %zu page(s)\n", zvrender::formatName(result.format), result.pages.size());
    }
    return status;
}
