#include "AgentPool.h"

#include "SiteNode.h"
#include "platform/BlockingHook.h"
#include "platform/Resolver.h"
#include "platform/WorkerThread.h"

#include <arpa/inet.h>

#include <algorithm>

namespace lurvik {

AgentPool* thePool = nullptr;

AgentPool::AgentPool() {
    thePool = this;
}

AgentPool::~AgentPool() {
    halted = 1;
    stopAllAgents();
    {
        std::lock_guard guard(lock);
        deleteAll(foregroundAgents);
        deleteAll(backgroundAgents);
        deleteAll(spareAgents);
    }
    deleteCredentials();
    if (thePool == this)
        thePool = nullptr;
}

void AgentPool::setProxy(uint32_t address, int port) {
    proxyAddress = address;
    proxyPort = port;
}

void AgentPool::configureProxy(int useProxy, const Str& server, int port) {
    if (useProxy != 1) {
        setProxy(0, 80);
        return;
    }
    std::vector<SocketAddress> addresses;
    uint32_t address = 0;
    if (resolveHost(server.str(), port, addresses, 5000) == SocketError::None) {
        for (const SocketAddress& candidate : addresses)
            if (candidate.storage.ss_family == AF_INET) {
                address = reinterpret_cast<const sockaddr_in*>(&candidate.storage)->sin_addr.s_addr;
                break;
            }
    }
    if (address == 0)
        setProxy(0, 80);
    else
        setProxy(address, port);
}

void AgentPool::setUserAgent(int send, const Str& text) {
    sendUserAgent = send;
    userAgent = text;
}

FetchSettings AgentPool::fetchSettings() const {
    FetchSettings settings;
    settings.proxyAddress = proxyAddress;
    settings.proxyPort = proxyPort;
    settings.userAgent = userAgent;
    settings.sendUserAgent = sendUserAgent;
    settings.useCredentials = useCredentials;
    settings.classicHttp = classicHttp;
    settings.useHttp2 = useHttp2;
    settings.connectTimeoutMs = connectTimeoutMs;
    settings.receiveTimeoutMs = receiveTimeoutMs;
    settings.pageTimeLimitMs = pageTimeLimitMs;
    return settings;
}

Credential* AgentPool::findCredential(const Str& site, const Str& realm) {
    for (Credential* credential : m_credentials)
        if (credential->realm.cmp(realm.view()) == 0 && credential->site.cmp(site.view()) == 0)
            return credential;
    return nullptr;
}

int AgentPool::getCredentials(const Str& site, const Str& realm, Str& user, Str& password) {
    std::lock_guard guard(m_credentialsMutex);
    Credential* credential = findCredential(site, realm);
    if (!credential || credential->refused)
        return 1;
    user = credential->user;
    password = credential->password;
    return 0;
}

int AgentPool::askCredentials(const Str& site, const Str& realm) {
    {
        std::lock_guard guard(m_credentialsMutex);
        Credential* credential = findCredential(site, realm);
        if (credential && credential->refused)
            return 1;
        if (!credential) {
            credential = new Credential;
            credential->site = site;
            credential->realm = realm;
            m_credentials.add(credential);
            // Realms are 1 to 128 characters: the empty one holds the pair given for the site
            // before any realm was named. It answers the first realm that asks and no other: a
            // second realm is another set of pages, whose owner may not be the one who gave it.
            if (Credential* whole = findCredential(site, Str())) {
                credential->user = whole->user;
                credential->password = whole->password;
                delete m_credentials.del(m_credentials.find(whole));
                return 0;
            }
        }
    }
    // The question may open a dialog; no lock is held while the user answers.
    Str user;
    Str password;
    int answer = onNeedPassword ? onNeedPassword(site, realm, user, password) : 1;
    std::lock_guard guard(m_credentialsMutex);
    Credential* credential = findCredential(site, realm);
    if (!credential)
        return 1;
    if (answer == 0) {
        credential->user = user;
        credential->password = password;
        return 0;
    }
    credential->refused = 1;
    return 1;
}

void AgentPool::giveSiteCredentials(const Str& site, const Str& user, const Str& password) {
    std::lock_guard guard(m_credentialsMutex);
    Credential* whole = findCredential(site, Str());
    if (!whole) {
        whole = new Credential;
        whole->site = site;
        m_credentials.add(whole);
    }
    whole->user = user;
    whole->password = password;
}

void AgentPool::deleteCredentials() {
    std::lock_guard guard(m_credentialsMutex);
    deleteAll(m_credentials);
}

std::string AgentPool::agentsWaitingNote() const {
    // The queue's agents: the foreground ones serve what the user asks for now.
    const int agents = numBackground;
    const int perHost = connections.limits().perHost;
    // Classic mode opens a connection per request and keeps no limit per host.
    if (classicHttp || agents <= perHost)
        return {};
    return std::to_string(agents) + " agents share at most " + std::to_string(perHost) +
           " connections to each host: on one host the other " + std::to_string(agents - perHost) +
           " wait for a free connection";
}

void AgentPool::setOnAgentFinished(std::function<void()> onFinished) {
    std::unique_lock guard(m_finishedMutex);
    m_onAgentFinished = std::move(onFinished);
}

void AgentPool::notifyAgentFinished() {
    std::shared_lock guard(m_finishedMutex);
    if (m_onAgentFinished)
        m_onAgentFinished();
}

void AgentPool::blockingHook() {
    if (lock.block(0) != 0)
        return;
    long self = currentThreadId();
    for (const PtrList<Agent>* list : agentLists()) {
        for (Agent* agent : *list) {
            if (agent->state == AGENT_RUNNING && agent->threadId == self && agent->cancelRequested &&
                !agent->cancelIssued) {
                cancelBlockingCall();
                agent->cancelIssued = 1;
                break;
            }
        }
    }
    lock.unblock();
}

Agent* AgentPool::firstInState(const PtrList<Agent>& agents, int state) {
    for (Agent* agent : agents)
        if (agent->state == state)
            return agent;
    return nullptr;
}

bool AgentPool::deleteIdle(PtrList<Agent>& agents) {
    Agent* idle = firstInState(agents, AGENT_IDLE);
    if (!idle)
        return false;
    agents.del(agents.find(idle));
    delete idle;
    return true;
}

void AgentPool::moveAgent(PtrList<Agent>& from, PtrList<Agent>& to, Agent* agent) {
    from.del(from.find(agent));
    to.add(agent);
}

void AgentPool::setAgentCounts(int foreground, int background) {
    numForeground = foreground;
    numBackground = background;
    m_fetchThreads.setWanted(background);
    balanceAgents();
}

void AgentPool::balanceAgents() {
    std::lock_guard guard(lock);
    auto total = [this] { return foregroundAgents.len() + backgroundAgents.len(); };
    const int wanted = numForeground + numBackground;
    while (total() < wanted) {
        if (foregroundAgents.len() < numForeground)
            foregroundAgents.add(new Agent(*this));
        else if (backgroundAgents.len() < numBackground)
            backgroundAgents.add(new Agent(*this));
        else
            break;
    }
    for (auto [list, count] :
         {std::pair{&foregroundAgents, numForeground}, {&backgroundAgents, numBackground}}) {
        while (total() > wanted && list->len() > count && deleteIdle(*list)) {
        }
    }
    while (foregroundAgents.len() > numForeground && backgroundAgents.len() < numBackground) {
        Agent* idle = firstInState(foregroundAgents, AGENT_IDLE);
        if (!idle)
            break;
        moveAgent(foregroundAgents, backgroundAgents, idle);
    }
    while (backgroundAgents.len() > numBackground && foregroundAgents.len() < numForeground) {
        Agent* idle = firstInState(backgroundAgents, AGENT_IDLE);
        if (!idle)
            break;
        moveAgent(backgroundAgents, foregroundAgents, idle);
    }
    while (spareAgents.len() < kSparesPerAgent * numBackground)
        spareAgents.add(new Agent(*this));
    while (spareAgents.len() > kSparesPerAgent * numBackground && deleteIdle(spareAgents)) {
    }
}

Agent* AgentPool::getForegroundAgent() {
    if (halted)
        return nullptr;
    if (Agent* idle = firstInState(foregroundAgents, AGENT_IDLE))
        return idle;
    Agent* agent = firstInState(backgroundAgents, AGENT_IDLE);
    if (!agent) {
        // Take a running background agent: the page the user asked for comes before the queue.
        agent = firstInState(backgroundAgents, AGENT_RUNNING);
        if (!agent)
            return nullptr;
        agent->requestCancel();
        agent->waitForThread();
        if (agent->node)
            agent->node->resetNode();
        agent->resetAgent();
    }
    std::lock_guard guard(lock);
    moveAgent(backgroundAgents, foregroundAgents, agent);
    return agent;
}

Agent* AgentPool::getBackgroundAgent() {
    if (halted)
        return nullptr;
    if (Agent* idle = firstInState(backgroundAgents, AGENT_IDLE))
        return idle;
    return firstInState(spareAgents, AGENT_IDLE);
}

int AgentPool::postJob(Agent* agent) {
    const bool inTurn = backgroundAgents.find(agent) >= 0 || spareAgents.find(agent) >= 0;
    return m_fetchThreads.post(agent, !inTurn);
}

void AgentPool::stopAllAgents() {
    // All are told before any is waited for: an agent waiting for a thread is withdrawn rather
    // than started by the thread a cancelled one gives up.
    for (const PtrList<Agent>* list : agentLists())
        for (Agent* agent : *list)
            agent->requestCancel();
    for (const PtrList<Agent>* list : agentLists()) {
        for (Agent* agent : *list) {
            agent->waitForThread();
            agent->resetAgent();
        }
    }
}

int AgentPool::countRunning() const {
    int running = 0;
    for (const PtrList<Agent>* list : agentLists())
        for (Agent* agent : *list)
            running += agent->state == AGENT_RUNNING;
    return std::min(running, numForeground + numBackground);
}

} // namespace lurvik
