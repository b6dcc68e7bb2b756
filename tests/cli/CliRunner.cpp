#include "CliRunner.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <sstream>

extern char** environ;

namespace lurvik::test {

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

CliProcess::CliProcess(const std::vector<std::string>& arguments) {
    const std::string& dir = m_streams.path();
    if (dir.empty())
        return;
    std::vector<std::string> argv{LURVIK_CLI};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&m_pid, LURVIK_CLI, &actions, nullptr, pointers.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

CliProcess::~CliProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

void CliProcess::interrupt() {
    if (m_pid > 0)
        kill(m_pid, SIGINT);
}

void CliProcess::killNow() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

bool CliProcess::wait(int timeoutMs, CliResult& result) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        int status = 0;
        pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            result.out = readFileBytes(m_streams.path() + "/out");
            result.err = readFileBytes(m_streams.path() + "/err");
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

CliResult runCli(const std::vector<std::string>& arguments) {
    CliProcess process(arguments);
    CliResult result;
    process.wait(120000, result);
    return result;
}

std::string CliFixture::python(const std::string& script, const std::string& arguments) const {
    writeFileBytes(path("check.py"), script);
    std::string command = "python3 " + path("check.py") + " " + arguments + " > " + path("py.out") + " 2>&1";
    int status = std::system(command.c_str());
    return (status == 0 ? "" : "python failed: ") + readFileBytes(path("py.out"));
}

} // namespace lurvik::test
