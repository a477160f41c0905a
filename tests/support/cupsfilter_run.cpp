#include "tests/support/cupsfilter_run.h"

#include <cups/raster.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"

namespace zvtest {

std::string shellQuoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string findExecutable(const std::string &name) {
    const char *env = std::getenv("PATH");
    const std::string path = std::string(env != nullptr ? env : "") + ":/usr/sbin:/sbin";
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find(':', start), path.size());
        const std::string candidate = path.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

std::string shellOutput(const std::string &command) {
    std::string out;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string missingChainTool() {
    for (const char *tool : {"cupsfilter", "cups-config", "gs"})
        if (findExecutable(tool).empty()) return tool;
    return "";
}

CupsfilterResult runCupsfilter(const std::string &ppd, const std::string &document,
                               const std::vector<std::string> &options, const std::string &mimeType) {
    namespace fs = std::filesystem;
    TempDir work;
    const std::string systemBin = shellOutput("cups-config --serverbin 2>/dev/null");
    const std::string serverBin = work.file("serverbin");
    fs::create_directories(serverBin + "/filter");
    // Links to the system's filters, except an installed rastertozorvan: the
    // wrapper takes that name, and writing it through a link would overwrite
    // the installed filter.
    for (const auto &entry : fs::directory_iterator((systemBin.empty() ? "/usr/lib/cups" : systemBin) + "/filter"))
        if (entry.path().filename() != "rastertozorvan")
            fs::create_symlink(entry.path(), serverBin + "/filter/" + entry.path().filename().string());
    const std::string wrapper = serverBin + "/filter/rastertozorvan";
    writeFileText(wrapper, "#!/bin/sh\nZORVAN_LOG_DIR=" + shellQuoted(work.path()) + " exec " +
                               shellQuoted(filterPath()) + " \"$@\"\n");
    ::chmod(wrapper.c_str(), 0755);
    ::chmod(work.path().c_str(), 0755);
    writeFileText(work.file("cups-files.conf"),
                  "ServerBin " + serverBin + "\nDataDir " +
                      shellOutput("cups-config --datadir 2>/dev/null || echo /usr/share/cups") + "\n");

    std::string command = shellQuoted(findExecutable("cupsfilter")) + " -c " +
                          shellQuoted(work.file("cups-files.conf")) + " -p " + shellQuoted(ppd) + " -m " +
                          shellQuoted(mimeType) + " -e";
    for (const std::string &option : options) command += " -o " + shellQuoted(option);
    command += " " + shellQuoted(document) + " >" + shellQuoted(work.file("out.bin")) + " 2>" +
               shellQuoted(work.file("err.txt"));
    CupsfilterResult result;
    const int status = std::system(command.c_str());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFileBytes(work.file("out.bin"));
    result.err = readFileText(work.file("err.txt"));
    if (fileExists(work.file("LxxLog.log"))) result.log = readFileText(work.file("LxxLog.log"));
    return result;
}

std::vector<RasterPageInfo> rasterPages(const std::vector<uint8_t> &stream) {
    std::vector<RasterPageInfo> pages;
    TempDir dir;
    writeFileBytes(dir.file("page.ras"), stream);
    FILE *file = std::fopen(dir.file("page.ras").c_str(), "rb");
    if (file == nullptr) return pages;
    cups_raster_t *raster = cupsRasterOpen(fileno(file), CUPS_RASTER_READ);
    cups_page_header2_t header;
    std::vector<unsigned char> row;
    while (raster != nullptr && cupsRasterReadHeader2(raster, &header)) {
        RasterPageInfo info;
        info.width = header.cupsWidth;
        info.height = header.cupsHeight;
        info.xDpi = header.HWResolution[0];
        info.yDpi = header.HWResolution[1];
        info.pageSizeName = header.cupsPageSizeName;
        pages.push_back(info);
        row.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; ++y)
            if (cupsRasterReadPixels(raster, row.data(), header.cupsBytesPerLine) == 0) break;
    }
    if (raster != nullptr) cupsRasterClose(raster);
    std::fclose(file);
    return pages;
}

}  // namespace zvtest
