#ifndef ZV_TESTS_SUPPORT_TEMP_DIR_H
#define ZV_TESTS_SUPPORT_TEMP_DIR_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zvtest {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Points the filter's diagnostic files (ZORVAN_LOG_DIR) at `dir`, or at a
// fresh scratch directory of its own (removed afterwards), for the object's
// lifetime, then puts back what was there before. Unsetting the variable
// instead would send later diagnostics of the same program into the system's
// CUPS log directory.
class ScopedLogDir {
  public:
    ScopedLogDir();
    explicit ScopedLogDir(const std::string &dir);
    ~ScopedLogDir();
    ScopedLogDir(const ScopedLogDir &) = delete;
    ScopedLogDir &operator=(const ScopedLogDir &) = delete;

    const std::string &path() const { return path_; }

  private:
    void pointAt(const std::string &dir);

    std::unique_ptr<TempDir> scratch_;  // only when no directory was given
    std::string path_;
    bool hadValue_ = false;
    std::string previous_;
};

std::vector<uint8_t> readFileBytes(const std::string &path);
std::string readFileText(const std::string &path);
void writeFileBytes(const std::string &path, const std::vector<uint8_t> &bytes);
void writeFileText(const std::string &path, const std::string &text);
bool fileExists(const std::string &path);

}  // namespace zvtest

#endif
