// Runs the whole page loop in-process on arbitrary bytes as the raster job.
//
// Input layout: byte 0 picks the printer type, byte 1 the print mode and
// compression, byte 2 the band limits and the width clip; everything after is
// the raster stream. Printer data goes to /dev/null and the diagnostic files
// are off (their directory does not exist), so only the code paths that touch
// the untrusted stream are exercised.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/printer_settings.h"
#include "filter/page_loop.h"

namespace {

// The command languages, one protocol model and a type no printer has.
constexpr int32_t kDeviceTypes[8] = {161, 162, 163, 164, 191, 193, 1, 150};
constexpr int16_t kPrintModes[8] = {0, 1, 2, 3, 4, 5, 6, 8};

// Pages of up to 4 MiB: enough for every branch, cheap enough to run thousands.
constexpr uint64_t kFuzzPageLimit = 4ull * 1024 * 1024;

int gInputFd = -1;

void writeAll(int fd, const uint8_t *data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) std::abort();
        data += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

// libcups allocates a line buffer of the header's cupsBytesPerLine (up to
// 4 GiB) when it reads a compressed page header, before the filter sees the
// header. The sanitizer's allocator would fill such a block page by page;
// fail allocations that large instead, as a machine without the memory would,
// so hostile headers cost microseconds here as they do in the real filter.
extern "C" const char *__asan_default_options() { return "max_allocation_size_mb=1024:allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("ZORVAN_LOG_DIR", "/nonexistent-zorvan-fuzz-dir", 1);
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull < 0 || ::dup2(devNull, STDOUT_FILENO) < 0) std::abort();
    ::close(devNull);
    gInputFd = memfd_create("raster", 0);
    if (gInputFd < 0) std::abort();
    setMaxPageBufferBytes(kFuzzPageLimit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    const uint8_t select = data[0], mode = data[1], limits = data[2];
    data += 3;
    size -= 3;

    resetPrinterGlobals();
    setDeviceType(kDeviceTypes[select & 7]);

    PrinterSettings settings{};
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

    if (::ftruncate(gInputFd, 0) != 0 || ::lseek(gInputFd, 0, SEEK_SET) != 0) std::abort();
    writeAll(gInputFd, data, size);
    if (::lseek(gInputFd, 0, SEEK_SET) != 0) std::abort();
    print_bitmap_fd(&settings, gInputFd);
    return 0;
}
