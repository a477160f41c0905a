#include "filter/page_loop.h"

#include <cups/raster.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/debug_log.h"
#include "core/dynamic_array.h"
#include "filter/page_budget.h"
#include "filter/supersample.h"
#include "page/page_encode.h"
#include "page/settings_table.h"
#include "protocol/protocol_state.h"
#include "protocol_print/protocol_print.h"

namespace {

using ArrayPtr = DynamicArrayPtr;

struct RasterCloser {
    void operator()(cups_raster_t *raster) const { cupsRasterClose(raster); }
};

// The colour space as the stream states it. The header field is an enum, and a
// hostile stream can hold any 32-bit number there: copy the bits out instead of
// loading the field as an enum, which is undefined for numbers outside it.
unsigned rawColorSpace(const cups_page_header2_t &header) {
    uint32_t value;
    static_assert(sizeof header.cupsColorSpace == sizeof value, "cups_cspace_t is 32 bits wide");
    std::memcpy(&value, &header.cupsColorSpace, sizeof value);
    return value;
}

int bytesPerPixelFor(unsigned colorSpace) {
    switch (colorSpace) {
        case CUPS_CSPACE_RGB:
            return 3;
        case CUPS_CSPACE_RGBA:
            return 4;
        default:
            return 1;
    }
}

void logColorSpace(unsigned colorSpace) {
    switch (colorSpace) {
        case CUPS_CSPACE_W:
            writeLogString("colorSpace = %d,CUPS_CSPACE_W", colorSpace);
            break;
        case CUPS_CSPACE_RGB:
            writeLogString("colorSpace = %d,CUPS_CSPACE_RGB", colorSpace);
            break;
        case CUPS_CSPACE_RGBA:
            writeLogString("colorSpace = %d,CUPS_CSPACE_RGBA", colorSpace);
            break;
        default:
            writeLogString("colorSpace = %d", colorSpace);
            break;
    }
}

// Reads and throws away the pixel data of a page that is not printed, so the
// next header is found where it belongs.
void discardPage(cups_raster_t *raster, uint64_t bytes) {
    std::vector<unsigned char> scratch(64 * 1024);
    while (bytes > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<uint64_t>(bytes, scratch.size()));
        if (cupsRasterReadPixels(raster, scratch.data(), chunk) == 0) return;
        bytes -= chunk;
    }
}

// Resolution of the millimetre sizes: the PPD's, else the raster's, else 203
// (said once per job in the log).
int32_t millimetreResolution(const PrinterSettings *settings, const cups_page_header2_t &header, bool *logged) {
    if (settings->resolution > 0) return settings->resolution;
    int32_t dpi = static_cast<int32_t>(header.HWResolution[0]);
    const char *source = "the raster header";
    if (dpi <= 0) {
        dpi = 203;
        source = "the default";
    }
    if (!*logged) {
        writeLogString("no DefaultResolution in the PPD: using %d dpi from %s for the page size", dpi, source);
        *logged = true;
    }
    return dpi;
}

// Problems with the raster format are told to CUPS once per job, not per page.
struct JobWarnings {
    bool colorSpace = false;
    bool bitsPerColor = false;
};

void warnAboutFormat(const cups_page_header2_t &header, int pageNumber, JobWarnings *warnings) {
    if (header.cupsBitsPerColor != 8 && !warnings->bitsPerColor) {
        warnings->bitsPerColor = true;
        std::fprintf(stderr,
                     "WARNING: Page %d has %u bits per colour; this printer needs 8-bit raster, the page will not "
                     "print as intended (check the PPD)\n",
                     pageNumber, header.cupsBitsPerColor);
    }
}

