// The PhotoEffect job option of the protocol printers: a stencil, sketch or
// line-drawing effect applied to the gray page before it is scaled for the
// model. 0 (None) leaves the page untouched.
#ifndef ZV_PAGE_PHOTO_EFFECT_H
#define ZV_PAGE_PHOTO_EFFECT_H

#include <cstdint>

// The effect filter number (imaging/effects.h) of a PhotoEffect value, or -1
// for None and for any value the option does not offer.
int photoEffectFilter(int32_t photoEffect);

// Applies the option's effect to the first pictureWidth columns of a gray page
// whose rows are pageWidth bytes (the columns beyond are padding and stay
// white). When the effect cannot have its memory the page stays as it was and
// one "WARNING:" line says so; false then.
bool applyPhotoEffect(unsigned char *page, long pageWidth, long height, long pictureWidth, int32_t photoEffect);

#endif
