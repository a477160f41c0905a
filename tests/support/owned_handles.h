// Owning handles for what the C-style interfaces hand out: image records
// (released with freeZVImageData and free) and plain malloc'd blocks.
#ifndef ZV_TESTS_SUPPORT_OWNED_HANDLES_H
#define ZV_TESTS_SUPPORT_OWNED_HANDLES_H

#include <cstdlib>
#include <memory>

#include "imaging/zv_image.h"

namespace zvtest {

struct ImageDeleter {
    void operator()(ZVImage *image) const {
        freeZVImageData(image);
        std::free(image);
    }
};
using ImagePtr = std::unique_ptr<ZVImage, ImageDeleter>;

struct FreeDeleter {
    void operator()(void *block) const { std::free(block); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

}  // namespace zvtest

#endif