// The colour space the printer family reads: logged on every page that has
// another one, told to CUPS once per job.
void checkColorSpace(const cups_page_header2_t &header, JobWarnings *warnings) {
    const int32_t deviceType = getDeviceType();
    const unsigned colorSpace = rawColorSpace(header);
    const bool gray = colorSpace == CUPS_CSPACE_W;
    const bool rgba = colorSpace == CUPS_CSPACE_RGBA;
    const char *expected = nullptr;
    if (isZVProtocolPrinter(deviceType) || isNormalPrinter(deviceType)) {
        if (!gray) {
            writeLogString("不是灰度图片？ PPD被篡改？");
            expected = "8-bit gray";
        }
    } else if (!rgba) {
        writeLogString("不是RGBA图片？ PPD被篡改？");
        // 8-bit RGB is what the two-colour PPD asks for (ghostscript's RGBA
        // has its bytes out of order) and is widened to opaque RGBA below.
        if (deviceType == kDeviceTwoColorTSPL && colorSpace != CUPS_CSPACE_RGB) expected = "8-bit RGB or RGBA";
    }
    if (expected != nullptr && !warnings->colorSpace) {
        warnings->colorSpace = true;
        std::fprintf(stderr,
                     "WARNING: The raster has colour space %u but this printer expects %s raster (check the PPD)\n",
                     colorSpace, expected);
    }
}

// What a page header asks of the page buffer.
struct PageGeometry {
    unsigned colorSpace = 0;
    int bytesPerPixel = 1;
    uint64_t bytesPerLine = 0;  // of every raster row
    uint64_t rows = 0;
    // Bytes of one buffer row: a whole number of packed bytes of pixels, and
    // never less than the bytes a raster row stores into it.
    uint64_t pitch = 0;
};

// Header checks: the geometry of the page, or false (with an "ERROR:" line)
// for a page the loop must skip. The geometry is filled in either case, so a
// skipped page can be read past.
bool checkPageHeader(const cups_page_header2_t &header, int pageNumber, PageGeometry *geometry) {
    geometry->colorSpace = rawColorSpace(header);
    geometry->bytesPerPixel = bytesPerPixelFor(geometry->colorSpace);
    geometry->bytesPerLine = header.cupsBytesPerLine;
    geometry->rows = header.cupsHeight;
    // Pixels per row rounded up: a row whose byte count is not a whole
    // number of pixels keeps its last partial pixel, and the pitch is never
    // shorter than the bytes each row read stores into it.
    const uint64_t pixelsPerRow = (geometry->bytesPerLine + geometry->bytesPerPixel - 1) / geometry->bytesPerPixel;
    const uint64_t widthBytes = (pixelsPerRow + 7) / 8;
    geometry->pitch = widthBytes * 8 * geometry->bytesPerPixel;

    // A header from an untrusted job may describe a page no label needs;
    // refuse it before any arithmetic on it could overflow.
    const uint64_t maxPageBytes = getMaxPageBufferBytes();
    if (geometry->pitch != 0 && geometry->rows <= maxPageBytes / geometry->pitch) return true;
    std::fprintf(stderr,
                 "ERROR: Page %d: the raster header describes %llu rows of %llu bytes, more than the %llu MiB "
                 "a page may use; page skipped\n",
                 pageNumber, static_cast<unsigned long long>(geometry->rows),
                 static_cast<unsigned long long>(geometry->bytesPerLine),
                 static_cast<unsigned long long>(maxPageBytes >> 20));
    writeLogString("page %d skipped: %llu x %llu bytes", pageNumber, static_cast<unsigned long long>(geometry->rows),
                   static_cast<unsigned long long>(geometry->bytesPerLine));
    return false;
}

