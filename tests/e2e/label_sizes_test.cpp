// The page sizes of the generated PPDs are the labels' own sizes: CUPS's names
// for them, their points within one printer dot of the named size, and the
// raster that CUPS's chain renders for each of them the label's number of
// dots (again within one dot).
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/cupsfilter_run.h"

namespace {

std::string ppdDir() { return std::string(ZV_BINARY_DIR) + "/ppd"; }

std::vector<std::string> generatedPpds() {
    std::vector<std::string> paths;
    for (const auto &entry : std::filesystem::directory_iterator(ppdDir()))
        if (entry.path().extension() == ".ppd") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The printer's own resolution: the PPD's DefaultResolution.
int nativeDpi(ppd_file_t *ppd) {
    ppd_attr_t *attr = ppdFindAttr(ppd, "DefaultResolution", nullptr);
    return attr != nullptr ? std::atoi(attr->value) : 0;
}

// Hundredths of a millimetre in dots at `dpi`, and points in dots.
double hundredthsToDots(int hundredths, int dpi) { return hundredths / 2540.0 * dpi; }
double pointsToDots(double points, int dpi) { return points / 72.0 * dpi; }

TEST(LabelSizes, EverySizeIsNamedAsCupsNamesItAndMeasuresTheNamedSize) {
    const std::vector<std::string> ppds = generatedPpds();
    ASSERT_GE(ppds.size(), 9u) << "no generated PPDs in " << ppdDir();
    for (const std::string &path : ppds) {
        ppd_file_t *ppd = ppdOpenFile(path.c_str());
        ASSERT_NE(ppd, nullptr) << path;
        const int dpi = nativeDpi(ppd);
        ASSERT_GT(dpi, 0) << path;
        for (int i = 0; i < ppd->num_sizes; ++i) {
            const ppd_size_t &size = ppd->sizes[i];
            if (std::string(size.name) == "Custom") continue;
            const std::string where = path + " " + size.name;
            const pwg_media_t *named = pwgMediaForPPD(size.name);
            ASSERT_NE(named, nullptr) << where << ": CUPS knows no size of that name";
            EXPECT_LE(std::fabs(pointsToDots(size.width, dpi) - hundredthsToDots(named->width, dpi)), 1.0) << where;
            EXPECT_LE(std::fabs(pointsToDots(size.length, dpi) - hundredthsToDots(named->length, dpi)), 1.0) << where;
            // The name is the one CUPS gives a page of these points.
            const pwg_media_t *bySize = pwgMediaForSize(static_cast<int>(std::lround(size.width * 2540.0 / 72.0)),
                                                        static_cast<int>(std::lround(size.length * 2540.0 / 72.0)));
            ASSERT_NE(bySize, nullptr) << where;
            ASSERT_NE(bySize->ppd, nullptr) << where;
            EXPECT_EQ(std::string(bySize->ppd), size.name) << where;
        }
        ppdClose(ppd);
    }
}

// The raster CUPS's chain renders for every size of a 203 dpi and a 300 dpi
// label printer and of a receipt printer.
TEST(LabelSizes, RasterOfEverySizeHasTheLabelsDots) {
    const std::string missing = zvtest::missingChainTool();
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    const std::string document = std::string(ZV_SOURCE_DIR) + "/samples/label.pdf";
    for (const char *name : {"zorvan-tspl-203", "zorvan-tspl-300", "zorvan-escpos-58"}) {
        const std::string path = ppdDir() + "/" + name + ".ppd";
        ppd_file_t *ppd = ppdOpenFile(path.c_str());
        ASSERT_NE(ppd, nullptr) << path;
        const int dpi = nativeDpi(ppd);
        std::vector<std::string> sizes;
        for (int i = 0; i < ppd->num_sizes; ++i)
            if (std::string(ppd->sizes[i].name) != "Custom") sizes.push_back(ppd->sizes[i].name);
        ppdClose(ppd);
        for (const std::string &size : sizes) {
            const std::string where = std::string(name) + " " + size;
            const zvtest::CupsfilterResult result =
                zvtest::runCupsfilter(path, document, {"PageSize=" + size}, "application/vnd.cups-raster");
            ASSERT_EQ(result.status, 0) << where << "\n" << result.err;
            const std::vector<zvtest::RasterPageInfo> pages = zvtest::rasterPages(result.out);
            ASSERT_EQ(pages.size(), 1u) << where;
            const zvtest::RasterPageInfo &page = pages[0];
            ASSERT_GT(page.xDpi, 0u) << where;
            const pwg_media_t *named = pwgMediaForPPD(size.c_str());
            ASSERT_NE(named, nullptr) << where;
            // In printer dots: a raster rendered at a multiple of the
            // printer's resolution is that many times larger.
            const double perDot = static_cast<double>(page.xDpi) / dpi;
            EXPECT_LE(std::fabs(page.width / perDot - hundredthsToDots(named->width, dpi)), 1.0)
                << where << ": " << page.width << " at " << page.xDpi << " dpi";
            EXPECT_LE(std::fabs(page.height / perDot - hundredthsToDots(named->length, dpi)), 1.0)
                << where << ": " << page.height << " at " << page.yDpi << " dpi";
        }
    }
}

}  // namespace
