// Linked into every test program: a test program run by hand (outside ctest,
// which sets ZORVAN_LOG_DIR) must not write the filter's diagnostics into the
// system's CUPS log directory either. Without ZORVAN_LOG_DIR the program gets
// a scratch directory of its own, removed when it exits.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct ScratchLogDir {
    std::string path;
    ScratchLogDir() {
        if (std::getenv("ZORVAN_LOG_DIR") != nullptr) return;
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/zvtest-log-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) == nullptr) std::abort();
        path = buffer.data();
        ::setenv("ZORVAN_LOG_DIR", path.c_str(), 1);
    }
    ~ScratchLogDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

const ScratchLogDir gScratchLogDir;

}  // namespace
