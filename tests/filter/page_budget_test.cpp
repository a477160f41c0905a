// The job's memory budget: a page whose cost in its printer language and print
// mode would exceed it is refused before it is allocated, and the job goes on.
#include "filter/page_budget.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/printer_settings.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using zvtest::FilterResult;
using zvtest::FilterRun;
using zvtest::RasterPage;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

const std::vector<uint8_t> kWhite = {0xFF};
const std::vector<uint8_t> kBlack = {0x00};

std::vector<uint8_t> job(const std::vector<std::vector<uint8_t>> &pages) {
    std::vector<uint8_t> stream = zvtest::compressedSync();
    for (const auto &page : pages) stream.insert(stream.end(), page.begin(), page.end());
    return stream;
}

// A 108 mm wide label of 200000 rows (25 m) in the mixed text and picture
// mode on the two-colour printer: the gray raster is widened to RGBA and both
// colour planes go through the image pipeline, several GiB at its peak. The
// page is refused before anything of it is allocated, the next page prints,
// and the process never comes near the size of the page it refused.
TEST(PageBudget, LongTwoColourLabelInMixedModeIsRefusedAndTheNextPagePrints) {
    zvtest::TempDir dir;
    const std::string ppd = zvtest::writePpd(dir.file("2c.ppd"), zvtest::modelPpdLines("Two_Color_TSPL"));
    zvtest::writeFileBytes(dir.file("job.ras"), job({zvtest::uniformRasterPage(864, 200000, kWhite),
                                                     zvtest::uniformRasterPage(16, 8, kBlack)}));

    zvtest::FilterSpawn spawn;
    spawn.args = {"7", "tester", "long label", "1", "PrintMode=8"};
    spawn.env = {{"PPD", ppd}, {"ZORVAN_LOG_DIR", dir.path()}};
    spawn.unset = {"ZORVAN_MEMORY_BUDGET"};  // the default budget
    spawn.inFd = ::open(dir.file("job.ras").c_str(), O_RDONLY);
    spawn.outFd = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    spawn.errPath = dir.file("err");
    ASSERT_GE(spawn.inFd, 0);
    ASSERT_GE(spawn.outFd, 0);
    const pid_t pid = zvtest::spawnFilter(spawn);
    ::close(spawn.inFd);
    ::close(spawn.outFd);
    int wstatus = 0;
    struct rusage usage {};
    ASSERT_EQ(::wait4(pid, &wstatus, 0, &usage), pid);
    ASSERT_TRUE(WIFEXITED(wstatus));
    const std::string err = zvtest::readFileText(dir.file("err"));
    const std::vector<uint8_t> bytes = zvtest::readFileBytes(dir.file("out"));
    const std::string out(bytes.begin(), bytes.end());

    EXPECT_EQ(WEXITSTATUS(wstatus), 0) << err;
    EXPECT_TRUE(contains(err, "ERROR: Page 1 would need about ")) << err;
    EXPECT_TRUE(contains(err,
                         "(864 x 200000 dots in print mode 8), more than the 1024 MiB a job may use; "
                         "page skipped\n"))
        << err;
    EXPECT_FALSE(contains(err, "PAGE: 1 ")) << err;
    EXPECT_TRUE(contains(err, "PAGE: 2 1")) << err;
    // Only the second page reaches the printer.
    EXPECT_TRUE(contains(out, "BITMAP 0,0,2,8,0,")) << out.substr(0, 400);
    EXPECT_FALSE(contains(out, ",200000,")) << out.substr(0, 400);
    // The refused page's buffer alone would be 165 MiB.
    EXPECT_LT(usage.ru_maxrss, 100L * 1024) << "peak " << usage.ru_maxrss << " KiB";
}

struct BudgetCase {
    const char *name;
    std::vector<std::string> ppdLines;
    std::string options;
    unsigned width, rows;
    std::vector<uint8_t> pixel;
    const char *budgetMiB;  // ZORVAN_MEMORY_BUDGET; nullptr: unset
    bool prints;
};