// Buffer: the page white, then every raster row at the start of its buffer
// row; rows a short stream does not hold stay white. False when the buffer
// cannot be allocated.
bool readPageBuffer(cups_raster_t *raster, const PageGeometry &geometry, int pageNumber,
                    std::vector<unsigned char> *page) {
    try {
        // A bigger page replaces the buffer (freeing the old one first, so
        // two pages are never held); an equal or smaller one reuses it.
        const size_t pageBytes = static_cast<size_t>(geometry.pitch * geometry.rows);
        if (pageBytes > page->capacity()) std::vector<unsigned char>().swap(*page);
        page->assign(pageBytes, 0xFF);
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (uint64_t row = 0; row < geometry.rows; ++row) {
        if (cupsRasterReadPixels(raster, page->data() + row * geometry.pitch,
                                 static_cast<unsigned>(geometry.bytesPerLine)) == 0) {
            writeLogString("short raster: %llu of %llu rows read", static_cast<unsigned long long>(row),
                           static_cast<unsigned long long>(geometry.rows));
            std::fprintf(stderr, "WARNING: page %d was cut short\n", pageNumber);
            break;
        }
    }
    return true;
}

// The page's cost in the job's printer language and print mode against the
// job's budget, before the page buffer is allocated. False, with an
// "ERROR: Page N ..." line, for a page that would take more.
// A page rendered at `factor` times the printer's resolution holds its whole
// buffer while it prints (it is reduced in place), but the encoders only see
// the reduced page.
bool pageFitsBudget(const PageGeometry &geometry, const PrinterSettings *settings, int pageNumber, int factor) {
    PageCostQuery query;
    query.deviceType = getDeviceType();
    query.printMode = resolvedPrintMode(settings->printMode, query.deviceType);
    query.photoEffect = settings->photoEffect;
    query.bytesPerPixel = geometry.bytesPerPixel;
    query.bufferBytes = geometry.pitch * geometry.rows;
    const uint64_t f = static_cast<uint64_t>(factor);
    query.width = (geometry.pitch / geometry.bytesPerPixel + f - 1) / f;
    query.rows = (geometry.rows + f - 1) / f;
    const long maxPix = maxPrintWidthPixels(settings);
    if (!isZVProtocolPrinter(query.deviceType) && maxPix > 0 && static_cast<uint64_t>(maxPix) < query.width)
        query.width = static_cast<uint64_t>(maxPix);

    const uint64_t estimate = estimatePagePeakBytes(query);
    const uint64_t budget = getJobMemoryBudget();
    if (estimate <= budget) return true;
    const unsigned long long estimateMiB = (estimate >> 20) + ((estimate & ((1u << 20) - 1)) != 0 ? 1 : 0);
    std::fprintf(stderr,
                 "ERROR: Page %d would need about %llu MiB of memory to print (%llu x %llu dots in print mode %d), "
                 "more than the %llu MiB a job may use; page skipped\n",
                 pageNumber, estimateMiB, static_cast<unsigned long long>(query.width),
                 static_cast<unsigned long long>(query.rows), query.printMode,
                 static_cast<unsigned long long>(budget >> 20));
    writeLogString("page %d skipped: estimated %llu MiB over the budget of %llu MiB", pageNumber, estimateMiB,
                   static_cast<unsigned long long>(budget >> 20));
    return false;
}

// The multiple of the printer's resolution the page was rendered at (1 for
// native rendering), told to the log when it is first seen and whenever it
// changes; 0, with an "ERROR:" line, for a resolution the page cannot be
// reduced from: printed as it is, it would come out the wrong size.
int pageSupersampleFactor(const cups_page_header2_t &header, const PrinterSettings *settings, int pageNumber,
                          int *loggedFactor) {
    const int factor = supersampleFactor(header.HWResolution[0], header.HWResolution[1], settings->resolution);
    if (factor == 0) {
        std::fprintf(stderr,
                     "ERROR: Page %d was rendered at %ux%u dpi, which is neither the printer's %d dpi nor 2 or 3 "
                     "times it; page skipped\n",
                     pageNumber, header.HWResolution[0], header.HWResolution[1], settings->resolution);
        writeLogString("page %d skipped: raster at %ux%u dpi, printer %d dpi", pageNumber, header.HWResolution[0],
                       header.HWResolution[1], settings->resolution);
        return 0;
    }
    if (factor != *loggedFactor) {
        *loggedFactor = factor;
        if (factor == 1) {
            writeLogString("rendering: native, %u dpi", header.HWResolution[0]);
        } else {
            writeLogString("rendering: supersampled %dx (%u dpi), reduced to %d dpi", factor, header.HWResolution[0],
                           settings->resolution);
            std::fprintf(stderr,
                         "DEBUG: Page %d rendered at %d x the printer's resolution (%u dpi), reduced to %d dpi\n",
                         pageNumber, factor, header.HWResolution[0], settings->resolution);
        }
    }
    return factor;
}

// A supersampled page reduced to the printer's dots; from here on the page,
// its geometry and its header describe the native page.
void reducePage(std::vector<unsigned char> *page, PageGeometry *geometry, cups_page_header2_t *header, int factor) {
    PageLayout layout;
    layout.bytesPerPixel = geometry->bytesPerPixel;
    layout.pixels = geometry->pitch / static_cast<uint64_t>(geometry->bytesPerPixel);
    layout.rows = geometry->rows;
    layout.pitch = geometry->pitch;
    // Only the raster's own pixels take part: the padding to whole bytes is
    // added again at the reduced width.
    layout.pixels = std::min<uint64_t>(layout.pixels, header->cupsWidth > 0 ? header->cupsWidth : layout.pixels);
    const PageLayout reduced = reduceSupersampledPage(page, layout, factor);
    geometry->pitch = reduced.pitch;
    geometry->rows = reduced.rows;
    geometry->bytesPerLine = reduced.pixels * static_cast<uint64_t>(reduced.bytesPerPixel);
    header->cupsWidth = static_cast<unsigned>(reduced.pixels);
    header->cupsHeight = static_cast<unsigned>(reduced.rows);
    header->cupsBytesPerLine = static_cast<unsigned>(geometry->bytesPerLine);
    header->HWResolution[0] /= static_cast<unsigned>(factor);
    header->HWResolution[1] /= static_cast<unsigned>(factor);
    writeLogString("reduced %dx: %llu x %llu dots", factor, static_cast<unsigned long long>(reduced.pixels),
                   static_cast<unsigned long long>(reduced.rows));
}

// False when the output could not be written.
bool writeArray(dynamic_array *array) {
    return array == nullptr || array->data == nullptr || writePrinterData(array->data, array->size);
}

uint64_t gMaxPageBufferBytes = kMaxPageBufferBytes;

// Set by SIGTERM, the way CUPS cancels a job. Read between pages only: the
// page being written is always finished, so the printer never waits inside a
// half-sent command.
volatile std::sig_atomic_t gCancelRequested = 0;

void onTerminate(int) { gCancelRequested = 1; }

}  // namespace

