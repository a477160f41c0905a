// zvrender: renders a printer stream written by rastertozorvan back into one
// PNG per page, so that a label can be looked at before media is spent on it.
//
//   zvrender [--format NAME] [--ppd FILE | --aes-key HEX --aes-iv HEX] input.bin|- out-prefix
//
// writes out-prefix-1.png, out-prefix-2.png, ... and one line per page on
// standard output. An encrypting protocol printer's stream is decrypted with
// the key and initial vector of its PPD (*ZVAttr AESKey / AESIV) or given
// on the command line. A malformed stream ends with "zvrender: offset N: reason"
// on standard error and exit status 1; pages completed before the fault are
// still written. Usage errors exit with status 2.
// The PPD API is marked deprecated in CUPS 2.x but is how a printer's PPD is read.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/render/render.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: zvrender [--format %s]\n"
                 "                [--ppd FILE | --aes-key HEX --aes-iv HEX] input.bin|- out-prefix\n"
                 "  writes out-prefix-1.png, out-prefix-2.png, ... one per page\n"
                 "  --ppd FILE       the printer's PPD: AES key and initial vector of an encrypting printer\n"
                 "  --aes-key HEX    the AES-128 key, 32 hexadecimal digits\n"
                 "  --aes-iv HEX     the CBC initial vector, 32 hexadecimal digits\n",
                 zvrender::formatNames().c_str());
}

// 32 hexadecimal digits, blanks around them allowed.
bool parseHex16(const char *text, std::array<uint8_t, 16> &out) {
    if (text == nullptr) return false;
    std::string digits;
    for (const char *p = text; *p != '\0'; ++p)
        if (!std::isspace(static_cast<unsigned char>(*p))) digits += *p;
    if (digits.size() != 32) return false;
    for (size_t i = 0; i < 16; ++i) {
        unsigned value = 0;
        for (size_t k = 0; k < 2; ++k) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(digits[2 * i + k])));
            if (c >= '0' && c <= '9')
                value = value * 16 + static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value = value * 16 + static_cast<unsigned>(c - 'a' + 10);
            else
                return false;
        }
        out[i] = static_cast<uint8_t>(value);
    }
    return true;
}

// The key and initial vector from the PPD's *ZVAttr AESKey and AESIV lines.
bool keysFromPpd(const char *path, zvrender::RenderOptions &options, std::string &error) {
    ppd_file_t *ppd = ppdOpenFile(path);
    if (ppd == nullptr) {
        error = std::string("cannot read the PPD ") + path;
        return false;
    }
    ppd_attr_t *key = ppdFindAttr(ppd, "ZVAttr", "AESKey");
    ppd_attr_t *iv = ppdFindAttr(ppd, "ZVAttr", "AESIV");
    bool ok = true;
    if (key == nullptr && iv == nullptr) {
        // A printer that does not encrypt: nothing to take.
    } else if (key == nullptr || iv == nullptr || !parseHex16(key->value, options.aesKey) ||
               !parseHex16(iv->value, options.aesIv)) {
        error = std::string("the PPD ") + path + " has no valid *ZVAttr AESKey and AESIV (32 hexadecimal digits each)";
        ok = false;
    } else {
        options.haveAesKey = true;
    }
    ppdClose(ppd);
    return ok;
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
    zvrender::RenderOptions options;
    const char *ppdPath = nullptr;
    const char *keyText = nullptr;
    const char *ivText = nullptr;
    std::vector<const char *> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--ppd" && i + 1 < argc) {
            ppdPath = argv[++i];
        } else if (arg == "--aes-key" && i + 1 < argc) {
            keyText = argv[++i];
        } else if (arg == "--aes-iv" && i + 1 < argc) {
            ivText = argv[++i];
        } else if (arg == "--format" && i + 1 < argc) {
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
    if (positional.size() != 2 || (keyText == nullptr) != (ivText == nullptr) ||
        (ppdPath != nullptr && keyText != nullptr)) {
        usage();
        return 2;
    }
    if (keyText != nullptr) {
        if (!parseHex16(keyText, options.aesKey) || !parseHex16(ivText, options.aesIv)) {
            std::fputs("zvrender: --aes-key and --aes-iv take 32 hexadecimal digits each\n", stderr);
            return 2;
        }
        options.haveAesKey = true;
    }
    if (ppdPath != nullptr) {
        std::string error;
        if (!keysFromPpd(ppdPath, options, error)) {
            std::fprintf(stderr, "zvrender: %s\n", error.c_str());
            return 2;
        }
    }
    std::vector<uint8_t> input;
    if (!readAll(positional[0], input)) {
        std::fprintf(stderr, "zvrender: cannot read %s\n", positional[0]);
        return 1;
    }
    zvrender::RenderResult result = zvrender::renderStream(input, format, options);
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
