#include "imaging/effects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "imaging/effect_helpers.h"
#include "imaging/zv_image.h"

namespace {

using Plane = std::vector<uint8_t>;

// Which planes besides rgbaData take the result.
enum class Refresh { kGray, kGrayAndPacked };

// width*height of an image whose RGBA plane fits in memory, else 0.
size_t effectPixels(const ZVImage *image) {
    const size_t pixels = zvImagePixelCount(image->width, image->height);
    if (pixels == 0 || pixels > std::numeric_limits<size_t>::max() / 4) return 0;
    return pixels;
}

// Runs a gray effect: the picture's gray plane goes to `compute`, which turns
// it into the result in place and returns 0 or 2. The image is touched only
// once everything has been computed, so a failure leaves it as it was.
template <typename Compute>
int runGrayEffect(ZVImage *image, Refresh refresh, Compute compute) {
    if (isEmptyRGBAData(image)) return 1;
    const size_t pixels = effectPixels(image);
    if (pixels == 0) return 2;
    try {
        Plane gray(pixels);
        rgba_to_gray(image->rgbaData, gray.data(), pixels);
        const int status = compute(gray, image->width, image->height);
        if (status != 0) return status;
        gray_to_rgba(gray.data(), image->rgbaData, pixels);
        if (image->grayData != nullptr) std::memcpy(image->grayData, gray.data(), pixels);
        if (refresh == Refresh::kGrayAndPacked && image->pixByteData != nullptr) {
            pack_pix_byte(gray.data(), image->pixByteData, image->width, image->height);
        }
    } catch (const std::exception &) {  // bad_alloc or length_error
        return 2;
    }
    return 0;
}

int sauvola(Plane &gray, uint32_t width, uint32_t height, int windowSize) {
    Plane out(gray.size());
    const int status = sauvola_threshold_u8(gray.data(), out.data(), width, height, windowSize);
    if (status == 0) gray.swap(out);
    return status;
}

float limitIntensity(float intensity) {
    if (!(intensity >= 0.1f)) return 0.1f;  // also NaN
    return intensity > 3.0f ? 3.0f : intensity;
}

int lineDraft(Plane &gray, uint32_t width, uint32_t height, float intensity) {
    Plane blurred(gray.size());
    for (size_t i = 0; i < gray.size(); ++i) blurred[i] = static_cast<uint8_t>(255 - gray[i]);
    if (fast_gaussian_blur(blurred.data(), blurred.data(), width, height, 4) != 0) return 2;
    color_dodge_blend_with_intensity(gray.data(), blurred.data(), gray.data(), gray.size(), intensity);
    return 0;
}

int sketch(Plane &gray, uint32_t width, uint32_t height) {
    Plane t(gray.size());
    for (size_t i = 0; i < gray.size(); ++i) t[i] = static_cast<uint8_t>(255 - gray[i]);
    if (gaussian_blur_u8(t.data(), t.data(), width, height, 21) != 0) return 2;
    for (size_t i = 0; i < gray.size(); ++i) {
        // t is the divisor below; 0 becomes 1.
        unsigned divisor = 255u - t[i];
        if (divisor == 0) divisor = 1;
        const unsigned d = std::min(gray[i] * 256u / divisor, 255u);
        const unsigned e = 255u - d;
        gray[i] = static_cast<uint8_t>(255u - std::min(e * 256u / divisor, 255u));
    }
    // The dodged values become the threshold's source; t is not needed again.
    const int status = adaptive_threshold_u8(gray.data(), t.data(), width, height, 31, false, 15.0);
    if (status == 0) gray.swap(t);
    return status;
}

int sketch2(Plane &gray, uint32_t width, uint32_t height) {
    Plane blurred(gray.size());
    for (size_t i = 0; i < gray.size(); ++i) blurred[i] = static_cast<uint8_t>(255 - gray[i]);
    if (gaussian_blur_u8(blurred.data(), blurred.data(), width, height, 15) != 0) return 2;
    // The darkening curve depends on the dodged value only.
    std::array<uint8_t, 256> curve{};
    for (int d = 0; d < 256; ++d) {
        const float p = std::pow(static_cast<float>(d) / 255.0f, 2.55f);
        curve[d] = static_cast<uint8_t>(sat_int(static_cast<int>(static_cast<double>(p) * 255.0 + 1.05)));
    }
    for (size_t i = 0; i < gray.size(); ++i) {
        const unsigned b = blurred[i];
        const unsigned d = b == 255 ? 255u : std::min(gray[i] * 255u / (255u - b), 255u);
        gray[i] = curve[d];
    }
    return 0;
}

int equalizeWithEdges(Plane &gray, uint32_t width, uint32_t height) {
    Plane edges(gray.size());
    laplacian_abs_u8(gray.data(), edges.data(), width, height);
    for (size_t i = 0; i < gray.size(); ++i) gray[i] = sat_double(gray[i] + edges[i] * 1.01);
    equalize_hist_u8(gray.data(), gray.size());
    return 0;
}

}  // namespace

int textWithZVImage(ZVImage *image, int windowSize) {
    return runGrayEffect(image, Refresh::kGrayAndPacked,
                         [windowSize](Plane &gray, uint32_t w, uint32_t h) { return sauvola(gray, w, h, windowSize); });
}

int lineDraftWithZVImageCustom(ZVImage *image, float intensity) {
    const float limited = limitIntensity(intensity);
    return runGrayEffect(image, Refresh::kGrayAndPacked,
                         [limited](Plane &gray, uint32_t w, uint32_t h) { return lineDraft(gray, w, h, limited); });
}

