#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

namespace lurvik {

// Runs a reader on a thread of its own, a few batches ahead of the one who takes them: reading a
// million-page map is parsing as much as inflating, and the command going through it has work of
// its own for every page. Batches are handed back and forth, not made anew, so that the vectors
// in them keep their room.
template <class Batch>
class BatchesAhead {
public:
    // fill is called on the reading thread with a batch to fill (as it was last taken: fill
    // clears what it does not overwrite); it returns false once it has filled the last batch.
    explicit BatchesAhead(std::function<bool(Batch&)> fill, size_t ahead = 4) : m_fill(std::move(fill)) {
        for (size_t i = 0; i < ahead; ++i)
            m_free.push_back(std::make_unique<Batch>());
        m_thread = std::thread([this] { readMain(); });
    }
    // Stops the reader at its next batch and waits for it.
    ~BatchesAhead() {
        {
            std::lock_guard guard(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    BatchesAhead(const BatchesAhead&) = delete;
    BatchesAhead& operator=(const BatchesAhead&) = delete;

    // The next batch, valid until the next call; null after the last. The batch taken before goes
    // back to the reader. Memory running out on the reading thread is thrown here.
    Batch* next() {
        std::unique_lock lock(m_mutex);
        if (m_taken)
            m_free.push_back(std::move(m_taken));
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_ready.empty() || m_done; });
        if (m_ready.empty()) {
            if (m_failure)
                std::rethrow_exception(std::exchange(m_failure, nullptr));
            return nullptr;
        }
        m_taken = std::move(m_ready.front());
        m_ready.pop_front();
        return m_taken.get();
    }

private:
    void readMain() {
        try {
            bool more = true;
            while (more) {
                std::unique_ptr<Batch> batch;
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [&] { return m_stopping || !m_free.empty(); });
                    if (m_stopping)
                        break;
                    batch = std::move(m_free.front());
                    m_free.pop_front();
                }
                more = m_fill(*batch);
                {
                    std::lock_guard guard(m_mutex);
                    m_ready.push_back(std::move(batch));
                }
                m_changed.notify_all();
            }
        } catch (const std::bad_alloc&) {
            std::lock_guard guard(m_mutex);
            m_failure = std::current_exception();
        }
        {
            std::lock_guard guard(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
    }

    std::function<bool(Batch&)> m_fill;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Batch>> m_free;
    std::deque<std::unique_ptr<Batch>> m_ready;
    std::unique_ptr<Batch> m_taken;
    bool m_stopping = false;
    bool m_done = false;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

} // namespace lurvik
