// Memory budget of a job: what a page will cost at its peak, estimated from
// its header before anything of it is allocated.
//
// The raster page is only the start: the pipeline print modes copy it into
// image planes and float work planes, the two-colour printer splits it into
// two planes that each go through the pipeline, and the protocol models scale
// it onto their own page, which for a narrow source is many times the page
// that arrived. The page loop refuses a page whose estimate is over the
// budget with "ERROR: Page N ..." and goes on with the next page, so no
// single job can take the machine's memory or hours of its time.
#ifndef ZV_FILTER_PAGE_BUDGET_H
#define ZV_FILTER_PAGE_BUDGET_H

#include <cstdint>

// Default budget of a job: 1 GiB at its peak, the filter's own code and
// libraries included.
inline constexpr uint64_t kDefaultJobMemoryBudget = 1ull << 30;

// What the estimate of a page depends on.
struct PageCostQuery {
    int32_t deviceType = 0;    // the job's printer (getDeviceType)
    int printMode = 0;         // after print mode 5 is resolved for the printer
    int32_t photoEffect = 0;   // protocol printers: 0 none
    int bytesPerPixel = 1;     // of the page buffer: 1 gray, 3 RGB, 4 RGBA
    uint64_t bufferBytes = 0;  // the page buffer, pitch x rows
    uint64_t width = 0;        // pixels handed to the encoder (after the width clip)
    uint64_t rows = 0;
};

// Peak bytes the filter process will hold while it prints the page, an upper
// estimate (about one and a half times what the benchmark bench/page_memory.py
// measures for the heaviest route of each printer language and print mode).
// Saturates at UINT64_MAX instead of wrapping.
uint64_t estimatePagePeakBytes(const PageCostQuery &query);

// The budget in force: kDefaultJobMemoryBudget, or what
// loadJobMemoryBudget found in the environment, or what was set.
uint64_t getJobMemoryBudget();
void setJobMemoryBudget(uint64_t bytes);

// Reads ZORVAN_MEMORY_BUDGET, a number of MiB (at least 16). Unset leaves the
// default; a value that is not such a number keeps the default with a
// "WARNING:" line.
void loadJobMemoryBudget();

#endif
