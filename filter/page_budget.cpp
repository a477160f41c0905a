#include "filter/page_budget.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/printer_settings.h"
#include "protocol_print/model_scaling.h"

namespace {

uint64_t gJobMemoryBudget = kDefaultJobMemoryBudget;

// Costs in sixteenths of a byte per pixel, so the table stays in integers.
// Figures measured with bench/page_memory.py (peak resident size of whole
// runs against page height; the growth per pixel beyond the page buffer),
// each rounded up to about one and a half times the heaviest measurement.
constexpr uint64_t k16 = 16;
// The process with its libraries, the raster reader and small buffers.
constexpr uint64_t kProcessBytes = 32ull << 20;
// Single-colour languages, thresholds and ordered dithers (modes 0 to 5):
// the packed bitmap, the compressed or hex-coded output and its bands.
// Measured up to 0.2 byte a pixel.
constexpr uint64_t kLanguageThreshold = 1 * k16;
// The same languages through the image pipeline (every mode above 5): the
// image's gray copy, the bands, the float work plane of the error diffusion
// and the packed plane. Measured up to 5.2 bytes a pixel (mode 7).
constexpr uint64_t kLanguagePipeline = 8 * k16;
// Two-colour TSPL: the two colour planes, their packed blocks and the output
// (measured 2.2 bytes a pixel); a page in another colour space is first
// widened to RGBA (4 bytes a pixel); each plane through the image pipeline
// adds its run of it (measured up to 8.3 bytes a pixel, mode 8).
constexpr uint64_t kTwoColorPlanes = 4 * k16;
constexpr uint64_t kTwoColorWidening = 4 * k16;
constexpr uint64_t kTwoColorPipeline = 12 * k16;
// Protocol models, per pixel of the model's page (not of the raster page):
// the scaled image and the white page, the padded copy, the image record's
// planes, the processing route and the Huffman-coded packets. Measured up to
// 5.5 bytes a pixel for most routes (the small-label photo chain the
// heaviest), and 14.6 for the soft, dark preset on a photo.
constexpr uint64_t kProtocolPage = 20 * k16;
// A photo effect runs on the raster page before it is scaled, on planes of
// its own (measured 7.1 bytes a pixel of the raster page).
constexpr uint64_t kPhotoEffect = 11 * k16;

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

uint64_t saturatingMul(uint64_t a, uint64_t b) {
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) return std::numeric_limits<uint64_t>::max();
    return a * b;
}

// `pixels` at `sixteenths` of a byte each; saturated stays saturated.
uint64_t pixelCost(uint64_t pixels, uint64_t sixteenths) {
    const uint64_t product = saturatingMul(pixels, sixteenths);
    return product == std::numeric_limits<uint64_t>::max() ? product : product / k16;
}

// Print modes above 5 run the image pipeline; the packer compares the mode as
// an unsigned number, so a negative one does too.
bool pipelineMode(int printMode) { return static_cast<unsigned>(printMode) > 5; }

uint64_t encoderCost(const PageCostQuery &q) {
    const uint64_t pixels = saturatingMul(q.width, q.rows);
    if (isZVProtocolPrinter(q.deviceType)) {
        uint64_t cost = q.photoEffect != 0 ? pixelCost(pixels, kPhotoEffect) : 0;
        uint32_t pageW = 0;
        uint32_t pageH = 0;
        const bool fits = q.width <= UINT32_MAX && q.rows <= UINT32_MAX;
        if (fits && zvModelPageSize(q.deviceType, static_cast<uint32_t>(q.width), static_cast<uint32_t>(q.rows), &pageW,
                                    &pageH)) {
            // The page is padded to whole bytes before it is converted.
            const uint64_t modelPixels = (static_cast<uint64_t>(pageW) + 7) / 8 * 8 * pageH;
            cost = saturatingAdd(cost, pixelCost(modelPixels, kProtocolPage));
        } else if (!fits) {
            return std::numeric_limits<uint64_t>::max();
        }
        return cost;
    }
    if (isNormalPrinter(q.deviceType))
        return pixelCost(pixels, pipelineMode(q.printMode) ? kLanguagePipeline : kLanguageThreshold);
    if (q.deviceType == kDeviceTwoColorTSPL) {
        uint64_t perPixel = kTwoColorPlanes;
        if (q.bytesPerPixel != 4) perPixel += kTwoColorWidening;
        if (pipelineMode(q.printMode)) perPixel += kTwoColorPipeline;
        return pixelCost(pixels, perPixel);
    }
    return 0;  // nothing is encoded for a printer the filter does not know
}

}  // namespace

uint64_t estimatePagePeakBytes(const PageCostQuery &query) {
    return saturatingAdd(saturatingAdd(kProcessBytes, query.bufferBytes), encoderCost(query));
}

uint64_t getJobMemoryBudget() { return gJobMemoryBudget; }
void setJobMemoryBudget(uint64_t bytes) { gJobMemoryBudget = bytes; }

void loadJobMemoryBudget() {
    const char *text = std::getenv("ZORVAN_MEMORY_BUDGET");
    if (text == nullptr) return;
    char *end = nullptr;
    const unsigned long long mib = std::strtoull(text, &end, 10);
    // At least the process itself; at most what 64 bits of bytes can hold.
    if (end == text || *end != '\0' || text[0] == '-' || mib < 16 ||
        mib > (std::numeric_limits<uint64_t>::max() >> 20)) {
        std::fprintf(stderr,
                     "WARNING: ZORVAN_MEMORY_BUDGET=\"%s\" is not a number of MiB (16 or more); the budget stays "
                     "%llu MiB\n",
                     text, static_cast<unsigned long long>(gJobMemoryBudget >> 20));
        return;
    }
    gJobMemoryBudget = static_cast<uint64_t>(mib) << 20;
}
