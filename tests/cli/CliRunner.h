#pragma once

#include "TimeScale.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace lurvik::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built lurvik-cli with arguments and collects its exit code and both streams.
CliResult runCli(const std::vector<std::string>& arguments);

// lurvik-cli running in the background, for tests that interrupt it.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& arguments);
    ~CliProcess();
    void interrupt();
    // Waits at most timeoutMs for the exit; false when it is still running.
    bool wait(int timeoutMs, CliResult& result);

private:
    pid_t m_pid = -1;
    std::string m_dir;
};

} // namespace lurvik::test
