#include "tests/support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zvtest {

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/zvtest-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedLogDir::ScopedLogDir() : scratch_(std::make_unique<TempDir>()) { pointAt(scratch_->path()); }

ScopedLogDir::ScopedLogDir(const std::string &dir) { pointAt(dir); }

void ScopedLogDir::pointAt(const std::string &dir) {
    path_ = dir;
    const char *previous = std::getenv("ZORVAN_LOG_DIR");
    hadValue_ = previous != nullptr;
    if (hadValue_) previous_ = previous;
    ::setenv("ZORVAN_LOG_DIR", dir.c_str(), 1);
}

ScopedLogDir::~ScopedLogDir() {
    if (hadValue_)
        ::setenv("ZORVAN_LOG_DIR", previous_.c_str(), 1);
    else
        ::unsetenv("ZORVAN_LOG_DIR");
}

std::vector<uint8_t> readFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readFileText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void writeFileText(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool fileExists(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace zvtest
