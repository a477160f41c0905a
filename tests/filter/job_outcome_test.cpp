// How a job ends when its output fails or CUPS cancels it: the filter process
// with its standard output on a pipe or a full device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using zvtest::RasterPage;

// Starts the filter on `raster` (a file) with standard output on `outFd` and
// standard error into `errPath`.
pid_t startFilter(const std::string &ppd, const std::string &raster, int outFd, const std::string &errPath,
                  const std::string &logDir) {
    zvtest::FilterSpawn spawn;
    spawn.inFd = ::open(raster.c_str(), O_RDONLY);
    spawn.outFd = outFd;
    spawn.errPath = errPath;
    spawn.env = {{"PPD", ppd}, {"ZORVAN_LOG_DIR", logDir}};
    const pid_t pid = zvtest::spawnFilter(spawn);
    ::close(spawn.inFd);
    return pid;
}

int waitFor(pid_t pid) { return zvtest::waitForFilter(pid); }

// Pages of scattered black dots, which no printer language compresses much,
// each far larger than a pipe holds, so that writing one blocks until the
// reader takes it.
std::vector<uint8_t> dottedPages(int count) {
    RasterPage page = RasterPage::gray(832, 1000);
    uint32_t state = 12345;
    for (uint8_t &pixel : page.pixels) {
        state = state * 1103515245u + 12345u;
        pixel = (state >> 16) & 1 ? 0 : 255;
    }
    return zvtest::makeRaster(std::vector<RasterPage>(count, page));
}

size_t count(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

const char *const kLanguages[] = {"TSPL", "ZPL", "CPCL", "ESC", "ZV_SF_ZPL", "Two_Color_TSPL", "L40"};

// A full disk or a closed pipe stops the job at once with an error: no later
// page is tried, none is counted, and the job fails.
TEST(JobOutcome, WriteErrorStopsTheJobAtOnce) {
    zvtest::TempDir dir;
    zvtest::writeFileBytes(dir.file("job.ras"), dottedPages(3));
    struct Output {
        const char *name;
        const char *reason;
    } outputs[] = {{"full disk", "No space left on device"}, {"closed pipe", "Broken pipe"}};
    for (const char *language : {"TSPL", "ESC"}) {
        const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines(language));
        for (const Output &output : outputs) {
            int outFd = -1, readEnd = -1;
            if (std::string(output.name) == "full disk") {
                outFd = ::open("/dev/full", O_WRONLY);
            } else {
                int fds[2];
                ASSERT_EQ(::pipe(fds), 0);
                readEnd = fds[0];
                outFd = fds[1];
                ::close(readEnd);  // nobody will ever read
            }
            ASSERT_GE(outFd, 0);
            const pid_t pid = startFilter(ppd, dir.file("job.ras"), outFd, dir.file("err.txt"), dir.path());
            ::close(outFd);
            const int status = waitFor(pid);
            const std::string err = zvtest::readFileText(dir.file("err.txt"));
            const std::string where = std::string(language) + ", " + output.name + "\n" + err;
            EXPECT_EQ(status, 1) << where;
            EXPECT_EQ(count(err, "ERROR: Unable to write printer data: " + std::string(output.reason) + "\n"), 1u)
                << where;
            EXPECT_EQ(count(err, "PAGE:"), 0u) << where;
            EXPECT_EQ(count(err, "No pages were found"), 0u) << where;
        }
    }
}

// SIGTERM while a page is being written: that page is finished, no further
// page is sent, the job's closing bytes follow, and the stream equals the
// same job cut after whole pages.
TEST(JobOutcome, CancelFinishesThePageInProgressOnEveryLanguage) {
    zvtest::TempDir dir;
    constexpr int kPages = 6;
    zvtest::writeFileBytes(dir.file("job.ras"), dottedPages(kPages));
    for (const char *language : kLanguages) {
        const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines(language));
        auto uncancelled = [&](int pages) {
            zvtest::FilterRun run;
            run.ppdPath = ppd;
            run.input = dottedPages(pages);
            return zvtest::runFilter(run).out;
        };
        const std::vector<uint8_t> one = uncancelled(1), two = uncancelled(2);
        if (one.empty()) continue;  // a printer whose driver sends nothing yet
        const size_t pageBytes = two.size() - one.size();
        const size_t frameBytes = one.size() - pageBytes;  // job prologue and epilogue
        ASSERT_GT(pageBytes, 100000u) << language << ": a page must not fit the pipe";

        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = startFilter(ppd, dir.file("job.ras"), fds[1], dir.file("err.txt"), dir.path());
        ::close(fds[1]);
        std::vector<uint8_t> out;
        uint8_t buffer[4096];
        bool signalled = false;
        for (;;) {
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            out.insert(out.end(), buffer, buffer + n);
            // Well into the first page, whose writer now waits for us.
            if (!signalled && out.size() > frameBytes + 8192) {
                ::kill(pid, SIGTERM);
                signalled = true;
            }
        }
        ::close(fds[0]);
        const int status = waitFor(pid);
        const std::string err = zvtest::readFileText(dir.file("err.txt"));
        EXPECT_EQ(status, 0) << language << "\n" << err;
        EXPECT_NE(err.find("INFO: Job cancelled"), std::string::npos) << language << "\n" << err;
        ASSERT_GE(out.size(), frameBytes + pageBytes) << language;
        const size_t pagesSent = (out.size() - frameBytes) / pageBytes;
        EXPECT_EQ(out.size(), frameBytes + pagesSent * pageBytes) << language << ": the stream ends inside a page";
        EXPECT_LT(pagesSent, static_cast<size_t>(kPages)) << language << ": the cancel sent every page";
        EXPECT_EQ(out, uncancelled(static_cast<int>(pagesSent))) << language;
        EXPECT_EQ(count(err, "PAGE:"), pagesSent) << language << "\n" << err;
    }
}

}  // namespace
