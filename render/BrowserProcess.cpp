#include "BrowserProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace lurvik {

namespace {

bool isExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// Every fd at or above this in the child is one of ours on its way to 3 or 4: the pipes' own
// numbers may be 3 and 4 already, the wrong way round.
constexpr int kParkedFd = 100;
// How long a browser whose pipe was closed may take to end by itself.
constexpr int kGracefulEndMs = 2000;

} // namespace

std::string findBrowser(const std::string& configured) {
    if (!configured.empty())
        return isExecutable(configured) ? configured : std::string();
    if (const char* named = std::getenv("LURVIK_BROWSER"); named && *named)
        return isExecutable(named) ? std::string(named) : std::string();
    // Debian's /usr/bin entry is a shell script that runs the browser as its child: the program
    // itself comes first, so that the process we watch is the browser.
    for (const char* path : {"/usr/lib/chromium/chromium-headless-shell", "/usr/bin/chromium-headless-shell",
                             "/usr/local/bin/chromium-headless-shell"}) {
        if (isExecutable(path))
            return path;
    }
    return {};
}

RenderError BrowserProcess::start(const std::string& program, const RendererOptions& options) {
    stop();
    if (!isExecutable(program))
        return RenderError::NotInstalled;
    char profile[] = "/tmp/lurvik-browser-XXXXXX";
    if (!mkdtemp(profile))
        return RenderError::LaunchFailed;
    m_profile = profile;
    // Socket pairs rather than pipes: a write to a browser that has just ended then fails with
    // EPIPE (MSG_NOSIGNAL) instead of raising SIGPIPE in the whole program.
    int commands[2];
    int messages[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, commands) != 0)
        return RenderError::LaunchFailed;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, messages) != 0) {
        close(commands[0]);
        close(commands[1]);
        return RenderError::LaunchFailed;
    }
    std::vector<std::string> arguments = {
        program,
        "--headless",
        "--remote-debugging-pipe",
        "--user-data-dir=" + m_profile,
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-extensions",
        "--disable-component-update",
        "--disable-background-networking",
        "--disable-sync",
        "--disable-default-apps",
        "--disable-breakpad",
        "--mute-audio",
        "--hide-scrollbars",
        // A rendered page's links are what a crawler reads, not what it draws.
        "--disable-gpu",
        // Frames of other sites stay in their page's process, so that the page's request
        // interception sees their requests too.
        "--disable-features=IsolateOrigins,site-per-process",
    };
    // The browser refuses to run as root with its sandbox on.
    if (geteuid() == 0)
        arguments.push_back("--no-sandbox");
    if (!options.proxy.empty()) {
        arguments.push_back("--proxy-server=http://" + options.proxy);
        // Loopback addresses go direct by default; the crawl sends them to the proxy too.
        arguments.push_back("--proxy-bypass-list=<-loopback>");
    }
    arguments.push_back("about:blank");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, commands[0], kParkedFd);
    posix_spawn_file_actions_adddup2(&actions, messages[1], kParkedFd + 1);
    posix_spawn_file_actions_adddup2(&actions, kParkedFd, 3);
    posix_spawn_file_actions_adddup2(&actions, kParkedFd + 1, 4);
    posix_spawn_file_actions_addclose(&actions, kParkedFd);
    posix_spawn_file_actions_addclose(&actions, kParkedFd + 1);
    // The browser's chatter on its standard streams is none of the crawl's business.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // A group of its own: stop() ends a wrapper script and the browser under it alike, and
    // Ctrl-C at a terminal reaches the crawl, which stops the browser itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(commands[0]);
    close(messages[1]);
    if (spawned != 0) {
        close(commands[1]);
        close(messages[0]);
        std::filesystem::remove_all(m_profile);
        m_profile.clear();
        return RenderError::LaunchFailed;
    }
    m_pid = pid;
    m_commandFd = commands[1];
    m_messageFd = messages[0];
    return RenderError::None;
}

void BrowserProcess::stop() {
    if (m_commandFd >= 0)
        close(m_commandFd);
    if (m_messageFd >= 0)
        close(m_messageFd);
    m_commandFd = m_messageFd = -1;
    if (m_pid > 0) {
        // With its pipe closed the browser ends by itself and takes its helper processes with it;
        // one that does not is killed, group and all.
        bool ended = false;
        for (int waited = 0; waited < kGracefulEndMs && !ended; waited += 10) {
            ended = waitpid(m_pid, nullptr, WNOHANG) == m_pid;
            if (!ended)
                usleep(10000);
        }
        kill(-m_pid, SIGKILL);
        while (!ended && waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    if (!m_profile.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_profile, ignored);
        m_profile.clear();
    }
}

} // namespace lurvik
