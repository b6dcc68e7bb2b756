#include "FetchThreads.h"

#include "Agent.h"
#include "platform/ThreadPolicy.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace lurvik {

FetchThreads::~FetchThreads() {
    {
        std::lock_guard guard(m_mutex);
        m_quit = true;
        wakeAll();
    }
    for (std::thread& thread : m_threads)
        thread.join();
}

void FetchThreads::setWanted(int threads) {
    std::lock_guard guard(m_mutex);
    m_wanted = std::max(1, threads);
    wakeAll();
}

bool FetchThreads::wakeOne() {
    if (m_asleep.empty())
        return false;
    m_asleep.back()->signal.notify();
    m_asleep.pop_back();
    return true;
}

void FetchThreads::wakeAll() {
    while (wakeOne()) {
    }
}

int FetchThreads::startThread() {
    // Room for what the threads may hold and for their sleep, made here where running out of
    // memory is an answer: a fetch thread must not meet it.
    try {
        m_held.reserve(m_threads.size() + 1);
        m_asleep.reserve(m_threads.size() + 1);
        m_sleepers.push_back(std::make_unique<Sleeper>());
        Sleeper& sleeper = *m_sleepers.back();
        try {
            m_threads.emplace_back([this, &sleeper] { threadMain(sleeper); });
        } catch (...) {
            m_sleepers.pop_back();
            throw;
        }
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::system_error&) {
        return 1;
    }
    return 0;
}

int FetchThreads::post(Agent* agent, bool now) {
    std::lock_guard guard(m_mutex);
    std::deque<Agent*>& list = now ? m_now : m_queued;
    try {
        list.push_back(agent);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    // As many queued agents run as are wanted; the others wait for a thread to come back for them.
    if (!now && m_runningQueued >= m_wanted)
        return 0;
    if (wakeOne())
        return 0;
    const int threads = static_cast<int>(m_threads.size());
    if (!now && threads >= m_wanted)
        return 0;
    if (startThread() == 0 || (!now && threads > 0))
        return 0;
    list.pop_back();
    return 1;
}

bool FetchThreads::takeOutOfQueues(Agent* agent) {
    for (std::deque<Agent*>* list : {&m_now, &m_queued}) {
        auto found = std::find(list->begin(), list->end(), agent);
        if (found != list->end()) {
            list->erase(found);
            return true;
        }
    }
    return false;
}

bool FetchThreads::withdraw(Agent* agent) {
    std::lock_guard guard(m_mutex);
    return takeOutOfQueues(agent);
}

void FetchThreads::forget(Agent* agent) {
    std::unique_lock lock(m_mutex);
    takeOutOfQueues(agent);
    ++m_forgetting;
    m_letGo.wait(lock, [&] { return std::find(m_held.begin(), m_held.end(), agent) == m_held.end(); });
    --m_forgetting;
}

void FetchThreads::threadMain(Sleeper& self) {
    markAsBatchWork();
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_quit)
            return;
        if (!hasWork()) {
            m_asleep.push_back(&self);
            lock.unlock();
            self.signal.wait(-1);
            lock.lock();
            // Woken without being chosen (an early return): no poster counts on it any more.
            auto found = std::find(m_asleep.begin(), m_asleep.end(), &self);
            if (found != m_asleep.end())
                m_asleep.erase(found);
            continue;
        }
        const bool queued = m_now.empty();
        Agent* agent = queued ? m_queued.front() : m_now.front();
        (queued ? m_queued : m_now).pop_front();
        m_runningQueued += queued;
        m_held.push_back(agent);
        lock.unlock();
        agent->runJob();
        lock.lock();
        m_runningQueued -= queued;
        m_held.erase(std::find(m_held.begin(), m_held.end(), agent));
        if (m_forgetting > 0)
            m_letGo.notify_all();
    }
}

} // namespace lurvik
