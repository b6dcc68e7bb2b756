#pragma once

#include "RenderTypes.h"

#include <string>
#include <sys/types.h>

namespace lurvik {

// The path of chromium-headless-shell, or empty when it is not installed. LURVIK_BROWSER names
// another program (a test's stand-in, a browser kept elsewhere).
std::string findBrowser(const std::string& configured);

// One headless browser process speaking the DevTools protocol on --remote-debugging-pipe: the
// browser reads commands on its fd 3 and writes replies and events on its fd 4. Each process gets a fresh
// profile directory of its own, removed when it ends. Not thread-safe: one owner.
class BrowserProcess {
public:
    BrowserProcess() = default;
    ~BrowserProcess() { stop(); }
    BrowserProcess(const BrowserProcess&) = delete;
    BrowserProcess& operator=(const BrowserProcess&) = delete;

    // None when the process runs; NotInstalled or LaunchFailed.
    [[nodiscard]] RenderError start(const std::string& program, const RendererOptions& options);
    // Kills the process, reaps it and removes its profile. Harmless when none runs.
    void stop();
    bool isRunning() const { return m_pid > 0; }
    // The end the browser's commands are written to, and the one its messages are read from.
    int commandFd() const { return m_commandFd; }
    int messageFd() const { return m_messageFd; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_commandFd = -1;
    int m_messageFd = -1;
    std::string m_profile;
};

} // namespace lurvik
