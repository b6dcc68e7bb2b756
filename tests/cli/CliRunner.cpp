#include "CliRunner.h"

#include "TestFiles.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace lurvik::test {

CliProcess::CliProcess(const std::vector<std::string>& arguments) {
    char pattern[] = "/tmp/lurvik-cli-XXXXXX";
    if (!mkdtemp(pattern))
        return;
    m_dir = pattern;
    std::vector<std::string> argv{LURVIK_CLI};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (m_dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, (m_dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (posix_spawn(&m_pid, LURVIK_CLI, &actions, nullptr, pointers.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

CliProcess::~CliProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (!m_dir.empty())
        std::filesystem::remove_all(m_dir);
}

void CliProcess::interrupt() {
    if (m_pid > 0)
        kill(m_pid, SIGINT);
}

bool CliProcess::wait(int timeoutMs, CliResult& result) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        int status = 0;
        pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            result.out = readFileBytes(m_dir + "/out");
            result.err = readFileBytes(m_dir + "/err");
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

} // namespace lurvik::test
