#include "page/photo_effect.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "core/debug_log.h"
#include "imaging/effects.h"

namespace {

// PhotoEffect values in the order the PPDs offer them.
constexpr int kFilters[] = {
    -1,                    // 0 None
    kZVFilterLineDraft,    // 1 Line drawing, light
    kZVFilterLineDraft2,   // 2 Line drawing, medium
    kZVFilterLineDraft3,   // 3 Line drawing, strong
    kZVFilterLineDraft4,   // 4 Line drawing, heavy
    kZVFilterSketch,       // 5 Sketch
    kZVFilterSketch2,      // 6 Sketch 2
    kZVFilterText,         // 7 Text
    kZVFilterBlackWhite,   // 8 Black and white
    kZVFilterNegativeFilm  // 9 Negative
};

}  // namespace

int photoEffectFilter(int32_t photoEffect) {
    if (photoEffect < 0 || photoEffect >= static_cast<int32_t>(sizeof kFilters / sizeof kFilters[0])) return -1;
    return kFilters[photoEffect];
}

bool applyPhotoEffect(unsigned char *page, long pageWidth, long height, long pictureWidth, int32_t photoEffect) {
    const int filter = photoEffectFilter(photoEffect);
    if (filter < 0 || page == nullptr || pageWidth <= 0 || height <= 0) return true;
    if (pictureWidth <= 0 || pictureWidth > pageWidth) pictureWidth = pageWidth;
    const auto w = static_cast<uint32_t>(pictureWidth);
    const auto h = static_cast<uint32_t>(height);
    int status = 2;
    if (pictureWidth == pageWidth) {
        status = applyFilterToGrayData(page, w, h, filter);
    } else {
        // The picture without the padding columns, so that they stay white.
        try {
            std::vector<unsigned char> picture(static_cast<size_t>(w) * h);
            for (size_t y = 0; y < h; ++y) std::memcpy(&picture[y * w], page + y * pageWidth, w);
            status = applyFilterToGrayData(picture.data(), w, h, filter);
            if (status == 0) {
                for (size_t y = 0; y < h; ++y) std::memcpy(page + y * pageWidth, &picture[y * w], w);
            }
        } catch (const std::exception &) {
            status = 2;
        }
    }
    if (status == 0) return true;
    std::fprintf(stderr, "WARNING: Not enough memory for the photo effect; the page is printed without it\n");
    writeLogString("photo effect %d failed (%d): page printed without it", photoEffect, status);
    return false;
}
