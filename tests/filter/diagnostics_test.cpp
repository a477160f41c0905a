// Where a job's diagnostic files go when it runs as CUPS runs it: as a user
// that may not write the CUPS log directory, and beside other jobs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using zvtest::RasterPage;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Two jobs at once: the second finds the first one's files in use and writes
// its own pair; neither job's lines or page data end up in the other's files.
TEST(Diagnostics, ConcurrentJobsKeepTheirOwnFiles) {
    zvtest::TempDir dir;
    const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("TSPL"));
    const std::vector<uint8_t> firstJob = zvtest::makeRaster({RasterPage::gray(16, 2, 0)});
    const std::vector<uint8_t> secondJob = zvtest::makeRaster({RasterPage::gray(24, 3, 0)});

    // The first job waits for its raster on a pipe, its files already open.
    int input[2], output[2];
    ASSERT_EQ(::pipe(input), 0);
    ASSERT_EQ(::pipe(output), 0);
    zvtest::FilterSpawn first;
    first.args = {"7", "ann", "first", "1", ""};
    first.env = {{"PPD", ppd}, {"ZORVAN_LOG_DIR", dir.path()}};
    first.inFd = input[0];
    first.outFd = output[1];
    first.errPath = dir.file("first.err");
    first.beforeExec = [&] {
        ::close(input[1]);
        ::close(output[0]);
    };
    const pid_t pid = zvtest::spawnFilter(first);
    ::close(input[0]);
    ::close(output[1]);
    for (int i = 0; i < 1000 && !contains(zvtest::readFileText(dir.file("LxxLog.log")), "cups_file is not null"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    zvtest::FilterRun second;
    second.args = {"8", "bob", "second", "1", ""};
    second.ppdPath = ppd;
    second.logDir = dir.path();
    second.input = secondJob;
    const zvtest::FilterResult r = zvtest::runFilter(second);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "DEBUG: Another job is writing")) << r.err;

    ASSERT_EQ(::write(input[1], firstJob.data(), firstJob.size()), static_cast<ssize_t>(firstJob.size()));
    ::close(input[1]);
    std::vector<uint8_t> firstOut;
    uint8_t buffer[4096];
    for (ssize_t n; (n = ::read(output[0], buffer, sizeof buffer)) > 0;)
        firstOut.insert(firstOut.end(), buffer, buffer + n);
    ::close(output[0]);
    EXPECT_EQ(zvtest::waitForFilter(pid), 0) << zvtest::readFileText(dir.file("first.err"));

    const std::string firstLog = zvtest::readFileText(dir.file("LxxLog.log"));
    const std::string secondLog = zvtest::readFileText(dir.file("LxxLog-8.log"));
    EXPECT_TRUE(contains(firstLog, "argv[1]:7")) << firstLog;
    EXPECT_FALSE(contains(firstLog, "argv[1]:8")) << firstLog;
    EXPECT_TRUE(contains(secondLog, "argv[1]:8")) << secondLog;
    EXPECT_FALSE(contains(secondLog, "argv[1]:7")) << secondLog;
    EXPECT_EQ(zvtest::readFileBytes(dir.file("LxxSendData.bin")), firstOut);
    EXPECT_EQ(zvtest::readFileBytes(dir.file("LxxSendData-8.bin")), r.out);
}

// Under cupsd the filter runs as a user that cannot write /var/log/cups/: the
// files go to the job's temporary directory, and a DEBUG line says where.
TEST(Diagnostics, UnwritableLogDirectoryFallsBackToTheJobsTemporaryDirectory) {
    const bool root = ::geteuid() == 0;
    if (!root && ::access("/var/log/cups", W_OK) == 0) GTEST_SKIP() << "this user may write /var/log/cups";
    zvtest::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // for the unprivileged user below
    const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), zvtest::modelPpdLines("TSPL"));
    zvtest::writeFileBytes(dir.file("job.ras"), zvtest::makeRaster({RasterPage::gray(16, 2, 0)}));
    ::chmod(ppd.c_str(), 0644);

    zvtest::FilterSpawn job;
    job.env = {{"PPD", ppd}, {"TMPDIR", dir.path()}};
    job.unset = {"ZORVAN_LOG_DIR"};
    job.inFd = ::open(dir.file("job.ras").c_str(), O_RDONLY);
    job.errPath = dir.file("err.txt");
    // As root, become the unprivileged "nobody" first, as cupsd runs filters
    // as lp: that user can write neither /var/log/cups nor anything of root's.
    if (root)
        job.beforeExec = [] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
        };
    const int status = zvtest::waitForFilter(zvtest::spawnFilter(job));
    ::close(job.inFd);
    const std::string err = zvtest::readFileText(dir.file("err.txt"));
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(contains(err, "DEBUG: Diagnostic files are in " + dir.path() + "/ (/var/log/cups/ is not writable)"))
        << err;
    EXPECT_TRUE(contains(zvtest::readFileText(dir.file("LxxLog.log")), "Exit main"));
    EXPECT_FALSE(zvtest::readFileBytes(dir.file("LxxSendData.bin")).empty());
}

}  // namespace
