#include "core/dynamic_array.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void growthFailed() {
    std::fputs("Memory realloc failed!\n", stderr);
    std::exit(1);
}

void growTo(dynamic_array *array, uint64_t newCapacity) {
    if (newCapacity > SIZE_MAX) growthFailed();
    void *grown = std::realloc(array->data, static_cast<size_t>(newCapacity));
    if (grown == nullptr) growthFailed();
    array->data = static_cast<uint8_t *>(grown);
    array->capacity = newCapacity;
}

}  // namespace

dynamic_array *dynamic_array_init(uint64_t capacity) {
    if (capacity > SIZE_MAX) return nullptr;
    auto *array = static_cast<dynamic_array *>(std::malloc(sizeof(dynamic_array)));
    if (array == nullptr) return nullptr;
    // malloc(0) may legitimately return nullptr; keep such an array usable.
    array->data = static_cast<uint8_t *>(std::malloc(capacity == 0 ? 1 : static_cast<size_t>(capacity)));
    if (array->data == nullptr) {
        std::free(array);
        return nullptr;
    }
    array->size = 0;
    array->capacity = capacity;
    return array;
}

dynamic_array *dynamic_array_init_or_die(uint64_t capacity) {
    dynamic_array *array = dynamic_array_init(capacity);
    if (array == nullptr) growthFailed();
    return array;
}

void dynamic_array_push(dynamic_array *array, uint8_t byte) {
    if (array->size >= array->capacity) {
        // Doubling alone cannot leave a capacity of 0; start such an array at 1.
        uint64_t next = array->capacity == 0 ? 1 : array->capacity * 2;
        if (next < array->capacity) growthFailed();
        growTo(array, next);
    }
    array->data[array->size++] = byte;
}

dynamic_array *dynamic_array_push_more_data(dynamic_array *array, const void *source, uint64_t count) {
    if (count == 0) return array;
    if (count > UINT64_MAX - array->size) growthFailed();
    const uint64_t needed = array->size + count;
    if (needed > array->capacity) {
        uint64_t next = array->capacity;
        while (next < needed) {
            if (next == 0) {
                next = 16;
            } else {
                if (next > UINT64_MAX / 2) growthFailed();
                next *= 2;
            }
        }
        growTo(array, next);
    }
    std::memcpy(array->data + array->size, source, static_cast<size_t>(count));
    array->size += count;
    return array;
}

void dynamic_array_free(dynamic_array *array) {
    if (array == nullptr) return;
    std::free(array->data);
    array->data = nullptr;
}

void dynamic_array_destroy(dynamic_array *array) {
    if (array == nullptr) return;
    dynamic_array_free(array);
    std::free(array);
}

void dynamic_array_push_string(dynamic_array *array, const char *text) {
    dynamic_array_push_more_data(array, text, std::strlen(text));
}
