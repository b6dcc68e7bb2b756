#include "WarcWriter.h"

#include "core/URL.h"
#include "platform/Digest.h"

#include <algorithm>
#include <cerrno>

namespace lurvik {

namespace {

// Enough for every agent's reply in flight at once; past it an agent waits for the file.
constexpr size_t kMaxPendingBytes = 64u << 20;

size_t workerCount() {
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
}

} // namespace

WarcWriter::~WarcWriter() {
    (void)close();
}

int WarcWriter::open(const std::string& path, std::string_view software) {
    std::lock_guard guard(m_mutex);
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        return errno;
    m_infoId = randomUuid();
    size_t slash = path.rfind('/');
    std::string info =
        warcinfoMember(m_infoId, slash == std::string::npos ? path : path.substr(slash + 1), software);
    if (info.empty() || std::fwrite(info.data(), 1, info.size(), m_file) != info.size() ||
        std::fflush(m_file) != 0)
        m_error = errno ? errno : ENOMEM;
    m_stopping = false;
    for (size_t i = 0; i < workerCount(); ++i)
        m_workers.emplace_back(&WarcWriter::work, this);
    return m_error;
}

void WarcWriter::recordExchange(const URL& target, std::string_view request, std::string_view response,
                                bool truncated) {
    Job job;
    job.exchange.uri = target.text();
    job.exchange.date = warcDate();
    job.exchange.request.assign(request);
    job.exchange.response.assign(response);
    job.exchange.truncated = truncated;
    size_t bytes = request.size() + response.size();
    std::unique_lock lock(m_mutex);
    // One exchange always goes, however large: the bound is on what waits besides it.
    m_room.wait(lock, [&] {
        return m_stopping || m_pendingBytes == 0 || m_pendingBytes + bytes <= kMaxPendingBytes;
    });
    if (!m_file || m_error || m_stopping)
        return;
    job.sequence = m_nextSequence++;
    m_pendingBytes += bytes;
    m_jobs.push_back(std::move(job));
    m_jobReady.notify_one();
}

void WarcWriter::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_jobReady.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        size_t bytes = job.exchange.request.size() + job.exchange.response.size();
        std::string members = exchangeMembers(job.exchange, m_infoId);
        // What the members were made from is freed before the lock is taken again.
        job.exchange = WarcExchange();
        lock.lock();
        if (members.empty() && !m_error)
            m_error = ENOMEM;
        m_done.emplace(job.sequence, std::make_pair(bytes, std::move(members)));
        writeReady(lock);
    }
}

void WarcWriter::writeReady(std::unique_lock<std::mutex>& lock) {
    if (m_writing)
        return;
    m_writing = true;
    for (;;) {
        std::vector<std::string> batch;
        size_t batchBytes = 0;
        for (auto it = m_done.begin(); it != m_done.end() && it->first == m_nextToWrite;
             it = m_done.erase(it)) {
            batchBytes += it->second.first;
            batch.push_back(std::move(it->second.second));
            ++m_nextToWrite;
        }
        if (batch.empty())
            break;
        int error = m_error;
        lock.unlock();
        // Only the worker holding m_writing touches the file, so it writes without the lock.
        for (const std::string& members : batch)
            if (!error && std::fwrite(members.data(), 1, members.size(), m_file) != members.size())
                error = errno ? errno : EIO;
        // On disk before the next batch: a crawl stopped by a signal keeps every record written.
        if (!error && std::fflush(m_file) != 0)
            error = errno;
        lock.lock();
        m_pendingBytes -= batchBytes;
        if (error && !m_error)
            m_error = error;
        m_room.notify_all();
    }
    m_writing = false;
}

int WarcWriter::error() const {
    std::lock_guard guard(m_mutex);
    return m_error;
}

int WarcWriter::close() {
    {
        std::lock_guard guard(m_mutex);
        m_stopping = true;
    }
    m_jobReady.notify_all();
    m_room.notify_all();
    // The workers finish every job handed over before they stop.
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
    std::lock_guard guard(m_mutex);
    if (!m_file)
        return m_error;
    if (std::fclose(m_file) != 0 && !m_error)
        m_error = errno;
    m_file = nullptr;
    return m_error;
}

} // namespace lurvik
