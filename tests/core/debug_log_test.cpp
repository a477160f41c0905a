#include "core/debug_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

class DebugLog : public ::testing::Test {
  protected:
    void TearDown() override { closeDebugLog(); }
    zvtest::TempDir dir;
    zvtest::ScopedLogDir logDir{dir.path()};
};

TEST_F(DebugLog, LineHasTimestampPrefixAndCrLf) {
    EXPECT_EQ(writeLogString("Gray2Bytes: Enter function\r\n"), 28);
    EXPECT_EQ(writeLogString("argv[%d]:%s", 1, "42"), 10);
    closeDebugLog();
    const std::string text = zvtest::readFileText(dir.file("LxxLog.log"));
    // "YYYY-MM-DD hh:mm:ss " before each message.
    auto stamped = [](const std::string &line) {
        const std::string shape = "dddd-dd-dd dd:dd:dd ";
        if (line.size() < shape.size()) return false;
        for (size_t i = 0; i < shape.size(); ++i) {
            const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
            if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
        }
        return true;
    };
    const std::string first = "Gray2Bytes: Enter function\r\n\r\n";
    const std::string second = "argv[1]:42\r\n";
    ASSERT_EQ(text.size(), 20 + first.size() + 20 + second.size()) << text;
    EXPECT_TRUE(stamped(text)) << text;
    EXPECT_EQ(text.substr(20, first.size()), first);
    EXPECT_TRUE(stamped(text.substr(20 + first.size()))) << text;
    EXPECT_EQ(text.substr(40 + first.size()), second);
}

TEST_F(DebugLog, DumpHoldsTheBytesUnchangedAndFilesArePrivate) {
    const uint8_t bytes[] = {0x00, 0x1B, 0x40, 0xFF, '\n'};
    writeDebugData(bytes, sizeof bytes);
    writeDebugData(nullptr, 10);  // ignored
    writeDebugData(bytes, 2);
    writeLogString("x");
    closeDebugLog();
    EXPECT_EQ(zvtest::readFileBytes(dir.file("LxxSendData.bin")),
              (std::vector<uint8_t>{0x00, 0x1B, 0x40, 0xFF, '\n', 0x00, 0x1B}));
    for (const char *name : {"LxxSendData.bin", "LxxLog.log"}) {
        struct stat st {};
        ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << name;
    }
}

TEST_F(DebugLog, EachRunStartsTheFilesAfresh) {
    writeLogString("first job");
    writeDebugData(reinterpret_cast<const uint8_t *>("AAAA"), 4);
    closeDebugLog();
    writeLogString("second job");
    writeDebugData(reinterpret_cast<const uint8_t *>("B"), 1);
    closeDebugLog();
    const std::string log = zvtest::readFileText(dir.file("LxxLog.log"));
    EXPECT_EQ(log.find("first job"), std::string::npos);
    EXPECT_NE(log.find("second job"), std::string::npos);
    EXPECT_EQ(zvtest::readFileText(dir.file("LxxSendData.bin")), "B");
}

TEST_F(DebugLog, SymbolicLinksAreNotFollowed) {
    const std::string victim = dir.file("victim.txt");
    zvtest::writeFileText(victim, "keep me");
    ASSERT_EQ(::symlink(victim.c_str(), dir.file("LxxLog.log").c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), dir.file("LxxSendData.bin").c_str()), 0);
    EXPECT_EQ(writeLogString("hello"), -1);
    writeDebugData(reinterpret_cast<const uint8_t *>("x"), 1);
    closeDebugLog();
    EXPECT_EQ(zvtest::readFileText(victim), "keep me");
}

TEST_F(DebugLog, UnwritableDirectoryDisablesTheChannelEveryTime) {
    ::setenv("ZORVAN_LOG_DIR", dir.file("missing/dir").c_str(), 1);
    EXPECT_EQ(writeLogString("one"), -1);
    EXPECT_EQ(writeLogString("two"), -1);
    writeDebugData(reinterpret_cast<const uint8_t *>("x"), 1);  // silently nothing
    EXPECT_EQ(pLogFile, nullptr);
    EXPECT_EQ(pHexFile, nullptr);
}

}  // namespace

namespace {

// A hard link at the log path, or a file of another user, is neither
// truncated nor re-moded nor written: the channel stays off.
TEST_F(DebugLog, HardLinksAndForeignFilesAreLeftAlone) {
    const std::string victim = dir.file("victim.txt");
    zvtest::writeFileText(victim, "keep me");
    ASSERT_EQ(::chmod(victim.c_str(), 0604), 0);
    ASSERT_EQ(::link(victim.c_str(), dir.file("LxxLog.log").c_str()), 0);
    ASSERT_EQ(::link(victim.c_str(), dir.file("LxxSendData.bin").c_str()), 0);
    EXPECT_EQ(writeLogString("hello"), -1);
    writeDebugData(reinterpret_cast<const uint8_t *>("x"), 1);
    closeDebugLog();
    EXPECT_EQ(zvtest::readFileText(victim), "keep me");
    struct stat st {};
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);

    if (::geteuid() != 0) return;  // only root can give a file away
    ASSERT_EQ(::unlink(dir.file("LxxLog.log").c_str()), 0);
    zvtest::writeFileText(dir.file("LxxLog.log"), "someone else's");
    ASSERT_EQ(::chown(dir.file("LxxLog.log").c_str(), 65534, 65534), 0);
    EXPECT_EQ(writeLogString("hello"), -1);
    closeDebugLog();
    EXPECT_EQ(zvtest::readFileText(dir.file("LxxLog.log")), "someone else's");
}

// While another job holds the shared files, this job writes its own pair with
// its job id in the names, and the other job's files stay as they are.
TEST_F(DebugLog, FilesInUseByAnotherJobGetAPairOfTheirOwn) {
    zvtest::writeFileText(dir.file("LxxLog.log"), "other job\r\n");
    const int other = ::open(dir.file("LxxLog.log").c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    setDebugLogJobId(42);
    EXPECT_GT(writeLogString("mine"), 0);
    writeDebugData(reinterpret_cast<const uint8_t *>("x"), 1);
    closeDebugLog();
    ::close(other);
    setDebugLogJobId(0);
    EXPECT_EQ(zvtest::readFileText(dir.file("LxxLog.log")), "other job\r\n");
    EXPECT_NE(zvtest::readFileText(dir.file("LxxLog-42.log")).find("mine"), std::string::npos);
    EXPECT_EQ(zvtest::readFileText(dir.file("LxxSendData-42.bin")), "x");
    EXPECT_FALSE(zvtest::fileExists(dir.file("LxxSendData.bin")));

    // Once the other job is done, the next one takes the shared names again.
    writeLogString("next");
    closeDebugLog();
    EXPECT_NE(zvtest::readFileText(dir.file("LxxLog.log")).find("next"), std::string::npos);
}

}  // namespace
