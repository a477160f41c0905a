// Runs CUPS's own cupsfilter with a generated PPD, from a document through
// cups-filters (pdftopdf, gstoraster) to the raster or into the built filter.
// A private ServerBin holds links to the system's filters and a wrapper under
// our filter's name; nothing is written into the system's folders.
#ifndef ZV_TESTS_SUPPORT_CUPSFILTER_RUN_H
#define ZV_TESTS_SUPPORT_CUPSFILTER_RUN_H

#include <cstdint>
#include <string>
#include <vector>

namespace zvtest {

struct CupsfilterResult {
    std::vector<uint8_t> out;  // the final output (printer data or raster)
    std::string err;           // cupsfilter's messages, the filters' included
    std::string log;           // the filter's LxxLog.log
    int status = -1;
};

// `mimeType` "printer/zorvan" runs the whole chain into the built filter;
// "application/vnd.cups-raster" stops at the raster the PPD asks for.
CupsfilterResult runCupsfilter(const std::string &ppd, const std::string &document,
                               const std::vector<std::string> &options = {},
                               const std::string &mimeType = "printer/zorvan");

// Empty when every program the chain needs is installed, else the first
// missing one (for a GTEST_SKIP).
std::string missingChainTool();

// Full path of an executable in PATH (or /usr/sbin, /sbin); empty when none.
std::string findExecutable(const std::string &name);

// Standard output of a shell command, without its trailing line end.
std::string shellOutput(const std::string &command);

// The command line quoting of `text` for /bin/sh.
std::string shellQuoted(const std::string &text);

// What a CUPS raster stream says of its pages.
struct RasterPageInfo {
    unsigned width = 0, height = 0;
    unsigned xDpi = 0, yDpi = 0;
    std::string pageSizeName;
};
std::vector<RasterPageInfo> rasterPages(const std::vector<uint8_t> &stream);

}  // namespace zvtest

#endif
