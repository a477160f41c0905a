#include "tests/support/filter_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace zvtest {

const char *filterPath() { return ZV_FILTER_PATH; }

FilterResult runFilter(const FilterRun &run) {
    TempDir work;
    std::string logDir = run.logDir.empty() ? work.path() : run.logDir;

    const std::string inputPath = work.file("input.ras");
    writeFileBytes(inputPath, run.input);
    const std::string outPath = work.file("stdout.bin");
    const std::string errPath = work.file("stderr.txt");

    std::vector<std::string> args;
    args.push_back("rastertozorvan");
    if (run.args.empty()) {
        args.insert(args.end(), {"1", "tester", "test job", "1", run.options});
        if (run.inputAsFile) args.push_back(inputPath);
    } else {
        args.insert(args.end(), run.args.begin(), run.args.end());
    }

    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = ::open(run.inputAsFile ? "/dev/null" : inputPath.c_str(), O_RDONLY);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::unsetenv("PPD");
        ::unsetenv("DEVICE_URI");
        if (!run.ppdPath.empty()) ::setenv("PPD", run.ppdPath.c_str(), 1);
        if (!run.deviceUri.empty()) ::setenv("DEVICE_URI", run.deviceUri.c_str(), 1);
        ::setenv("ZORVAN_LOG_DIR", logDir.c_str(), 1);
        for (const auto &[name, value] : run.env) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char *> argv;
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(filterPath(), argv.data());
        ::_exit(127);
    }
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {}

    FilterResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = readFileBytes(outPath);
    result.err = readFileText(errPath);
    result.logText = readFileText(logDir + "/LxxLog.log");
    result.dump = readFileBytes(logDir + "/LxxSendData.bin");
    return result;
}

pid_t spawnFilter(const FilterSpawn &spawn) {
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid != 0) return pid;
    const int in = spawn.inFd >= 0 ? spawn.inFd : ::open("/dev/null", O_RDONLY);
    const int out = spawn.outFd >= 0 ? spawn.outFd : ::open("/dev/null", O_WRONLY);
    const int err = spawn.errPath.empty() ? ::open("/dev/null", O_WRONLY)
                                          : ::open(spawn.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (const std::string &name : spawn.unset) ::unsetenv(name.c_str());
    for (const auto &[name, value] : spawn.env) ::setenv(name.c_str(), value.c_str(), 1);
    if (spawn.beforeExec) spawn.beforeExec();
    std::vector<std::string> args = {"rastertozorvan"};
    args.insert(args.end(), spawn.args.begin(), spawn.args.end());
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(filterPath(), argv.data());
    ::_exit(127);
}

int waitForFilter(pid_t pid) {
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {}
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

}  // namespace zvtest
