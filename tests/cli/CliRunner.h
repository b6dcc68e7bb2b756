#pragma once

#include "TestFiles.h"
#include "TestServer.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/types.h>
#include <vector>

namespace lurvik::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The lines of a command's output in sorted order, to compare outputs whose order may differ.
std::vector<std::string> sortedLines(const std::string& text);

// Runs the built lurvik-cli with arguments and collects its exit code and both streams.
CliResult runCli(const std::vector<std::string>& arguments);

// lurvik-cli running in the background, for tests that interrupt it.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& arguments);
    ~CliProcess();
    void interrupt();
    // SIGKILL, as a crash or the system's out-of-memory killer ends a process, and waits for it.
    void killNow();
    // Waits at most timeoutMs for the exit; false when it is still running.
    bool wait(int timeoutMs, CliResult& result);

private:
    pid_t m_pid = -1;
    TemporaryDirectory m_streams{"lurvik-cli"};
};

// The command-line tool reads the user's settings: every test gives it an empty store of its own,
// and a server to crawl.
class CliFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    // Runs python3 on `script` with `arguments`; what it prints, after "python failed: " when it fails.
    std::string python(const std::string& script, const std::string& arguments) const;

    TemporaryHome home{"lurvik-cli-home"};
    const std::string& dir = home.path();
    TestServer server;
};

} // namespace lurvik::test
