// Fuzzes what a job and a printer's PPD can set: the input is a job option
// string, a NUL byte, then PPD lines (after a fixed PPD header). The settings
// are read as the filter reads them, then a small fixed gray page goes
// through the page loop with them, so that absurd values (offsets, limits,
// speeds, models, print modes) meet the encoders.
#include <cups/cups.h>
#include <cups/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/printer_settings.h"
#include "filter/page_budget.h"
#include "filter/page_loop.h"
#include "filter/settings_reader.h"
#include "fuzz/fuzz_start.h"

namespace {

constexpr char kPpdHeader[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*FileVersion: \"1.0\"\n"
    "*LanguageVersion: English\n"
    "*LanguageEncoding: ISOLatin1\n"
    "*PCFileName: \"FUZZ.PPD\"\n"
    "*Manufacturer: \"Fuzz\"\n"
    "*Product: \"(Fuzz)\"\n"
    "*ModelName: \"Fuzz Printer\"\n"
    "*ShortNickName: \"Fuzz Printer\"\n"
    "*NickName: \"Fuzz Printer\"\n"
    "*PSVersion: \"(3010.000) 0\"\n"
    "*cupsVersion: 2.4\n"
    "*cupsFilter2: \"application/vnd.cups-raster application/vnd.cups-raster 0 rastertozorvan\"\n";

constexpr uint64_t kFuzzPageLimit = 4ull * 1024 * 1024;
// Job budget of the runs (the filter's default is 1 GiB).
constexpr uint64_t kFuzzJobBudget = 256ull * 1024 * 1024;

int gPpdFd = -1;
int gRasterFd = -1;
std::string gPpdPath;

// One gray page, 80 x 24 dots, with a dark block and a gray ramp.
void writeFixedRaster(int fd) {
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    if (raster == nullptr) std::abort();
    cups_page_header2_t header{};
    header.cupsWidth = 80;
    header.cupsHeight = 24;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 8;
    header.cupsBytesPerLine = 80;
    header.cupsColorSpace = CUPS_CSPACE_W;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.HWResolution[0] = header.HWResolution[1] = 203;
    header.NumCopies = 1;
    if (!cupsRasterWriteHeader2(raster, &header)) std::abort();
    unsigned char row[80];
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        for (unsigned x = 0; x < 80; ++x)
            row[x] = (x > 10 && x < 30 && y > 4 && y < 20) ? 0 : static_cast<unsigned char>(x * 3);
        cupsRasterWritePixels(raster, row, sizeof row);
    }
    cupsRasterClose(raster);
}

}  // namespace

ZV_FUZZ_FAIL_HUGE_ALLOCATIONS()

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    zvfuzz::startPageLoopTarget();
    gPpdFd = zvfuzz::memoryFile("ppd");
    gRasterFd = zvfuzz::memoryFile("raster");
    gPpdPath = "/proc/self/fd/" + std::to_string(gPpdFd);
    setenv("PPD", gPpdPath.c_str(), 1);
    writeFixedRaster(gRasterFd);
    setMaxPageBufferBytes(kFuzzPageLimit);
    setJobMemoryBudget(kFuzzJobBudget);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const void *nul = std::memchr(data, 0, size);
    const size_t optionLength = nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - data) : size;
    const std::string optionText(reinterpret_cast<const char *>(data), optionLength);
    const size_t ppdStart = nul != nullptr ? optionLength + 1 : size;

    zvfuzz::emptyFile(gPpdFd);
    zvfuzz::writeAll(gPpdFd, kPpdHeader, sizeof kPpdHeader - 1);
    zvfuzz::writeAll(gPpdFd, data + ppdStart, size - ppdStart);

    resetPrinterGlobals();
    PrinterSettings settings{};
    char arg0[] = "rastertozorvan", job[] = "7", user[] = "fuzz", title[] = "t", copies[] = "1";
    std::string options = optionText;
    char *argv[] = {arg0, job, user, title, copies, options.data(), nullptr};

    cups_option_t *parsed = nullptr;
    const int count = cupsParseOptions(optionText.c_str(), 0, &parsed);
    set_pstops_options(&settings, argv, count, parsed);
    cupsFreeOptions(count, parsed);

    zvfuzz::rewindFile(gRasterFd);
    print_bitmap_fd(&settings, gRasterFd);
    return 0;
}
