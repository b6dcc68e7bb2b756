#include "Renderer.h"

#include "BrowserProcess.h"
#include "DevToolsMessages.h"
#include "RenderTab.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>

namespace lurvik {

const char* renderErrorText(RenderError error) {
    switch (error) {
    case RenderError::None:
        return "";
    case RenderError::NotInstalled:
        return "Error - Rendering needs chromium-headless-shell";
    case RenderError::LaunchFailed:
        return "Error - The browser for rendering did not start";
    case RenderError::TimedOut:
        return "Error - Render timed out";
    case RenderError::TabCrashed:
        return "Error - Render failed: the tab crashed";
    case RenderError::BrowserEnded:
        return "Error - Render failed: the browser ended";
    case RenderError::LoadFailed:
        return "Error - Render failed: the browser could not load the page";
    case RenderError::Stopped:
        return "Error - Render stopped";
    }
    return "Error - Render failed";
}

namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How long the browser may take to answer its first command.
constexpr int kStartTimeoutMs = 20000;
// The loop looks at deadlines and quiet periods at least this often.
constexpr int kTickMs = 20;
// A page is tried in a new browser once when the browser ends under it; a page that ends the
// browser twice fails alone.
constexpr int kMostTries = 2;

} // namespace

// The renderer's thread: the browser process, its messages and its tabs. Everything here is
// touched by that thread only, apart from launch(), which runs before the thread starts.
class RenderLoop : public DevToolsChannel {
public:
    RenderLoop(Renderer& owner, std::string program)
        : m_owner(owner), m_program(std::move(program)),
          m_traffic(owner.m_options.hostRequestsMost, owner.m_options.hostDelayMs) {}
    ~RenderLoop() override { m_browser.stop(); }

    RenderError launch();
    void run();
    void send(const char* method, Json params, const std::string& sessionId, Reply onReply) override;

private:
    // Reads what the browser wrote; false when it has gone.
    bool readMessages();
    void dispatch(const Json& message);
    RenderTab* tabOfSession(const std::string& sessionId);
    void openTabs();
    void serveTabs();
    void restartBrowser();

    struct Held {
        uint64_t id;
        RenderJob job;
        int tries;
    };

    Renderer& m_owner;
    std::string m_program;
    BrowserProcess m_browser;
    MessageSplitter m_splitter;
    bool m_writeFailed = false;
    int m_nextCommand = 1;
    std::unordered_map<int, Reply> m_replies;
    // Before the tabs, which give back their requests in flight as they end.
    HostTraffic m_traffic;
    std::vector<std::shared_ptr<RenderTab>> m_tabs;
    // Pages the browser ended under, before the queue's.
    std::deque<Held> m_again;
    std::unordered_map<uint64_t, int> m_tries;
};

