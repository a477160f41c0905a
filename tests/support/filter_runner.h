// Runs the built rastertozorvan executable as CUPS would.
#ifndef ZV_TESTS_SUPPORT_FILTER_RUNNER_H
#define ZV_TESTS_SUPPORT_FILTER_RUNNER_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zvtest {

struct FilterRun {
    std::vector<std::string> args;           // argv[1..]; defaults to job 1, user, title, copies 1, options ""
    std::string options;                     // argv[5] when args is empty
    std::string ppdPath;                     // PPD environment variable; empty: unset
    std::vector<uint8_t> input;              // raster on standard input (or in rasterFile)
    bool inputAsFile = false;                // pass the raster as a seventh argument instead
    std::string logDir;                      // ZORVAN_LOG_DIR; empty: a fresh temporary directory
    std::string deviceUri;                   // DEVICE_URI; empty: unset
    std::map<std::string, std::string> env;  // further environment variables
};

struct FilterResult {
    std::vector<uint8_t> out;   // standard output: printer data
    std::string err;            // standard error
    int status = -1;            // exit status, or -1 when the process did not exit normally
    std::string logText;        // LxxLog.log after the run
    std::vector<uint8_t> dump;  // LxxSendData.bin after the run
};

FilterResult runFilter(const FilterRun &run);

// The filter started without waiting for it, for tests that act while it
// runs (cancel it, block its input, run a second job beside it).
struct FilterSpawn {
    std::vector<std::string> args = {"1", "tester", "test job", "1", ""};  // argv[1..]
    std::map<std::string, std::string> env;                                // set in the child
    std::vector<std::string> unset;                                        // removed in the child
    int inFd = -1;                                                         // standard input; -1: /dev/null
    int outFd = -1;                                                        // standard output; -1: /dev/null
    std::string errPath;                                                   // standard error; empty: /dev/null
    std::function<void()> beforeExec;                                      // runs in the child, last
};
pid_t spawnFilter(const FilterSpawn &spawn);

// Waits for a spawned filter: its exit status, -1 when a signal ended it.
int waitForFilter(pid_t pid);

// Path of the built executable.
const char *filterPath();

}  // namespace zvtest

#endif
