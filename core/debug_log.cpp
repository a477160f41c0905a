#include "core/debug_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

FILE *pLogFile = nullptr;
FILE *pHexFile = nullptr;

namespace {

constexpr const char *kDefaultDirectory = "/var/log/cups/";
constexpr const char *kLogName = "LxxLog";
constexpr const char *kLogExtension = ".log";
constexpr const char *kDumpName = "LxxSendData";
constexpr const char *kDumpExtension = ".bin";

int32_t gJobId = 0;

// Where this process writes its pair of files, chosen when the first of them
// opens and kept until both are closed: the directory, and "" for the shared
// names or "-<job id>" when another job is writing those.
struct Placement {
    bool chosen = false;
    std::string directory;
    std::string suffix;
};
Placement gPlacement;

enum class OpenResult { Opened, Busy, Refused, Failed };

std::string withSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

// Opens an existing or new diagnostic file for rewriting, or says why not.
// Nothing is truncated before the checks have passed.
OpenResult openChecked(const std::string &path, int *fdOut) {
    // O_NOFOLLOW: a symbolic link planted at this path must not redirect what
    // we write (the filter may run with more rights than the link's owner).
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0) return errno == ELOOP ? OpenResult::Refused : OpenResult::Failed;
    struct stat st {};
    // A hard link would make the truncation and every line land in a file
    // someone else named; a file of another user is not ours to rewrite.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid()) {
        ::close(fd);
        return OpenResult::Refused;
    }
    // Another job running now holds the lock: leave its files alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? OpenResult::Busy : OpenResult::Failed;
    }
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return OpenResult::Failed;
    }
    // An existing file keeps its old mode through O_CREAT; tighten it.
    ::fchmod(fd, 0640);
    *fdOut = fd;
    return OpenResult::Opened;
}

FILE *asFile(int fd) {
    FILE *file = ::fdopen(fd, "w+");
    if (file == nullptr) ::close(fd);
    return file;
}

std::string jobSuffix() { return "-" + std::to_string(gJobId > 0 ? gJobId : static_cast<int32_t>(::getpid())); }

// The directories to try: the one ZORVAN_LOG_DIR names, or the CUPS log
// directory and then the job's temporary directory (under cupsd the filter
// runs as a user that may not write the log directory).
std::vector<std::string> candidateDirectories() {
    const char *chosen = std::getenv("ZORVAN_LOG_DIR");
    if (chosen != nullptr && *chosen != '\0') return {withSlash(chosen)};
    std::vector<std::string> directories = {kDefaultDirectory};
    const char *temporary = std::getenv("TMPDIR");
    if (temporary != nullptr && *temporary != '\0') directories.push_back(withSlash(temporary));
    return directories;
}

FILE *openDiagnostic(const char *name, const char *extension) {
    if (gPlacement.chosen) {
        int fd = -1;
        const std::string path = gPlacement.directory + name + gPlacement.suffix + extension;
        return openChecked(path, &fd) == OpenResult::Opened ? asFile(fd) : nullptr;
    }
    const std::vector<std::string> directories = candidateDirectories();
    for (size_t i = 0; i < directories.size(); ++i) {
        const std::string &directory = directories[i];
        const std::string shared = directory + name + extension;
        int fd = -1;
        std::string suffix;
        OpenResult result = openChecked(shared, &fd);
        if (result == OpenResult::Busy) {
            suffix = jobSuffix();
            result = openChecked(directory + name + suffix + extension, &fd);
            if (result == OpenResult::Opened)
                std::fprintf(stderr, "DEBUG: Another job is writing %s; this job's diagnostics are %s%s%s%s\n",
                             shared.c_str(), directory.c_str(), name, suffix.c_str(), extension);
        }
        if (result == OpenResult::Refused) {
            // Every log line tries again; say it once.
            static std::vector<std::string> told;
            if (std::find(told.begin(), told.end(), shared) == told.end()) {
                told.push_back(shared);
                std::fprintf(stderr,
                             "DEBUG: Not writing the diagnostic file %s: it is a link or belongs to another user\n",
                             shared.c_str());
            }
            return nullptr;
        }
        if (result != OpenResult::Opened) continue;
        if (i > 0)
            std::fprintf(stderr, "DEBUG: Diagnostic files are in %s (%s is not writable)\n", directory.c_str(),
                         directories[0].c_str());
        gPlacement = {true, directory, suffix};
        return asFile(fd);
    }
    return nullptr;
}

}  // namespace

void setDebugLogJobId(int32_t jobId) { gJobId = jobId; }

std::string debugLogDirectory() {
    if (gPlacement.chosen) return gPlacement.directory;
    return candidateDirectories().front();
}

FILE *InitLogData() {
    pLogFile = openDiagnostic(kLogName, kLogExtension);
    return pLogFile;
}

FILE *InitHexData() {
    pHexFile = openDiagnostic(kDumpName, kDumpExtension);
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
    // The next job (or test) chooses its place afresh.
    gPlacement = Placement{};
}
