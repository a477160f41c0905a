// Growable byte array in which every page's printer data is assembled.
#ifndef ZV_FILTER_CORE_DYNAMIC_ARRAY_H
#define ZV_FILTER_CORE_DYNAMIC_ARRAY_H

#include <cstddef>
#include <cstdint>
#include <memory>

struct dynamic_array {
    uint8_t *data;      // owned; empty after dynamic_array_free
    uint64_t size;      // bytes in use
    uint64_t capacity;  // bytes allocated
};

// Allocates the record and `capacity` bytes of storage. Returns nullptr when
// either allocation fails. Release with dynamic_array_free, then free() the
// record itself (or use dynamic_array_destroy for both).
dynamic_array *dynamic_array_init(uint64_t capacity);

// Like dynamic_array_init, but a creation failure is fatal in the same way as a
// growth failure: "Memory realloc failed!" on standard error, exit status 1.
dynamic_array *dynamic_array_init_or_die(uint64_t capacity);

void dynamic_array_push(dynamic_array *array, uint8_t byte);
dynamic_array *dynamic_array_push_more_data(dynamic_array *array, const void *source, uint64_t count);

// Releases the storage and clears `data`; size and capacity keep their values.
void dynamic_array_free(dynamic_array *array);

// dynamic_array_free followed by releasing the record. Accepts nullptr.
void dynamic_array_destroy(dynamic_array *array);

// Appends text without its terminating NUL.
void dynamic_array_push_string(dynamic_array *array, const char *text);

// Owning handle for an array that is released with dynamic_array_destroy.
struct DynamicArrayDeleter {
    void operator()(dynamic_array *array) const { dynamic_array_destroy(array); }
};
using DynamicArrayPtr = std::unique_ptr<dynamic_array, DynamicArrayDeleter>;

#endif