uint64_t getMaxPageBufferBytes() { return gMaxPageBufferBytes; }
void setMaxPageBufferBytes(uint64_t bytes) { gMaxPageBufferBytes = bytes; }

void installCancelHandler() {
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a read or write the signal interrupts goes on, so the
    // page in progress is written whole.
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    // A closed pipe is a write error to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
}

bool jobCancelRequested() { return gCancelRequested != 0; }
void resetJobCancel() { gCancelRequested = 0; }

bool writePrinterData(const uint8_t *bytes, uint64_t count) {
    while (count > 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, 1u << 30));
        ssize_t written = ::write(STDOUT_FILENO, bytes, chunk);
        if (written < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "ERROR: Unable to write printer data: %s\n", std::strerror(errno));
            writeLogString("write to the printer failed: %s", std::strerror(errno));
            return false;
        }
        bytes += written;
        count -= static_cast<uint64_t>(written);
    }
    return true;
}

bool setupJobStart(PrinterSettings *settings) {
    setODMType(getPpdOdmType());
    ArrayPtr prologue(buildJobPrologue(settings));
    return writeArray(prologue.get());
}

bool setupJobEnd(PrinterSettings *settings) {
    ArrayPtr epilogue(buildJobEpilogue(settings));
    return writeArray(epilogue.get());
}

int print_bitmap(PrinterSettings *settings, cups_file_t *input) {
    return print_bitmap_fd(settings, cupsFileNumber(input));
}