void RenderLoop::send(const char* method, Json params, const std::string& sessionId, Reply onReply) {
    const int id = m_nextCommand++;
    Json message = {{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!sessionId.empty())
        message["sessionId"] = sessionId;
    if (onReply)
        m_replies.emplace(id, std::move(onReply));
    std::string bytes = message.dump(-1, ' ', false, Json::error_handler_t::replace);
    bytes.push_back('\0');
    size_t sent = 0;
    while (!m_writeFailed && sent < bytes.size()) {
        const ssize_t wrote =
            ::send(m_browser.commandFd(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (wrote > 0)
            sent += static_cast<size_t>(wrote);
        else if (wrote < 0 && errno != EINTR)
            m_writeFailed = true;
    }
}

bool RenderLoop::readMessages() {
    char buffer[65536];
    const ssize_t count = read(m_browser.messageFd(), buffer, sizeof buffer);
    if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN))
        return false;
    if (count > 0)
        m_splitter.append(buffer, static_cast<size_t>(count));
    std::string text;
    while (m_splitter.next(text)) {
        const Json message = Json::parse(text, nullptr, false);
        if (!message.is_discarded() && message.is_object())
            dispatch(message);
    }
    return !m_splitter.isOverflowed();
}

RenderTab* RenderLoop::tabOfSession(const std::string& sessionId) {
    for (auto& tab : m_tabs) {
        if (!sessionId.empty() && tab->sessionId() == sessionId)
            return tab.get();
    }
    return nullptr;
}

void RenderLoop::dispatch(const Json& message) {
    if (message.contains("id")) {
        auto found = m_replies.find(numberOf(message, "id"));
        if (found == m_replies.end())
            return;
        Reply reply = std::move(found->second);
        m_replies.erase(found);
        reply(message);
        return;
    }
    const std::string method = textOf(message, "method");
    const Json& params = memberOf(message, "params");
    if (RenderTab* tab = tabOfSession(textOf(message, "sessionId"))) {
        tab->onEvent(method, params, nowMs());
        return;
    }
    if (method == "Target.targetCrashed" || method == "Target.detachedFromTarget") {
        for (auto& tab : m_tabs) {
            if (tab->targetId() == textOf(params, "targetId") ||
                tab->sessionId() == textOf(params, "sessionId"))
                tab->onEvent("Inspector.targetCrashed", params, nowMs());
        }
    }
}

RenderError RenderLoop::launch() {
    m_splitter = MessageSplitter();
    m_writeFailed = false;
    m_replies.clear();
    if (RenderError error = m_browser.start(m_program, m_owner.m_options); error != RenderError::None)
        return error;
    m_owner.m_browserPid = m_browser.pid();
    int unanswered = 1;
    send("Target.setDiscoverTargets", {{"discover", true}}, "", [&unanswered](const Json&) { --unanswered; });
    // The document a tab is handed carries no server address, so the browser counts every page
    // as one from the public internet and refuses what its scripts ask of loopback and private
    // hosts. The crawl's limits already decide which hosts a page may reach. Browsers name the
    // permission differently from version to version; a name one does not know is refused alone.
    for (const char* permission : {"localNetworkAccess", "localNetwork", "loopbackNetwork"}) {
        ++unanswered;
        send("Browser.grantPermissions", {{"permissions", Json::array({permission})}}, "",
             [&unanswered](const Json&) { --unanswered; });
    }
    const int64_t giveUp = nowMs() + kStartTimeoutMs;
    while (unanswered > 0 && nowMs() < giveUp) {
        pollfd watched{m_browser.messageFd(), POLLIN, 0};
        if (poll(&watched, 1, kTickMs) > 0 && !readMessages())
            break;
    }
    if (unanswered > 0) {
        m_browser.stop();
        m_owner.m_browserPid = -1;
        return RenderError::LaunchFailed;
    }
    return RenderError::None;
}

void RenderLoop::openTabs() {
    m_tabs.erase(
        std::remove_if(m_tabs.begin(), m_tabs.end(),
                       [this](const std::shared_ptr<RenderTab>& tab) {
                           if (tab->state() != RenderTab::State::Broken)
                               return false;
                           if (!tab->targetId().empty())
                               send("Target.closeTarget", {{"targetId", tab->targetId()}}, "", nullptr);
                           return true;
                       }),
        m_tabs.end());
    while (static_cast<int>(m_tabs.size()) < std::max(1, m_owner.m_options.tabs)) {
        auto tab = std::make_shared<RenderTab>(*this, m_owner.m_options, m_traffic);
        m_tabs.push_back(tab);
        tab->open();
    }
}

void RenderLoop::serveTabs() {
    const int64_t now = nowMs();
    for (auto& tab : m_tabs) {
        tab->tick(now);
        RenderResult result;
        if (tab->takeResult(result)) {
            m_tries.erase(result.id);
            m_owner.finish(std::move(result));
        }
        if (tab->state() != RenderTab::State::Idle)
            continue;
        uint64_t id = 0;
        RenderJob job;
        if (!m_again.empty()) {
            id = m_again.front().id;
            job = std::move(m_again.front().job);
            m_again.pop_front();
        } else if (!m_owner.nextJob(id, job)) {
            continue;
        }
        tab->load(id, std::move(job), now);
    }
    openTabs();
}

void RenderLoop::restartBrowser() {
    for (auto& tab : m_tabs) {
        uint64_t id = 0;
        RenderJob job;
        if (!tab->releaseJob(id, job))
            continue;
        const int tries = ++m_tries[id];
        if (tries >= kMostTries) {
            m_tries.erase(id);
            RenderResult failed;
            failed.id = id;
            failed.error = RenderError::BrowserEnded;
            m_owner.finish(std::move(failed));
        } else {
            m_again.push_back({id, std::move(job), tries});
        }
    }
    m_tabs.clear();
    m_browser.stop();
    m_owner.m_restarts += 1;
    while (!m_owner.m_stopping) {
        if (launch() == RenderError::None)
            return;
        // A browser that cannot start again fails what it holds rather than the crawl waiting.
        for (Held& held : m_again) {
            RenderResult failed;
            failed.id = held.id;
            failed.error = RenderError::LaunchFailed;
            m_owner.finish(std::move(failed));
        }
        m_again.clear();
        uint64_t id = 0;
        RenderJob job;
        while (m_owner.nextJob(id, job)) {
            RenderResult failed;
            failed.id = id;
            failed.error = RenderError::LaunchFailed;
            m_owner.finish(std::move(failed));
        }
        pollfd wake{m_owner.m_wakeFds[0], POLLIN, 0};
        poll(&wake, 1, 1000);
    }
}

void RenderLoop::run() {
    openTabs();
    while (!m_owner.m_stopping) {
        pollfd watched[2] = {{m_browser.messageFd(), POLLIN, 0}, {m_owner.m_wakeFds[0], POLLIN, 0}};
        const int ready = poll(watched, 2, kTickMs);
        if (ready > 0 && (watched[1].revents & POLLIN)) {
            char drained[64];
            while (read(m_owner.m_wakeFds[0], drained, sizeof drained) > 0) {
            }
        }
        bool alive = !m_writeFailed;
        if (ready > 0 && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)))
            alive = readMessages() && alive;
        if (!alive) {
            restartBrowser();
            openTabs();
            continue;
        }
        serveTabs();
    }
}