int lineDraftWithZVImage(ZVImage *image) { return lineDraftWithZVImageCustom(image, 0.5f); }
int lineDraft2WithZVImage(ZVImage *image) { return lineDraftWithZVImageCustom(image, 1.0f); }
int lineDraft3WithZVImage(ZVImage *image) { return lineDraftWithZVImageCustom(image, 2.0f); }
int lineDraft4WithZVImage(ZVImage *image) { return lineDraftWithZVImageCustom(image, 3.0f); }

int nostalgiaWithZVImage(ZVImage *image) {
    if (isEmptyRGBAData(image)) return 1;
    const size_t pixels = effectPixels(image);
    if (pixels == 0) return 2;
    uint8_t *p = image->rgbaData;
    for (size_t i = 0; i < pixels; ++i, p += 4) {
        const double r = p[0], g = p[1], b = p[2];
        p[0] = static_cast<uint8_t>(sat_int(static_cast<int>((0.393 * r + 0.769 * g) + 0.189 * b)));
        p[1] = static_cast<uint8_t>(sat_int(static_cast<int>((0.349 * r + 0.686 * g) + 0.168 * b)));
        p[2] = static_cast<uint8_t>(sat_int(static_cast<int>((0.272 * r + 0.534 * g) + 0.131 * b)));
    }
    return 0;
}

int negativeFilmWithZVImage(ZVImage *image) {
    return runGrayEffect(image, Refresh::kGray, [](Plane &gray, uint32_t, uint32_t) {
        for (uint8_t &v : gray) v = static_cast<uint8_t>(255 - v);
        return 0;
    });
}

int sketchWithZVImage(ZVImage *image) { return runGrayEffect(image, Refresh::kGrayAndPacked, sketch); }

int sketch2WithZVImage(ZVImage *image) { return runGrayEffect(image, Refresh::kGrayAndPacked, sketch2); }

int blackWhiteWithZVImage(ZVImage *image) {
    return runGrayEffect(image, Refresh::kGrayAndPacked, [](Plane &, uint32_t, uint32_t) { return 0; });
}

int equalizeHistWithZVImage(ZVImage *image) { return runGrayEffect(image, Refresh::kGray, equalizeWithEdges); }

int adjustWithZVImage(ZVImage *image, float contrast, float brightness) {
    if (isEmptyRGBAData(image)) return 1;
    const size_t pixels = effectPixels(image);
    if (pixels == 0) return 2;
    // One table for the three channels: the curve depends on the level only.
    std::array<uint8_t, 256> curve{};
    for (int v = 0; v < 256; ++v) {
        const float x = (static_cast<float>(v) - 128.0f) * (1.0f + contrast) + 128.0f + 255.0f * brightness;
        curve[v] = sat_double(x);
    }
    uint8_t *p = image->rgbaData;
    for (size_t i = 0; i < pixels; ++i, p += 4) {
        p[0] = curve[p[0]];
        p[1] = curve[p[1]];
        p[2] = curve[p[2]];
    }
    return 0;
}

namespace {

// Runs filter 0..9; false for a number outside the table (nothing done).
bool runFilter(ZVImage *image, int filter, int *status) {
    switch (filter) {
        case kZVFilterText:
            *status = textWithZVImage(image, 31);
            return true;
        case kZVFilterLineDraft:
            *status = lineDraftWithZVImage(image);
            return true;
        case kZVFilterLineDraft2:
            *status = lineDraft2WithZVImage(image);
            return true;
        case kZVFilterNostalgia:
            *status = nostalgiaWithZVImage(image);
            return true;
        case kZVFilterNegativeFilm:
            *status = negativeFilmWithZVImage(image);
            return true;
        case kZVFilterSketch:
            *status = sketchWithZVImage(image);
            return true;
        case kZVFilterBlackWhite:
            *status = blackWhiteWithZVImage(image);
            return true;
        case kZVFilterLineDraft3:
            *status = lineDraft3WithZVImage(image);
            return true;
        case kZVFilterLineDraft4:
            *status = lineDraft4WithZVImage(image);
            return true;
        case kZVFilterSketch2:
            *status = sketch2WithZVImage(image);
            return true;
        default:
            return false;
    }
}

}  // namespace

int getFilterRGBAImageDataForRGBAData(ZVImage *image, int filter) {
    if (isEmptyRGBAData(image)) return 0;
    freeZVImageGrayData(image);
    freeZVImagePixByteData(image);
    int status = 0;
    if (!runFilter(image, filter, &status)) return 1;  // unknown filter: the picture stays as it is
    return status == 0 ? 1 : 0;
}

int applyFilterToGrayData(uint8_t *gray, uint32_t width, uint32_t height, int filter) {
    if (gray == nullptr || width == 0 || height == 0) return 1;
    const size_t pixels = zvImagePixelCount(width, height);
    if (pixels == 0 || pixels > std::numeric_limits<size_t>::max() / 4) return 2;
    try {
        Plane rgba(pixels * 4);
        gray_to_rgba(gray, rgba.data(), pixels);
        ZVImage image{};
        image.width = width;
        image.height = height;
        image.rgbaData = rgba.data();  // borrowed: the record owns no plane
        int status = 0;
        if (!runFilter(&image, filter, &status)) return 0;
        if (status != 0) return status;
        // Sepia keeps colour; every other filter leaves R = G = B.
        for (size_t i = 0; i < pixels; ++i) gray[i] = rgba[4 * i];
    } catch (const std::exception &) {
        return 2;
    }
    return 0;
}
