#pragma once

#include "platform/WakeSignal.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lurvik {

class Agent;

// The threads agents fetch on. An agent is a fetch's record, not a thread: a thread that ends one
// fetch takes the next agent waiting without sleeping until the main thread has read the last one,
// which on a fast server costs more than the page.
//
// Queued fetches (the crawl's) run on at most `wanted` threads at once, in the order posted, so
// the crawl keeps its number of agents; one that must start now (the user's, or an agent no list
// holds) runs at once, on another thread if every one is busy.
class FetchThreads {
public:
    FetchThreads() = default;
    ~FetchThreads();
    FetchThreads(const FetchThreads&) = delete;
    FetchThreads& operator=(const FetchThreads&) = delete;

    void setWanted(int threads);
    // 0 when agent will run; 1 when it needs a thread and the system gave none.
    int post(Agent* agent, bool now);
    // True when agent was waiting and no longer is: it will not run.
    bool withdraw(Agent* agent);
    // Before agent goes: it is withdrawn, or its thread has let go of it once this returns.
    void forget(Agent* agent);

private:
    // A thread's own signal: a poster wakes one chosen thread rather than any of them, and the
    // woken thread does not then wait for the poster's lock.
    struct Sleeper {
        WakeSignal signal;
    };
    void threadMain(Sleeper& self);
    // A thread may take a queued agent: below the count wanted.
    bool mayTakeQueued() const { return !m_queued.empty() && m_runningQueued < m_wanted; }
    bool hasWork() const { return !m_now.empty() || mayTakeQueued(); }
    int startThread();
    // Under the lock: agent no longer waits for a thread; false when it was not waiting.
    bool takeOutOfQueues(Agent* agent);
    // Wakes a sleeping thread for a new agent; false when none sleeps.
    bool wakeOne();
    void wakeAll();

    std::mutex m_mutex;
    std::condition_variable m_letGo;
    std::deque<Agent*> m_now;
    std::deque<Agent*> m_queued;
    std::vector<std::thread> m_threads;
    std::vector<std::unique_ptr<Sleeper>> m_sleepers; // one for each thread
    std::vector<Sleeper*> m_asleep;                   // those not yet woken since they slept
    // The agents threads hold, an agent once for each (a thread may still be leaving one that
    // another has taken up again).
    std::vector<Agent*> m_held;
    int m_forgetting = 0;
    int m_wanted = 1;
    int m_runningQueued = 0;
    bool m_quit = false;
};

} // namespace lurvik
