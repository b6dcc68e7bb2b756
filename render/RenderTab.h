#pragma once

#include "HostTraffic.h"
#include "RenderTypes.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace lurvik {

using Json = nlohmann::json;

// The browser end of a tab: sends a command (to a tab's session, or to the browser when
// sessionId is empty) and calls onReply with the whole reply message, result or error.
class DevToolsChannel {
public:
    using Reply = std::function<void(const Json& message)>;
    virtual ~DevToolsChannel() = default;
    virtual void send(const char* method, Json params, const std::string& sessionId, Reply onReply) = 0;
};

// What a member of a message is, without exceptions: an absent or mistyped member reads as empty.
std::string textOf(const Json& object, const char* name);
int numberOf(const Json& object, const char* name);
const Json& memberOf(const Json& object, const char* name);

// One tab of the browser and the page in it. A tab opens (target, session, the domains it
// listens to), then loads one page after another: the document is answered with the crawl's
// reply, every other request is asked about, and once the load event has fired and the
// network has been quiet for a while the document is read. Runs on the renderer's thread only.
class RenderTab : public std::enable_shared_from_this<RenderTab> {
public:
    enum class State { Opening, Idle, Loading, Reading, Finished, Resetting, Broken };

    // traffic: what each host is owed, shared by the tabs for politeness.
    RenderTab(DevToolsChannel& channel, const RendererOptions& options, HostTraffic& traffic);
    ~RenderTab();

    void open();
    void load(uint64_t id, RenderJob job, int64_t now);
    void onEvent(const std::string& method, const Json& params, int64_t now);
    // Deadlines, the quiet period and the requests held back.
    void tick(int64_t now);
    // The result of a finished page; the tab then loads a blank page before taking the next.
    bool takeResult(RenderResult& out);
    // The page held, handed back when the browser ended under it.
    bool releaseJob(uint64_t& id, RenderJob& job);
    void markBroken() { m_state = State::Broken; }

    State state() const { return m_state; }
    const std::string& targetId() const { return m_targetId; }
    const std::string& sessionId() const { return m_sessionId; }

private:
    // Turns on the domains the tab listens to; Idle once every one has answered.
    void setUp();
    void finish(RenderError error);
    void readDocument();
    void onRequestPaused(const Json& params, int64_t now);
    void onAuthRequired(const Json& params);
    // Lets go of the requests held whose verdict and host now allow them.
    void releaseHeld(int64_t now);
    // The page's requests in flight no longer count against their hosts.
    void endTraffic();
    void sendToTab(const char* method, Json params, DevToolsChannel::Reply onReply = nullptr);

    DevToolsChannel& m_channel;
    const RendererOptions& m_options;
    HostTraffic& m_traffic;
    State m_state = State::Opening;
    std::string m_targetId;
    std::string m_sessionId;
    int m_setupLeft = 0;

    uint64_t m_id = 0;
    RenderJob m_job;
    std::string m_documentKey; // the job's address without its fragment
    std::string m_loaderId;
    int64_t m_deadline = 0;
    int64_t m_lastActivity = 0;
    bool m_loadFired = false;
    bool m_documentServed = false;
    RenderResult m_result;
    std::unordered_map<std::string, size_t> m_requestIndex; // network id to m_result.requests
    std::unordered_map<std::string, int> m_wireStatus;      // network id to the last status it came with
    std::unordered_set<std::string> m_inFlight;
    std::unordered_set<std::string> m_authAnswered;
    // Intercepted requests not yet let go, in the order the page made them.
    struct Held {
        std::string requestId;
        std::string networkId;
        std::string url;
    };
    std::vector<Held> m_held;
    // Requests let go and not yet ended, by network id, to the host they count against.
    std::unordered_map<std::string, std::string> m_counted;
};

} // namespace lurvik
