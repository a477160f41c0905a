// Minimal PPD files for tests: just enough for ppdOpenFile plus the lines a test asks for.
#ifndef ZV_TESTS_SUPPORT_PPD_FIXTURE_H
#define ZV_TESTS_SUPPORT_PPD_FIXTURE_H

#include <string>
#include <vector>

namespace zvtest {

// `lines` are appended verbatim, e.g. "*DefaultDarkness: 8",
// "*ZVAttr PrinterModel: \"TSPL\"", "*ExtensionAttr PrinterSize: \"163.2.1\"".
std::string makePpd(const std::vector<std::string> &lines);

// Writes makePpd(lines) to `path` and returns the path.
std::string writePpd(const std::string &path, const std::vector<std::string> &lines);

// Common fixtures: a printer of `model` (a PrinterModel name) at `dpi`.
std::vector<std::string> modelPpdLines(const std::string &model, int dpi = 203);

}  // namespace zvtest

#endif
