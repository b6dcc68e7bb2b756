#include "InflateAhead.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <zlib.h>

namespace lurvik {

namespace {

constexpr size_t kChunkBytes = 1 << 20;
// Enough to keep the inflating core busy while the reader works through one chunk, and little
// memory beside the tree being built.
constexpr size_t kChunksAhead = 4;

} // namespace

InflateAhead::InflateAhead(gzFile_s* gz) : m_gz(gz), m_thread([this] { inflateMain(); }) {}

InflateAhead::~InflateAhead() {
    {
        std::lock_guard guard(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
    gzclose(m_gz);
}

void InflateAhead::inflateMain() {
    try {
        inflateChunks();
    } catch (const std::bad_alloc&) {
        std::lock_guard guard(m_mutex);
        m_failure = std::current_exception();
    }
    m_changed.notify_all();
}

void InflateAhead::inflateChunks() {
    for (;;) {
        Chunk chunk;
        chunk.bytes.resize(kChunkBytes);
        size_t filled = 0;
        while (filled < kChunkBytes) {
            errno = 0;
            const int done =
                gzread(m_gz, chunk.bytes.data() + filled, static_cast<unsigned>(kChunkBytes - filled));
            if (done <= 0) {
                // zlib reports damage and a cut-off stream only through gzerror, after handing out
                // what it could decode.
                chunk.last = true;
                gzerror(m_gz, &chunk.end.zlibError);
                chunk.end.systemError = errno;
                break;
            }
            filled += static_cast<size_t>(done);
        }
        chunk.bytes.resize(filled);
        const bool last = chunk.last;
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopping || m_ready.size() < kChunksAhead; });
        if (m_stopping)
            return;
        m_ready.push_back(std::move(chunk));
        lock.unlock();
        m_changed.notify_all();
        if (last)
            return;
    }
}

void InflateAhead::read(char* data, int n, int& got, End& end) {
    got = 0;
    while (got < n) {
        if (m_currentPos == m_current.bytes.size()) {
            if (m_current.last) {
                end = m_current.end;
                return;
            }
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return !m_ready.empty() || m_failure; });
            if (m_ready.empty())
                std::rethrow_exception(m_failure);
            m_current = std::move(m_ready.front());
            m_ready.pop_front();
            m_currentPos = 0;
            lock.unlock();
            m_changed.notify_all();
            continue;
        }
        const size_t take = std::min(m_current.bytes.size() - m_currentPos, static_cast<size_t>(n - got));
        std::copy_n(m_current.bytes.data() + m_currentPos, take, data + got);
        m_currentPos += take;
        got += static_cast<int>(take);
    }
}

} // namespace lurvik
