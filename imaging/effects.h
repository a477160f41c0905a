// Photo effects for stylised prints and tattoo stencils: binarised text,
// pencil line drawings of four strengths, two sketch styles, black and white,
// sepia, negative, edge-boosted equalisation and a brightness/contrast
// adjustment.
//
// Each effect reads the rgbaData of the image and writes its result back into
// it (R = G = B for the gray effects, alpha 255). Text, line drawings, sketch,
// sketch 2 and black-and-white also copy the result into grayData and pack it
// into pixByteData where those planes exist; negative and equalisation copy
// into grayData only; sepia and adjustment change rgbaData only.
//
// Status: 0 done, 1 no rgbaData or a zero size, 2 the work memory could not
// be had (or the size does not fit in memory); on 2 the image is unchanged.
#ifndef ZV_IMAGING_EFFECTS_H
#define ZV_IMAGING_EFFECTS_H

#include <cstdint>

// Filter numbers of getFilterRGBAImageDataForRGBAData.
enum : int {
    kZVFilterText = 0,
    kZVFilterLineDraft = 1,
    kZVFilterLineDraft2 = 2,
    kZVFilterNostalgia = 3,
    kZVFilterNegativeFilm = 4,
    kZVFilterSketch = 5,
    kZVFilterBlackWhite = 6,
    kZVFilterLineDraft3 = 7,
    kZVFilterLineDraft4 = 8,
    kZVFilterSketch2 = 9,
};

struct ZVImage;

// Releases grayData and pixByteData, then runs filter 0..9 on rgbaData.
// Returns 1 when the effect succeeded or the filter number is unknown (the
// picture then stays as it is), 0 when there is no rgbaData or the effect
// failed.
int getFilterRGBAImageDataForRGBAData(ZVImage *image, int filter);

// Runs filter 0..9 on a gray picture (0 black .. 255 white), the result
// replacing it. 0 done (also for an unknown filter, which changes nothing),
// 1 no picture, 2 not enough memory (the picture is unchanged). Sepia gives
// its red channel.
int applyFilterToGrayData(uint8_t *gray, uint32_t width, uint32_t height, int filter);

// Local (Sauvola) threshold over a windowSize square; below 3 means 31, an
// even size is made odd.
int textWithZVImage(ZVImage *image, int windowSize);
// Pencil drawing: the gray picture colour-dodged by its blurred negative, then
// darkened by a power curve of the intensity (limited to 0.1 .. 3.0).
int lineDraftWithZVImageCustom(ZVImage *image, float intensity);
int lineDraftWithZVImage(ZVImage *image);   // intensity 0.5
int lineDraft2WithZVImage(ZVImage *image);  // intensity 1.0
int lineDraft3WithZVImage(ZVImage *image);  // intensity 2.0
int lineDraft4WithZVImage(ZVImage *image);  // intensity 3.0
int nostalgiaWithZVImage(ZVImage *image);   // sepia; 0 or 1
int negativeFilmWithZVImage(ZVImage *image);
// Dodged pencil sketch, binarised by a local mean threshold.
int sketchWithZVImage(ZVImage *image);
// Soft dodged sketch with a darkening curve, kept in gray.
int sketch2WithZVImage(ZVImage *image);
int blackWhiteWithZVImage(ZVImage *image);
// Edges boosted by the Laplacian, then histogram equalisation.
int equalizeHistWithZVImage(ZVImage *image);
// v' = (v - 128) * (1 + contrast) + 128 + 255 * brightness on R, G, B; 0 or 1.
int adjustWithZVImage(ZVImage *image, float contrast, float brightness);

#endif
