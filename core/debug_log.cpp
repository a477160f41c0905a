#include "core/debug_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <ctime>

FILE *pLogFile = nullptr;
FILE *pHexFile = nullptr;

namespace {

constexpr const char *kDefaultDirectory = "/var/log/cups/";

FILE *openTruncated(const char *name) {
    const std::string path = debugLogDirectory() + name;
    // O_NOFOLLOW: a symbolic link planted at this path must not redirect what
    // we write (the filter may run with more rights than the link's owner).
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // An existing file keeps its old mode through O_CREAT; tighten it.
    ::fchmod(fd, 0640);
    FILE *file = ::fdopen(fd, "w+");
    if (file == nullptr) ::close(fd);
    return file;
}

}  // namespace

std::string debugLogDirectory() {
    const char *dir = std::getenv("ZORVAN_LOG_DIR");
    if (dir == nullptr || *dir == '\0') return kDefaultDirectory;
    std::string result(dir);
    if (result.back() != '/') result += '/';
    return result;
}

FILE *InitLogData() {
    pLogFile = openTruncated("LxxLog.log");
    return pLogFile;
}

FILE *InitHexData() {
    pHexFile = openTruncated("LxxSendData.bin");
    return pHexFile;
}

int writeLogString(const char *format, ...) {
    if (pLogFile == nullptr && InitLogData() == nullptr) return -1;

    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::fprintf(pLogFile, "%04d-%02d-%02d %02d:%02d:%02d ", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                 local.tm_hour, local.tm_min, local.tm_sec);

    va_list args;
    va_start(args, format);
    int written = std::vfprintf(pLogFile, format, args);
    va_end(args);

    std::fputs("\r\n", pLogFile);
    std::fflush(pLogFile);
    return written;
}

void pwriteHex(const uint8_t *bytes, uint64_t count) {
    if (bytes == nullptr) return;
    if (pHexFile == nullptr && InitHexData() == nullptr) return;
    // One block write instead of byte by byte: same file contents, far cheaper
    // for pages of several hundred kilobytes.
    std::fwrite(bytes, 1, static_cast<size_t>(count), pHexFile);
    std::fflush(pHexFile);
}

void writeDebugData(const uint8_t *bytes, uint64_t count) { pwriteHex(bytes, count); }

void closeDebugLog() {
    if (pHexFile != nullptr) {
        std::fclose(pHexFile);
        pHexFile = nullptr;
    }
    if (pLogFile != nullptr) {
        std::fclose(pLogFile);
        pLogFile = nullptr;
    }
}
