// Linked into every test program: a test program run by hand (outside ctest,
// which sets ZORVAN_LOG_DIR) must not write the filter's diagnostics into the
// system's CUPS log directory either. Without ZORVAN_LOG_DIR the program gets
// a scratch directory of its own, removed when it exits.
#include <cstdlib>
#include <memory>

#include "tests/support/temp_dir.h"

namespace {

const std::unique_ptr<zvtest::ScopedLogDir> gScratchLogDir =
    std::getenv("ZORVAN_LOG_DIR") == nullptr ? std::make_unique<zvtest::ScopedLogDir>() : nullptr;

}  // namespace