int print_bitmap_fd(PrinterSettings *settings, int fd) {
    std::unique_ptr<cups_raster_t, RasterCloser> raster(cupsRasterOpen(fd, CUPS_RASTER_READ));
    if (raster == nullptr) writeLogString("input is not a CUPS raster stream");
    int pageCount = 0;
    int pagesSent = 0;
    bool resolutionLogged = false;
    int loggedFactor = 0;
    JobWarnings warnings;

    const int32_t jobDeviceType = getDeviceType();
    if (!isZVProtocolPrinter(jobDeviceType) && !isNormalPrinter(jobDeviceType) && jobDeviceType != kDeviceTwoColorTSPL)
        std::fprintf(stderr,
                     "ERROR: The PPD selects printer type %d, which this filter does not know; nothing will be sent "
                     "to the printer\n",
                     jobDeviceType);

    if (!setupJobStart(settings)) return 1;
    // An encrypting protocol printer without its key takes nothing: the job
    // ends before a page is read.
    if (isZVProtocolPrinter(jobDeviceType) && !zvProtocolJobCanPrint()) return 1;
    // The offsets as the job chose them; each page keeps them on itself.
    const PrinterSettings jobSettings = *settings;
    zvsettings::OffsetWarnings offsetWarnings;

    cups_page_header2_t header;
    // The page buffer lives across pages: labels of one job have the same size,
    // and reusing the memory spares the kernel zeroing it again for every page.
    std::vector<unsigned char> page;
    while (raster != nullptr && !jobCancelRequested() && cupsRasterReadHeader2(raster.get(), &header)) {
        if (header.cupsHeight == 0 || header.cupsBytesPerLine == 0) break;
        ++pageCount;

        PageGeometry geometry;
        if (!checkPageHeader(header, pageCount, &geometry)) {
            discardPage(raster.get(), geometry.bytesPerLine * geometry.rows);
            continue;
        }
        const int factor = pageSupersampleFactor(header, settings, pageCount, &loggedFactor);
        if (factor == 0 || !pageFitsBudget(geometry, settings, pageCount, factor)) {
            discardPage(raster.get(), geometry.bytesPerLine * geometry.rows);
            continue;
        }

        logColorSpace(geometry.colorSpace);
        warnAboutFormat(header, pageCount, &warnings);
        writeLogString("1、header.cupsWidth = %d, header.cupsBytesPerLine = %d,header.cupsHeight = %d",
                       header.cupsWidth, header.cupsBytesPerLine, header.cupsHeight);

        if (!readPageBuffer(raster.get(), geometry, pageCount, &page)) {
            std::fputs("ERROR: Unable to allocate memory\n", stderr);
            break;
        }
        if (factor > 1) reducePage(&page, &geometry, &header, factor);
        writeLogString("maxWidth_mm = %d", settings->maxWidthMM);
        writeLogString("2、bytesPerLine = %d,header.cupsHeight = %d", static_cast<int>(geometry.pitch),
                       header.cupsHeight);

        applyPageSettings(settings);
        long width = static_cast<long>(geometry.pitch / geometry.bytesPerPixel);
        const long height = static_cast<long>(geometry.rows);
        clipPageWidth(page.data(), &width, height, settings, geometry.bytesPerPixel);
        setPageSizes(settings, width, height, millimetreResolution(settings, header, &resolutionLogged));
        zvsettings::fitOffsetsToPage(jobSettings, settings, width, height, &offsetWarnings);

        checkColorSpace(header, &warnings);
        PageSource source;
        source.colorSpace = geometry.colorSpace;
        source.bytesPerPixel = geometry.bytesPerPixel;
        source.bytesPerLine = static_cast<long>(header.cupsBytesPerLine);
        source.pictureWidth = static_cast<long>(header.cupsWidth);
        ArrayPtr output(encodePage(page.data(), width, height, source, settings));
        // A page encoded while the job was being cancelled is not sent: nothing
        // of it has reached the printer yet.
        if (jobCancelRequested()) break;
        if (output == nullptr && isZVProtocolPrinter(getDeviceType()))
            std::fprintf(stderr, "ERROR: Page %d was not printed\n", pageCount);
        if (output == nullptr || output->size == 0) continue;
        if (!writeArray(output.get())) return 1;
        output.reset();
        ++pagesSent;
        // Only pages that reached the printer are counted.
        std::fprintf(stderr, "PAGE: %d %d\n", pageCount, static_cast<int>(header.NumCopies));
        std::fflush(stderr);
    }

    if (jobCancelRequested()) {
        writeLogString("job cancelled (SIGTERM) after %d pages sent", pagesSent);
        std::fprintf(stderr, "INFO: Job cancelled after %d page(s); no further page is sent\n", pagesSent);
    }
    if (!setupJobEnd(settings)) return 1;
    if (jobCancelRequested()) return 0;
    if (pagesSent == 0) {
        std::fputs("ERROR: No pages were found.\n", stderr);
        return 1;
    }
    return 0;
}
