#include "filter/filter_main.h"

#include <cups/backend.h>
#include <cups/cups.h>

#include <cstdio>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "core/debug_log.h"
#include "core/lenient_number.h"
#include "filter/page_budget.h"
#include "filter/page_loop.h"
#include "filter/settings_reader.h"

namespace {
bool startsWith(const char *text, const char *prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }
}  // namespace

const char *transportLogFormat(const char *uri) {
    if (startsWith(uri, "usb://")) return "URI=%s:使用USB传输";
    if (startsWith(uri, "bluetooth://")) return "URI=%s:使用蓝牙传输";
    static const char *const network[] = {"socket://", "lpd://",   "ipp://",   "ipps://",
                                          "http://",   "https://", "dnssd://", "smb://"};
    for (const char *prefix : network)
        if (startsWith(uri, prefix)) return "URI=%s:使用WiFi传输";
    return "URI=%s:其他传输方式";
}

int rastertozorvan_main(int argc, char **argv) {
#if defined(__GLIBC__)
    // Every page allocates and frees the same few large blocks (page buffer,
    // bitmap, output). Keeping freed memory in the heap instead of returning it
    // to the kernel after each page saves the page faults of mapping it again:
    // about a tenth of the run time of a multi-page label job.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
    PrinterSettings settings{};
    installCancelHandler();
    loadJobMemoryBudget();
    if (argc > 1) setDebugLogJobId(parseLeadingInt32(argv[1]));

    if (const char *uri = cupsBackendDeviceURI(argv)) {
        writeLogString(transportLogFormat(uri), uri);
    } else {
        writeLogString("ERROR: Unable to get device URI");
    }

    writeLogString("Enter main");
    for (int i = 0; i < argc; ++i) writeLogString("argv[%d]:%s", i, argv[i]);
    writeLogString("Begin main");

    if (argc != 6 && argc != 7) {
        writeLogString("Input param is not enough");
        std::fputs("ERROR: rastertozorvan job-id user title copies options [file]\n", stderr);
        return 1;
    }

    cups_file_t *input = argc == 6 ? cupsFileStdin() : cupsFileOpen(argv[6], "r");
    if (input == nullptr) std::fprintf(stderr, "ERROR: Unable to open raster file \"%s\"\n", argv[6]);

    cups_option_t *options = nullptr;
    int optionCount = cupsParseOptions(argv[5], 0, &options);
    set_pstops_options(&settings, argv, optionCount, options);
    cupsFreeOptions(optionCount, options);

    int status = 1;  // a raster file that cannot be opened prints nothing
    if (input != nullptr) {
        writeLogString("cups_file is not null");
        status = print_bitmap(&settings, input);
        cupsFileClose(input);
    }

    writeLogString("Exit main");
    closeDebugLog();
    return status;
}