// The same page costs what its language and mode make of it: under one
// budget a page prints in a threshold mode and is refused in a pipeline mode,
// on the two-colour printer a gray page costs more than an RGBA one of the
// same size, and a narrow page for a protocol model is costed at the size of
// the model's page it is scaled onto. A refused page is the job's only page
// here, so the job ends as one that printed nothing.
TEST(PageBudget, EachLanguageAndModeIsCostedBeforeThePageIsRead) {
    const std::vector<uint8_t> opaqueWhite = {0xFF, 0xFF, 0xFF, 0xFF};
    const BudgetCase cases[] = {
        {"TSPL threshold", zvtest::modelPpdLines("TSPL"), "PrintMode=0", 864, 8000, kWhite, "64", true},
        {"TSPL pipeline", zvtest::modelPpdLines("TSPL"), "PrintMode=8", 864, 8000, kWhite, "64", false},
        {"ZPL dither", zvtest::modelPpdLines("ZPL"), "PrintMode=2", 864, 8000, kWhite, "64", true},
        {"ZPL pipeline", zvtest::modelPpdLines("ZPL"), "PrintMode=7", 864, 8000, kWhite, "64", false},
        {"CPCL threshold", zvtest::modelPpdLines("CPCL"), "PrintMode=1", 864, 8000, kWhite, "64", true},
        {"CPCL pipeline", zvtest::modelPpdLines("CPCL"), "PrintMode=6", 864, 8000, kWhite, "64", false},
        {"ESC/POS dither", zvtest::modelPpdLines("ESC"), "PrintMode=4", 864, 8000, kWhite, "64", true},
        {"ESC/POS automatic is a pipeline mode", zvtest::modelPpdLines("ESC"), "PrintMode=5", 864, 8000, kWhite, "64",
         false},
        {"SF ZPL threshold", zvtest::modelPpdLines("ZV_SF_ZPL"), "PrintMode=0", 864, 8000, kWhite, "64", true},
        {"SF ZPL pipeline", zvtest::modelPpdLines("ZV_SF_ZPL"), "PrintMode=8", 864, 8000, kWhite, "64", false},
        // The printable width bounds what the encoder is given.
        {"TSPL pipeline, clipped to 48 mm",
         [] {
             auto lines = zvtest::modelPpdLines("TSPL");
             lines.push_back("*ZVAttr PrinterMaxWidthMM: \"48\"");
             return lines;
         }(),
         "PrintMode=8", 864, 8000, kWhite, "64", true},
        {"two-colour RGBA threshold", zvtest::modelPpdLines("Two_Color_TSPL"), "PrintMode=0", 864, 3000, opaqueWhite,
         "64", true},
        {"two-colour gray widened", zvtest::modelPpdLines("Two_Color_TSPL"), "PrintMode=0", 864, 8000, kWhite, "88",
         false},
        {"two-colour RGBA same size", zvtest::modelPpdLines("Two_Color_TSPL"), "PrintMode=0", 864, 8000, opaqueWhite,
         "88", true},
        {"two-colour pipeline", zvtest::modelPpdLines("Two_Color_TSPL"), "PrintMode=8", 864, 3000, opaqueWhite, "64",
         false},
        {"L40 label", zvtest::modelPpdLines("L40"), "PrintMode=9", 864, 1200, kWhite, "128", true},
        {"L40 narrow page scaled onto the head", zvtest::modelPpdLines("L40"), "PrintMode=9", 8, 40000, kWhite, "128",
         false},
        {"L40 narrow page under the default budget", zvtest::modelPpdLines("L40"), "PrintMode=0", 8, 40000, kWhite,
         nullptr, false},
    };
    zvtest::TempDir dir;
    for (const BudgetCase &c : cases) {
        FilterRun run;
        run.ppdPath = zvtest::writePpd(dir.file("p.ppd"), c.ppdLines);
        run.options = c.options;
        run.input = job({zvtest::uniformRasterPage(c.width, c.rows, c.pixel)});
        if (c.budgetMiB != nullptr) run.env["ZORVAN_MEMORY_BUDGET"] = c.budgetMiB;
        const FilterResult r = zvtest::runFilter(run);
        const std::string budget = c.budgetMiB != nullptr ? c.budgetMiB : "1024";
        EXPECT_EQ(r.status, c.prints ? 0 : 1) << c.name << "\n" << r.err;
        EXPECT_EQ(contains(r.err, "PAGE: 1 1"), c.prints) << c.name << "\n" << r.err;
        EXPECT_EQ(contains(r.err, "ERROR: Page 1 would need about "), !c.prints) << c.name << "\n" << r.err;
        if (!c.prints) {
            EXPECT_TRUE(contains(r.err, "more than the " + budget + " MiB a job may use; page skipped\n"))
                << c.name << "\n"
                << r.err;
            EXPECT_TRUE(contains(r.err, "ERROR: No pages were found.\n")) << c.name << "\n" << r.err;
            EXPECT_TRUE(contains(r.logText, "page 1 skipped: estimated ")) << c.name;
        }
    }
}

// ZORVAN_MEMORY_BUDGET takes whole MiB, at least 16; anything else keeps the
// default with a warning, and the page that fits the default prints.
TEST(PageBudget, BudgetFromTheEnvironment) {
    struct EnvCase {
        const char *value;
        bool warns;
        bool prints;  // a pipeline page of about 90 MiB
    } cases[] = {
        {"64", false, false}, {"1024", false, true}, {"abc", true, true},  {"0", true, true},
        {"15", true, true},   {"-64", true, true},   {"64MB", true, true}, {"", true, true},
    };
    zvtest::TempDir dir;
    const std::string ppd = zvtest::writePpd(dir.file("tspl.ppd"), zvtest::modelPpdLines("TSPL"));
    for (const EnvCase &c : cases) {
        FilterRun run;
        run.ppdPath = ppd;
        run.options = "PrintMode=8";
        run.input = job({zvtest::uniformRasterPage(864, 8000, kWhite)});
        run.env["ZORVAN_MEMORY_BUDGET"] = c.value;
        const FilterResult r = zvtest::runFilter(run);
        EXPECT_EQ(contains(r.err, std::string("WARNING: ZORVAN_MEMORY_BUDGET=\"") + c.value +
                                      "\" is not a number of MiB (16 or more); the budget stays 1024 MiB\n"),
                  c.warns)
            << "'" << c.value << "'\n"
            << r.err;
        EXPECT_EQ(contains(r.err, "PAGE: 1 1"), c.prints) << "'" << c.value << "'\n" << r.err;
    }
}

// The estimate never wraps: a header at the limits of its 32-bit fields
// saturates instead of coming out small.
TEST(PageBudget, EstimateSaturatesForAbsurdPages) {
    PageCostQuery query;
    query.deviceType = kDeviceTwoColorTSPL;
    query.printMode = 8;
    query.bytesPerPixel = 1;
    query.bufferBytes = UINT64_MAX - 5;
    query.width = UINT64_MAX / 3;
    query.rows = 0xFFFFFFFFull;
    EXPECT_EQ(estimatePagePeakBytes(query), UINT64_MAX);
    query.bufferBytes = 0;
    EXPECT_EQ(estimatePagePeakBytes(query), UINT64_MAX);
    // Protocol models: a source beyond the scaler's 32-bit sizes.
    query.deviceType = 1;
    query.width = 1ull << 33;
    query.rows = 2;
    EXPECT_EQ(estimatePagePeakBytes(query), UINT64_MAX);
}

}  // namespace