Renderer::Renderer(RendererOptions options) : m_options(std::move(options)) {}

Renderer::~Renderer() {
    stop();
}

RenderError Renderer::start() {
    const std::string program = findBrowser(m_options.browser);
    if (program.empty())
        return RenderError::NotInstalled;
    if (pipe2(m_wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return RenderError::LaunchFailed;
    m_loop = std::make_unique<RenderLoop>(*this, program);
    if (RenderError error = m_loop->launch(); error != RenderError::None) {
        m_loop.reset();
        return error;
    }
    m_thread = std::thread([this] { m_loop->run(); });
    return RenderError::None;
}

void Renderer::stop() {
    m_stopping = true;
    wakeLoop();
    if (m_thread.joinable())
        m_thread.join();
    m_loop.reset();
    m_browserPid = -1;
    for (int& fd : m_wakeFds) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

void Renderer::wakeLoop() {
    if (m_wakeFds[1] >= 0) {
        const char byte = 1;
        (void)!write(m_wakeFds[1], &byte, 1);
    }
}

uint64_t Renderer::submit(RenderJob job) {
    uint64_t id = 0;
    {
        std::lock_guard guard(m_mutex);
        id = m_nextId++;
        m_queue.emplace_back(id, std::move(job));
    }
    m_pending += 1;
    wakeLoop();
    return id;
}

bool Renderer::nextJob(uint64_t& id, RenderJob& job) {
    std::lock_guard guard(m_mutex);
    if (m_queue.empty())
        return false;
    id = m_queue.front().first;
    job = std::move(m_queue.front().second);
    m_queue.pop_front();
    return true;
}

void Renderer::finish(RenderResult result) {
    {
        std::lock_guard guard(m_mutex);
        if (result.id < m_firstWanted)
            return;
        m_results.push_back(std::move(result));
    }
    if (onResult)
        onResult();
}

bool Renderer::takeResult(RenderResult& out) {
    std::lock_guard guard(m_mutex);
    if (m_results.empty())
        return false;
    out = std::move(m_results.front());
    m_results.pop_front();
    m_pending -= 1;
    return true;
}

void Renderer::cancelAll() {
    std::lock_guard guard(m_mutex);
    m_firstWanted = m_nextId;
    m_queue.clear();
    m_results.clear();
    m_pending = 0;
}

} // namespace lurvik
