// Start-up shared by the fuzz targets that run the page loop in-process:
// printer data into /dev/null, the diagnostic files off, scratch files in
// memory, and whole writes to them.
#ifndef ZV_FUZZ_FUZZ_START_H
#define ZV_FUZZ_FUZZ_START_H

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace zvfuzz {

// The diagnostic files go to a directory that does not exist (so they are not
// written: only the code paths that touch the untrusted input are exercised),
// and standard output, where the page loop writes printer data, to /dev/null.
inline void startPageLoopTarget() {
    ::setenv("ZORVAN_LOG_DIR", "/nonexistent-zorvan-fuzz-dir", 1);
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull < 0 || ::dup2(devNull, STDOUT_FILENO) < 0) std::abort();
    ::close(devNull);
}

// An anonymous in-memory file for the raster or PPD of one input.
inline int memoryFile(const char *name) {
    const int fd = ::memfd_create(name, 0);
    if (fd < 0) std::abort();
    return fd;
}

inline void writeAll(int fd, const void *bytes, size_t size) {
    const auto *data = static_cast<const uint8_t *>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) std::abort();
        data += n;
        size -= static_cast<size_t>(n);
    }
}

inline void rewindFile(int fd) {
    if (::lseek(fd, 0, SEEK_SET) != 0) std::abort();
}

inline void emptyFile(int fd) {
    if (::ftruncate(fd, 0) != 0) std::abort();
    rewindFile(fd);
}

// The file's content becomes `size` bytes, read from the start.
inline void replaceFile(int fd, const void *bytes, size_t size) {
    emptyFile(fd);
    writeAll(fd, bytes, size);
    rewindFile(fd);
}

}  // namespace zvfuzz

// libcups allocates a line buffer of the header's cupsBytesPerLine (up to
// 4 GiB) when it reads a compressed page header, before the filter sees the
// header. The sanitizer's allocator would fill such a block page by page; a
// target that feeds arbitrary headers uses this to fail allocations that large
// instead, as a machine without the memory would, so hostile headers cost
// microseconds here as they do in the real filter.
// The filter's own blocks stay far below the cap: the targets lower the job
// budget to a quarter of it, and every page is refused unless its estimated
// cost fits the budget, so an encoder that took much more than its estimate
// would show as a process over libFuzzer's -rss_limit_mb rather than as a
// failed allocation.
#define ZV_FUZZ_FAIL_HUGE_ALLOCATIONS()                                   \
    extern "C" const char *__asan_default_options() {                     \
        return "max_allocation_size_mb=1024:allocator_may_return_null=1"; \
    }

#endif
