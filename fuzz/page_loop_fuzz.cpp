// Runs the whole page loop in-process on arbitrary bytes as the raster job.
//
// Input layout: byte 0 picks the printer type, byte 1 the print mode and
// compression, byte 2 the band limits and the width clip; everything after is
// the raster stream. Printer data goes to /dev/null and the diagnostic files
// are off (their directory does not exist), so only the code paths that touch
// the untrusted stream are exercised.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/printer_settings.h"
#include "filter/page_budget.h"
#include "filter/page_loop.h"
#include "fuzz/fuzz_start.h"
#include "tests/support/label_settings.h"

namespace {

// The command languages, one protocol model and a type no printer has.
constexpr int32_t kDeviceTypes[8] = {161, 162, 163, 164, 191, 193, 1, 150};
constexpr int16_t kPrintModes[8] = {0, 1, 2, 3, 4, 5, 6, 8};

// Pages of up to 4 MiB: enough for every branch, cheap enough to run thousands.
constexpr uint64_t kFuzzPageLimit = 4ull * 1024 * 1024;
// Job budget of the runs (the filter's default is 1 GiB).
constexpr uint64_t kFuzzJobBudget = 256ull * 1024 * 1024;

int gInputFd = -1;

}  // namespace

ZV_FUZZ_FAIL_HUGE_ALLOCATIONS()

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    zvfuzz::startPageLoopTarget();
    gInputFd = zvfuzz::memoryFile("raster");
    setMaxPageBufferBytes(kFuzzPageLimit);
    setJobMemoryBudget(kFuzzJobBudget);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    const uint8_t select = data[0], mode = data[1], limits = data[2];
    data += 3;
    size -= 3;

    resetPrinterGlobals();
    setDeviceType(kDeviceTypes[select & 7]);

    PrinterSettings settings = zvtest::labelSettings();
    settings.printMode = kPrintModes[mode & 7];
    settings.isCompressie = (mode & 8) != 0 ? 1 : 0;
    settings.mediaTracking = (mode >> 4) & 3;
    settings.resolution = (mode & 0x40) != 0 ? 300 : 203;
    // Default limits, or small ones that force many bands and the one-row case.
    settings.noCompressieLimit = (limits & 1) != 0 ? 1 + (limits >> 4) * 16 : 300000;
    settings.compressieLimit = (limits & 2) != 0 ? 1 + (limits >> 4) * 4 : 64000;
    settings.maxWidthMM = (limits & 4) != 0 ? 4 : -1;
    settings.blankSpace = (limits >> 3) & 1;
    settings.feedDist = (select >> 3) & 3;
    settings.cutting = (select >> 5) & 3;
    settings.beeper = (select >> 6) & 3;
    settings.colorPrintModel = (select >> 3) & 3;
    settings.horizontal = 8;
    settings.vertical = 8;

    zvfuzz::replaceFile(gInputFd, data, size);
    print_bitmap_fd(&settings, gInputFd);
    return 0;
}
