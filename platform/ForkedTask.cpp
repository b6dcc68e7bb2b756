#include "ForkedTask.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

namespace lurvik {

namespace {

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string readAll(int fd) {
    std::string text;
    char buffer[512];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

ForkedTask::~ForkedTask() {
    if (m_pid > 0)
        (void)wait();
}

int ForkedTask::start(const std::function<std::string()>& work) {
    if (m_pid > 0)
        return EBUSY;
    auto refused = [this](int error) {
        m_errorText = std::string("cannot start the writer: ") + std::strerror(error);
        return error;
    };
    m_errorText.clear();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return refused(errno);
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return refused(error);
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::string failure;
        try {
            failure = work();
        } catch (const std::exception& error) {
            failure = error.what();
        } catch (...) {
            failure = "the writer failed";
        }
        writeAll(fds[1], failure);
        // No exit handlers and no destructors: they belong to the caller's process, whose
        // other threads' objects this copy holds only half-changed.
        ::_exit(failure.empty() ? 0 : 1);
    }
    ::close(fds[1]);
    m_pid = pid;
    m_readFd = fds[0];
    return 0;
}

ForkedTask::State ForkedTask::collect(pid_t ended, int status) {
    const int lostError = errno;
    // The copy has ended, so the pipe holds all it said and reading it cannot block.
    std::string said = ended > 0 ? readAll(m_readFd) : std::string();
    ::close(m_readFd);
    m_readFd = -1;
    m_pid = -1;
    if (ended < 0)
        m_errorText = std::string("the writer was lost: ") + std::strerror(lostError);
    else if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return State::Succeeded;
    else if (!said.empty())
        m_errorText = said;
    else if (WIFSIGNALED(status))
        m_errorText = "the writer was stopped by signal " + std::to_string(WTERMSIG(status));
    else
        m_errorText = "the writer failed";
    return State::Failed;
}

ForkedTask::State ForkedTask::poll() {
    if (m_pid <= 0)
        return State::Idle;
    int status = 0;
    pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
    if (ended == 0 || (ended < 0 && errno == EINTR))
        return State::Running;
    return collect(ended, status);
}

ForkedTask::State ForkedTask::wait() {
    if (m_pid <= 0)
        return State::Idle;
    int status = 0;
    pid_t ended;
    do
        ended = ::waitpid(m_pid, &status, 0);
    while (ended < 0 && errno == EINTR);
    return collect(ended, status);
}

} // namespace lurvik
