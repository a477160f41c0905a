#include "protocol_print/model_scaling.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/debug_log.h"
#include "imaging/cubic_zoom.h"

// The printers' output is pinned byte for byte: every conversion between
// single and double precision below is deliberate; keep the order of
// operations when touching them.

namespace {

constexpr const char *kSmallPageWarning = "WARNING: page smaller than the printable margins";

// Vertical factors that make up for each model's paper feed.
constexpr float kL40Factor = 0.98841137f;
constexpr float kL40SFactor = 0.9754902f;
constexpr float kL10TattooFactor = 1.0142857f;
constexpr float kL20Factor = 1.0144928f;

constexpr uint32_t kTopMargin = 24;
// 10 mm at 203 dpi, twice, summed in single precision.
constexpr uint32_t kL40BottomMargin = static_cast<uint32_t>(79.92126f + 79.92126f);
// Height reduction of the L40A page, summed in single precision.
constexpr uint32_t kL40AReduction = static_cast<uint32_t>(120.0f + 120.0f);
// 6 mm at 203 dpi.
constexpr double kL20SideMargin = 47.952755905511815;
constexpr uint32_t kL20Top = static_cast<uint32_t>(kL20Factor * 24.0f);
// Tattoo tops: 15 mm and 28 mm at 203 dpi, scaled by the model's factor.
constexpr uint32_t kL40STattooTop = static_cast<uint32_t>(static_cast<double>(kL40SFactor) * 119.88188976377954);
constexpr uint32_t kL10TattooTop = static_cast<uint32_t>(static_cast<double>(kL10TattooFactor) * 223.77952755905514);
constexpr uint32_t kM10Top = 119;
// (25 + 5) mm and (7 + 7) mm at 203 dpi.
constexpr double kM10HeightMargin = (25 + 5) * 203 / 25.4;
constexpr double kM10SideMargins = (7 + 7) * 203.0 / 25.4;

static_assert(kL40BottomMargin == 159 && kL40AReduction == 240 && kL20Top == 24, "margin constants");
static_assert(kL40STattooTop == 116 && kL10TattooTop == 226, "tattoo tops");

// Truncation toward zero into an unsigned 32-bit size; values below 0 give 0
// and values beyond the type give its maximum instead of undefined behaviour.
uint32_t truncU32(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

// Signed truncation for differences that may go below zero.
int64_t truncI64(double value) {
    if (!(value > -9.0e18)) return INT64_MIN / 2;
    if (value >= 9.0e18) return INT64_MAX / 2;
    return static_cast<int64_t>(value);
}

uint32_t saturateU32(int64_t value) {
    if (value < 0) return 0;
    if (value > static_cast<int64_t>(UINT32_MAX)) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

// Geometry of one model page; the image's top-left corner is given before
// any mirroring.
struct PageLayout {
    uint32_t pageW = 0;
    uint32_t pageH = 0;
    uint32_t imgW = 0;
    uint32_t imgH = 0;
    uint32_t firstRow = 0;
    bool mirrored = false;
    bool clamped = false;  // the source was smaller than the model's margins
};

// Lower bound for a size that a margin would otherwise take below `least`;
// notes the clamp so that the page carries a warning.
uint32_t atLeast(int64_t value, int64_t least, PageLayout &layout) {
    if (value < least) {
        layout.clamped = true;
        return static_cast<uint32_t>(least);
    }
    return saturateU32(value);
}

// Image size inside a boxW x boxH box with the source's aspect ratio.
void fitToBox(uint32_t srcW, uint32_t srcH, uint32_t boxW, uint32_t boxH, PageLayout &layout) {
    const float widthForBoxH =
        static_cast<float>(static_cast<double>(srcW) / static_cast<double>(srcH) * static_cast<double>(boxH));
    if (static_cast<float>(boxW) > widthForBoxH) {
        layout.imgH = boxH;
        layout.imgW = truncU32(widthForBoxH);
    } else {
        layout.imgW = boxW;
        layout.imgH = truncU32(static_cast<double>(srcH) / static_cast<double>(srcW) * static_cast<double>(boxW));
    }
    // An extreme aspect ratio may round one side to nothing; keep one dot.
    layout.imgW = std::max<uint32_t>(layout.imgW, 1);
    layout.imgH = std::max<uint32_t>(layout.imgH, 1);
}

// Centres the image vertically in the space below the top margin.
uint32_t centredRow(uint32_t top, const PageLayout &layout) {
    const int64_t spare = static_cast<int64_t>(layout.pageH) - top - layout.imgH;
    return top + static_cast<uint32_t>(spare > 0 ? spare / 2 : 0);
}

// Printable width of the millimetre-based models (M10, L40S tattoo left).
uint32_t millimetreBoxWidth(uint32_t w, PageLayout &layout) {
    int64_t widthMM = truncI64(static_cast<double>(w) * 25.4 / 203.0);
    widthMM -= 5;
    if (widthMM > 208) widthMM = 208;
    widthMM = widthMM - 7 - 7;
    if (widthMM < 1) {
        layout.clamped = true;
        return 1;
    }
    const uint32_t dots = static_cast<uint32_t>(widthMM) * 203;
    return atLeast(truncU32(static_cast<double>(dots) / 25.4), 1, layout);
}

// How a model's page and image box follow from the source size.
enum class Rule {
    WholeSource,      // the source page, narrowed to `width`; the image fills it below `top`, no fit
    FeedFactor,       // a `width`-dot head; the height less its margins, times the feed factor
    Dpi300Height,     // a `width`-dot head at 12 dots/mm; the height arrives in 300-dpi dots
    SideMargins,      // the width less 79 dots (10 mm) up to `width`; the whole height below `top`
    SideMarginsFeed,  // the width less 6 mm up to `width`; the height times the feed factor
    Tattoo,           // the feed factor once on the page height, twice on the image box, `width` the widest image
    MillimetreBox,    // width in whole millimetres; the page as wide as the box plus the side margins
    MillimetreImage,  // width in whole millimetres; the page as wide as the image plus the side margins
};

struct ModelLayout {
    const char *name;
    Rule rule;
    uint32_t width;  // head width, or the widest image
    uint32_t top;    // first page row the image may take
    float factor;    // vertical factor of the paper feed; 1 where there is none
    bool mirrored;   // every page row reversed
};

// The thirteen protocol models, indexed by their model number.
constexpr ModelLayout kModels[] = {
    {"LP40", Rule::WholeSource, 2592, kTopMargin, 1.0f, false},
    {"L40", Rule::FeedFactor, 1664, kTopMargin, kL40Factor, false},
    {"L50", Rule::WholeSource, 2592, kTopMargin, 1.0f, false},
    {"L40A", Rule::Dpi300Height, 2496, kTopMargin, 1.0f, false},
    {"L40S", Rule::Tattoo, 1550, kL40STattooTop, kL40SFactor, true},
    {"L50A", Rule::SideMargins, 1646, 0, 1.0f, false},
    {"L40S normal", Rule::FeedFactor, 1664, kTopMargin, kL40SFactor, false},
    {"L10", Rule::SideMargins, 1664, kTopMargin, 1.0f, false},
    {"L20", Rule::SideMarginsFeed, 1664, kL20Top, kL20Factor, false},
    {"L40_BU", Rule::FeedFactor, 1664, kTopMargin, kL40Factor, false},
    {"L10 tattoo XL", Rule::Tattoo, 1622, kL10TattooTop, kL10TattooFactor, true},
    {"M10", Rule::MillimetreImage, 0, kM10Top, 1.0f, true},
    {"L40S tattoo left", Rule::MillimetreBox, 0, kL40STattooTop, kL40SFactor, true},
};
constexpr int32_t kModelCount = static_cast<int32_t>(sizeof kModels / sizeof kModels[0]);
static_assert(kModelCount == 13, "one row per protocol model number");

// Page width of the tattoo models, whose image is narrower than the head.
constexpr uint32_t kTattooHeadWidth = 1664;

// Usable height of the millimetre-based models: the source less 30 mm.
uint32_t millimetreBoxHeight(uint32_t h, PageLayout &layout) {
    return atLeast(truncI64(static_cast<double>(h) - kM10HeightMargin), 1, layout);
}

PageLayout layoutFor(const ModelLayout &model, uint32_t w, uint32_t h) {
    PageLayout l;
    l.mirrored = model.mirrored;
    const uint32_t top = model.top;
    switch (model.rule) {
        case Rule::WholeSource: {
            int64_t pageW = w;
            int64_t pageH = h;
            if (w > model.width) {
                pageW = model.width;
                pageH = truncU32(static_cast<double>(h) / static_cast<double>(w) * static_cast<double>(model.width));
            }
            l.pageW = saturateU32(pageW);
            l.pageH = atLeast(pageH, top + 1, l);
            l.imgH = l.pageH - top;
            l.imgW = std::max<uint32_t>(
                truncU32(static_cast<double>(l.imgH) / static_cast<double>(l.pageH) * static_cast<double>(l.pageW)), 1);
            l.firstRow = top;
            return l;
        }
        case Rule::FeedFactor: {
            l.pageW = model.width;
            const uint32_t boxW = std::min<uint32_t>(w, model.width);
            const int64_t usable = atLeast(static_cast<int64_t>(h) - kL40BottomMargin - top - top, 1, l);
            const uint32_t boxH = atLeast(truncU32(static_cast<float>(usable) * model.factor), 1, l);
            l.pageH = saturateU32(static_cast<int64_t>(boxH) + top);
            fitToBox(w, h, boxW, boxH, l);
            l.firstRow = centredRow(top, l);
            return l;
        }
        case Rule::Dpi300Height: {
            l.pageW = model.width;
            const uint32_t boxW = std::min<uint32_t>(w, model.width);
            // 300-dpi dots to millimetres to the head's 12 dots per mm.
            const int64_t dots = truncI64(static_cast<double>(h) * 0.08466666666666667 * 12.0);
            l.pageH = atLeast(dots - kL40AReduction - top, top + 1, l);
            fitToBox(w, h, boxW, l.pageH - top, l);
            l.firstRow = centredRow(top, l);
            return l;
        }
        case Rule::SideMargins: {
            l.pageW = std::min<uint32_t>(atLeast(static_cast<int64_t>(w) - 79, 1, l), model.width);
            l.pageH = atLeast(h, top + 1, l);
            fitToBox(w, h, l.pageW, l.pageH - top, l);
            l.firstRow = centredRow(top, l);
            return l;
        }
        case Rule::SideMarginsFeed: {
            const int64_t width = truncI64(static_cast<double>(w) - kL20SideMargin);
            l.pageW = std::min<uint32_t>(atLeast(width, 1, l), model.width);
            const int64_t height = static_cast<int64_t>(truncU32(static_cast<float>(h) * model.factor)) - top;
            l.pageH = atLeast(height, top + 1, l);
            fitToBox(w, h, l.pageW, l.pageH - top, l);
            l.firstRow = centredRow(top, l);
            return l;
        }
        case Rule::Tattoo: {
            // The page height carries the factor once, the image box twice,
            // and the fitted image height once more.
            l.pageW = kTattooHeadWidth;
            const uint32_t boxW = std::min(w, model.width);
            const uint32_t scaledH = atLeast(truncU32(static_cast<float>(h) * model.factor), 1, l);
            const uint32_t boxH = atLeast(truncU32(static_cast<float>(scaledH) * model.factor), 1, l);
            l.pageH = saturateU32(static_cast<int64_t>(top) + scaledH);
            fitToBox(w, h, boxW, boxH, l);
            l.imgH = std::max<uint32_t>(truncU32(static_cast<float>(l.imgH) * model.factor), 1);
            l.firstRow = top;
            return l;
        }
        case Rule::MillimetreBox: {
            const uint32_t boxW = millimetreBoxWidth(w, l);
            const uint32_t usable = millimetreBoxHeight(h, l);
            const uint32_t boxH = atLeast(truncU32(static_cast<float>(usable) * model.factor), 1, l);
            l.pageW = truncU32(static_cast<double>(boxW) + kM10SideMargins);
            fitToBox(w, h, boxW, boxH, l);
            l.pageH = saturateU32(static_cast<int64_t>(top) + l.imgH);
            l.firstRow = top;
            return l;
        }
        case Rule::MillimetreImage: {
            const uint32_t boxW = millimetreBoxWidth(w, l);
            const uint32_t boxH = millimetreBoxHeight(h, l);
            fitToBox(w, h, boxW, boxH, l);
            l.pageW = truncU32(static_cast<double>(l.imgW) + kM10SideMargins);
            l.pageH = saturateU32(static_cast<int64_t>(top) + l.imgH);
            l.firstRow = top;
            return l;
        }
    }
    return l;
}

uint8_t *noPage(uint32_t *outW, uint32_t *outH) {
    if (outW != nullptr) *outW = 0;
    if (outH != nullptr) *outH = 0;
    return nullptr;
}

// Allocates the white page, scales the source into it and mirrors it when the
// model prints mirrored.
uint8_t *renderPage(const uint8_t *src, uint32_t srcW, uint32_t srcH, const PageLayout &layout, uint32_t *outW,
                    uint32_t *outH) {
    if (layout.clamped) {
        writeLogString("%s", kSmallPageWarning);
        std::fprintf(stderr, "%s\n", kSmallPageWarning);
    }
    const size_t pageW = layout.pageW;
    const size_t pageH = layout.pageH;
    auto *page = static_cast<uint8_t *>(std::malloc(pageW * pageH));
    uint8_t *image = page == nullptr ? nullptr : bitmapZoom(src, srcW, srcH, layout.imgW, layout.imgH);
    if (image == nullptr) {
        std::free(page);
        writeLogString("model page %ux%u: out of memory", layout.pageW, layout.pageH);
        std::fputs("ERROR: Unable to allocate memory\n", stderr);
        return noPage(outW, outH);
    }
    std::memset(page, 255, pageW * pageH);

    // Copy only what lies on the page, whatever rounding did to the sizes.
    const size_t imgW = layout.imgW;
    const size_t xOff = imgW < pageW ? (pageW - imgW) / 2 : 0;
    const size_t copyW = std::min(imgW, pageW - xOff);
    for (size_t r = 0; r < layout.imgH; ++r) {
        const size_t row = static_cast<size_t>(layout.firstRow) + r;
        if (row >= pageH) break;
        std::memcpy(page + row * pageW + xOff, image + r * imgW, copyW);
    }
    std::free(image);

    if (layout.mirrored) {
        for (size_t row = 0; row < pageH; ++row) std::reverse(page + row * pageW, page + (row + 1) * pageW);
    }
    *outW = layout.pageW;
    *outH = layout.pageH;
    return page;
}

}  // namespace

uint8_t *driveBitmapZoomToModel(int32_t model, const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                uint32_t *outH) {
    if (outW == nullptr || outH == nullptr) return noPage(outW, outH);
    if (model < 0 || model >= kModelCount) {
        writeLogString("model page: no layout for model %d", model);
        return noPage(outW, outH);
    }
    if (src == nullptr || srcW == 0 || srcH == 0) {
        writeLogString("model page: empty source page %ux%u", srcW, srcH);
        return noPage(outW, outH);
    }
    return renderPage(src, srcW, srcH, layoutFor(kModels[model], srcW, srcH), outW, outH);
}

bool isZVMirroredModel(int32_t model) { return model >= 0 && model < kModelCount && kModels[model].mirrored; }

bool zvModelPageSize(int32_t model, uint32_t srcW, uint32_t srcH, uint32_t *pageW, uint32_t *pageH) {
    uint32_t w = 0;
    uint32_t h = 0;
    const bool known = model >= 0 && model < kModelCount && srcW != 0 && srcH != 0;
    if (known) {
        const PageLayout layout = layoutFor(kModels[model], srcW, srcH);
        w = layout.pageW;
        h = layout.pageH;
    }
    if (pageW != nullptr) *pageW = w;
    if (pageH != nullptr) *pageH = h;
    return known;
}

// The named page builders; L40_BU (model 9) prints with the L40 builder.

uint8_t *driveBitmapZoomToLP40(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(0, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL40(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(1, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL50(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(2, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL40A(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(3, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL40S_Tattoo(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                      uint32_t *outH) {
    return driveBitmapZoomToModel(4, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL50A(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(5, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL40S_Normal(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                      uint32_t *outH) {
    return driveBitmapZoomToModel(6, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL10(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(7, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL20(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(8, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL10_Tattoo_XL(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                        uint32_t *outH) {
    return driveBitmapZoomToModel(10, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToM10(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH) {
    return driveBitmapZoomToModel(11, src, srcW, srcH, outW, outH);
}

uint8_t *driveBitmapZoomToL40S_Tattoo_Left(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                           uint32_t *outH) {
    return driveBitmapZoomToModel(12, src, srcW, srcH, outW, outH);
}
