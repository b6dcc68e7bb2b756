#pragma once

#include "Agent.h"
#include "ConnectionPool.h"
#include "Credential.h"
#include "FetchThreads.h"
#include "core/PtrList.h"
#include "core/Sync.h"
#include "platform/HostCache.h"

#include <array>
#include <functional>
#include <mutex>
#include <shared_mutex>

namespace lurvik {

// The HTTP client settings, the agents and the credentials the user gave. One pool lives for the
// whole run and owns its agents.
//
// lock guards the agent lists: the blocking hooks of fetch threads scan them while holding
// it, and the main thread holds it while it adds, removes or moves agents, never while it waits
// for a thread. The credentials have a private lock of their own because fetch threads read them
// while the main thread adds the ones the user types.
class AgentPool {
public:
    // Asked with the site (credentialSite) and the realm that want credentials.
    using NeedPassword = std::function<int(const Str& site, const Str& realm, Str& user, Str& password)>;

    AgentPool();
    ~AgentPool();
    AgentPool(const AgentPool&) = delete;
    AgentPool& operator=(const AgentPool&) = delete;

    void setProxy(uint32_t address, int port);
    // The proxy as the options give it: off unless useProxy is 1; a server name that does not
    // resolve also means no proxy (address 0, port 80), without a message.
    void configureProxy(int useProxy, const Str& server, int port);
    void setUserAgent(int send, const Str& text);
    void setUseCredentials(int flag) { useCredentials = flag; }
    FetchSettings fetchSettings() const;

    // 0 and the pair when credentials for realm on site are known and not refused.
    int getCredentials(const Str& site, const Str& realm, Str& user, Str& password);
    // Asks the user through onNeedPassword; 0 when they gave a pair, which is then stored. The
    // first realm of a site given credentials of its own (giveSiteCredentials) gets those, unasked;
    // later realms of the site are asked for.
    int askCredentials(const Str& site, const Str& realm);
    // Credentials for the first realm one site names, as "user:password@" in its address or --user
    // give.
    void giveSiteCredentials(const Str& site, const Str& user, const Str& password);
    void deleteCredentials();

    // Agent lists: wanted counts, balancing and the choice of an agent for a fetch.
    void setAgentCounts(int foreground, int background);
    void balanceAgents();
    Agent* getForegroundAgent();
    // An idle background agent, or else an idle spare.
    Agent* getBackgroundAgent();
    void stopAllAgents();
    // The agents fetching or about to: at most as many as fetch at once.
    int countRunning() const;
    // Runs agent on a fetch thread: a background or spare agent in turn with the crawl's, any other
    // at once. 0, or 1 when no thread could be started for it.
    int postJob(Agent* agent);
    FetchThreads& fetchThreads() { return m_fetchThreads; }
    // When there are more agents than connections to one host, the others wait for a connection
    // rather than fetch: what to tell the user once, or empty when that cannot happen.
    std::string agentsWaitingNote() const;

    // Installed on each fetch thread: cancels that thread's blocking call when its agent has
    // been asked to stop.
    void blockingHook();

    Str userAgent;
    int sendUserAgent = 0;
    Sync lock{-1};
    int busy = 0;
    int halted = 0;
    // Every exchange of every agent is archived here when set (a crawl with --warc).
    class WarcWriter* warcWriter = nullptr;
    int numForeground = 0;
    int numBackground = 0;
    PtrList<Agent> foregroundAgents;
    PtrList<Agent> backgroundAgents;
    // Twice as many as the background agents, fetching on their threads: a thread that ends a
    // page finds the next one waiting instead of sleeping until the main thread hands it one. With one
    // spare each, the threads still ran out at times while the main thread, filing pages in its
    // own turn, had not yet handed out the next ones.
    static constexpr int kSparesPerAgent = 2;
    PtrList<Agent> spareAgents;
    // The three lists, for going through every agent.
    std::array<const PtrList<Agent>*, 3> agentLists() const {
        return {&foregroundAgents, &backgroundAgents, &spareAgents};
    }
    uint32_t proxyAddress = 0;
    int proxyPort = 0;
    int useCredentials = 1;
    int classicHttp = 0;
    int useHttp2 = 1;
    int connectTimeoutMs = 30000;
    int receiveTimeoutMs = 60000;
    // How long in all a page may wait for a server that asked to be left alone (429, 503).
    int maxRetryWaitMs = 60000;
    // How long one page's exchange may take in all (0: no limit), against a server that trickles.
    int pageTimeLimitMs = 120000;
    // Shared by every agent of the crawl: kept connections and politeness, and name look-ups.
    ConnectionPool connections;
    HostCache hosts;
    NeedPassword onNeedPassword;
    // Called on a fetch thread once its agent's state has left 1, to wake a waiting main loop.
    // Setting it waits for the calls under way, so whatever the old one woke may go after.
    void setOnAgentFinished(std::function<void()> onFinished);
    void notifyAgentFinished();

private:
    Credential* findCredential(const Str& site, const Str& realm);
    static Agent* firstInState(const PtrList<Agent>& agents, int state);
    static void moveAgent(PtrList<Agent>& from, PtrList<Agent>& to, Agent* agent);
    // Deletes one idle agent of the list; false when none is idle.
    static bool deleteIdle(PtrList<Agent>& agents);

    // Fetch threads share it to make the call side by side; replacing the call takes it alone.
    std::shared_mutex m_finishedMutex;
    std::function<void()> m_onAgentFinished;
    std::mutex m_credentialsMutex;
    PtrList<Credential> m_credentials;
    // Last, so its threads have ended before anything they use goes.
    FetchThreads m_fetchThreads;
};

// The pool of the running program, set when it is built.
extern AgentPool* thePool;

} // namespace lurvik
