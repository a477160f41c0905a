// Pages rendered at a whole multiple of the printer's resolution, reduced to
// the printer's dots before anything else looks at them.
//
// Ghostscript (gstoraster) renders without anti-aliasing and fills every dot a
// shape touches, so at the printer's own resolution every bar of a barcode
// grows by about a dot. Rendered at two or three times the resolution and
// reduced block by block, each dot takes the ink that really covers it: a dot
// prints only when more than half of it is inked, so a bar keeps its width.
#ifndef ZV_FILTER_SUPERSAMPLE_H
#define ZV_FILTER_SUPERSAMPLE_H

#include <cstdint>
#include <vector>

// The multiples of the printer's resolution a page may be rendered at.
inline constexpr int kMaxSupersampleFactor = 3;

// How many times the printer's resolution the raster header's resolution is:
// 1 for the printer's own (or when either is not known, 0 dpi), 2 or 3 for a
// supported multiple in both directions, 0 for anything else.
int supersampleFactor(unsigned headerXDpi, unsigned headerYDpi, int32_t nativeDpi);

// The layout of a page buffer: `rows` rows of `pitch` bytes, of which the
// first `pixels` pixels of `bytesPerPixel` bytes hold the picture (the rest of
// each row is white padding).
struct PageLayout {
    int bytesPerPixel = 1;
    uint64_t pixels = 0;
    uint64_t rows = 0;
    uint64_t pitch = 0;
};

// Reduces each `factor` x `factor` block of the page to one pixel, in place,
// and returns the reduced layout: ceil(pixels / factor) pixels by
// ceil(rows / factor) rows (a block the page does not fill is white paper
// where it is missing), the pitch again a whole number of packed bytes.
//
// A block whose samples are all pure (every channel 0 or 255, as gstoraster
// renders text and barcodes) becomes its most frequent inked colour when more
// than half of its samples are inked, and white paper otherwise: an exactly
// half-covered dot stays white. Any other block (photographs, anti-aliased
// art) becomes the rounded average of its samples, so its tone survives.
PageLayout reduceSupersampledPage(std::vector<unsigned char> *page, const PageLayout &layout, int factor);

#endif
