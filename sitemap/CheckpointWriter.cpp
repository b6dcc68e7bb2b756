#include "CheckpointWriter.h"

#include "SiteMapFile.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

namespace lurvik {

void CheckpointWriter::configure(std::string fileName, std::vector<std::string> arguments, int seconds) {
    m_fileName = std::move(fileName);
    m_arguments = std::move(arguments);
    m_interval = std::chrono::seconds(seconds > 0 ? seconds : 0);
    m_last = std::chrono::steady_clock::now();
}

ForkedTask::State CheckpointWriter::counted(ForkedTask::State state) {
    if (state == ForkedTask::State::Succeeded)
        ++m_written;
    return state;
}

ForkedTask::State CheckpointWriter::step() {
    const ForkedTask::State state = counted(m_task.poll());
    if (state == ForkedTask::State::Running || m_interval.count() == 0 || m_fileName.empty())
        return state;
    // A copy the system refuses to make is a checkpoint that failed, said like any other.
    if (std::chrono::steady_clock::now() - m_last >= m_interval && start() != 0)
        return ForkedTask::State::Failed;
    return state;
}

int CheckpointWriter::start() {
    const auto started = std::chrono::steady_clock::now();
    m_last = started;
    const pid_t crawl = ::getpid();
    const int refused = m_task.start([this, crawl]() -> std::string {
        // A crawl killed outright takes its writer with it: a checkpoint finishing after the
        // crawl was resumed would replace the newer map.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != crawl)
            return "the crawl ended";
        // The crawl comes first: the writer takes the time the agents and the scanner leave over,
        // and so do the compressing threads it starts, which inherit this.
        (void)::setpriority(PRIO_PROCESS, 0, 19);
        SiteMapFile map;
        map.fileName = m_fileName;
        map.frontier.arguments = m_arguments;
        map.frontier.isLive = true;
        map.frontier.waitLeft = m_waitLeft;
        const int result = map.save(m_engine, nullptr, false);
        if (result == 0)
            return {};
        return "cannot save " + m_fileName + ": " + map.failureText(result);
    });
    const double pauseMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    if (pauseMs > m_longestPauseMs)
        m_longestPauseMs = pauseMs;
    return refused;
}

ForkedTask::State CheckpointWriter::writeNow() {
    (void)finish();
    if (m_fileName.empty())
        return ForkedTask::State::Idle;
    if (start() != 0)
        return ForkedTask::State::Failed;
    return finish();
}

ForkedTask::State CheckpointWriter::finish() {
    return counted(m_task.wait());
}

} // namespace lurvik
