#include "PageCache.h"

#include "CacheConnection.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

namespace lurvik {

namespace {

int code(CacheError error) {
    return static_cast<int>(error);
}

// Idle connections kept for reuse; more threads than this at once open extra ones for the call.
constexpr size_t kPoolSize = 8;
// Uses of pages waiting for a write to record them; beyond this many, further ones are dropped and
// only the eviction order suffers.
constexpr size_t kMaxDeferredTouches = 4096;

struct CacheState {
    // Serialises CacheBegin and CacheEnd, which do file work; taken before `lock`, never inside it.
    std::mutex lifecycle;
    // The pool's leaf lock: held only to move connections and settings in and out, never across
    // SQLite or file calls.
    std::mutex lock;
    std::condition_variable returned;

    std::string directory;
    int persist = 1;
    bool running = false;
    uint64_t generation = 0;
    std::string databasePath;
    std::vector<std::unique_ptr<CacheConnection>> idle;
    int lent = 0;
    bool corruptionSeen = false;
    CacheTouches touches;

    std::atomic<int64_t> maxBytes{int64_t{256} << 20};
    // Orders pages by last use; continues from the database's largest stamp after a restart.
    std::atomic<int64_t> useStamp{0};
};

CacheState& state() {
    // Never destroyed: worker threads may still call in while static destructors run at exit.
    static CacheState* s = new CacheState;
    return *s;
}

// The connection a CacheBlock holds for this thread; the thread's other calls use it too.
struct BlockHold {
    CacheConnection* connection = nullptr;
    uint64_t generation = 0;
    int depth = 0;
};
thread_local BlockHold t_block;

void giveBack(std::unique_ptr<CacheConnection> connection, uint64_t generation) {
    CacheState& s = state();
    {
        std::lock_guard guard(s.lock);
        if (connection->sawCorruption())
            s.corruptionSeen = true;
        if (s.running && s.generation == generation && !connection->sawCorruption() &&
            s.idle.size() < kPoolSize) {
            s.idle.push_back(std::move(connection));
            --s.lent;
            s.returned.notify_all();
            return;
        }
    }
    // Closed before it counts as returned, so that CacheEnd never removes files under it.
    connection.reset();
    std::lock_guard guard(s.lock);
    --s.lent;
    s.returned.notify_all();
}

// A connection lent for the length of one call.
class Lease {
public:
    Lease() {
        CacheState& s = state();
        if (t_block.connection) {
            m_connection = t_block.connection;
            return;
        }
        std::string path;
        {
            std::lock_guard guard(s.lock);
            if (!s.running)
                return;
            ++s.lent;
            m_generation = s.generation;
            if (!s.idle.empty()) {
                m_owned = std::move(s.idle.back());
                s.idle.pop_back();
                m_connection = m_owned.get();
                return;
            }
            path = s.databasePath;
        }
        auto fresh = std::make_unique<CacheConnection>();
        if (fresh->open(path, false) != 0) {
            giveBack(std::move(fresh), m_generation);
            return;
        }
        m_owned = std::move(fresh);
        m_connection = m_owned.get();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() {
        if (m_owned)
            giveBack(std::move(m_owned), m_generation);
    }

    CacheConnection* operator->() const { return m_connection; }
    explicit operator bool() const { return m_connection != nullptr; }
    // Hands the connection over to a CacheBlock.
    std::unique_ptr<CacheConnection> release() { return std::move(m_owned); }
    uint64_t generation() const { return m_generation; }

private:
    CacheConnection* m_connection = nullptr;
    std::unique_ptr<CacheConnection> m_owned;
    uint64_t m_generation = 0;
};

void removeDatabase(const std::string& path) {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(path + suffix, ignored);
}

std::string keyOf(std::string_view text) {
    URL url(text);
    if (url.isValid())
        return std::string(url.resourceKey());
    return std::string(text.substr(0, text.find('#')));
}

CacheTouches takeTouches() {
    CacheTouches taken;
    std::lock_guard guard(state().lock);
    taken.swap(state().touches);
    return taken;
}

void deferTouches(CacheTouches&& touches) {
    CacheState& s = state();
    std::lock_guard guard(s.lock);
    for (auto& touch : touches) {
        if (s.touches.size() >= kMaxDeferredTouches)
            break;
        s.touches.push_back(std::move(touch));
    }
}

int64_t nextStamp() {
    return state().useStamp.fetch_add(1) + 1;
}

int saveKeyed(std::string_view key, const Str& date, const Str& page) {
    if (key.empty())
        return code(CacheError::BadAddress);
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    CacheTouches touches = takeTouches();
    int result = connection->save(key, date, page, nextStamp(), state().maxBytes.load(), touches);
    if (result != 0 && result != code(CacheError::TooLarge))
        deferTouches(std::move(touches));
    return result;
}

int loadKeyed(std::string_view key, Str& out) {
    if (key.empty())
        return code(CacheError::BadAddress);
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    int64_t stamp = nextStamp();
    bool deferred = false;
    int result = connection->load(key, stamp, out, deferred);
    if (deferred)
        deferTouches({{std::string(key), stamp}});
    return result;
}

int dateKeyed(std::string_view key, Str& out) {
    if (key.empty())
        return code(CacheError::BadAddress);
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    return connection->date(key, out);
}

int freeKeyed(std::string_view key) {
    if (key.empty())
        return code(CacheError::BadAddress);
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    return connection->free(key);
}

// Commits and returns this thread's CacheBlock connection, whatever its depth.
int endBlockHold() {
    if (!t_block.connection)
        return code(CacheError::NotBlocked);
    std::unique_ptr<CacheConnection> connection(t_block.connection);
    uint64_t generation = t_block.generation;
    t_block = BlockHold{};
    int result = connection->endBlock();
    giveBack(std::move(connection), generation);
    return result;
}

} // namespace

const char* cacheErrorText(int value) {
    switch (static_cast<CacheError>(value)) {
    case CacheError::None:
        return "no error";
    case CacheError::NotRunning:
        return "the page cache is not running";
    case CacheError::NotCached:
        return "the page is not cached";
    case CacheError::TooLarge:
        return "the page is larger than the whole cache";
    case CacheError::BadAddress:
        return "the address cannot name a cached page";
    case CacheError::NotBlocked:
        return "the cache was not blocked";
    case CacheError::Busy:
        return "the page cache is busy";
    case CacheError::Failed:
        return "the page cache database cannot be used";
    }
    return "unknown page cache error";
}

void CacheConfigure(int, const Str& directory, int64_t maxBytes, int persist) {
    CacheConfigSetPath(directory);
    CacheConfigMaxSize(maxBytes);
    CacheConfigPersist(persist);
}

void CacheConfigSetPath(const Str& directory) {
    std::lock_guard guard(state().lock);
    state().directory = directory.str();
}

void CacheConfigMaxSize(int64_t maxBytes) {
    maxBytes = std::max<int64_t>(maxBytes, 0);
    if (state().maxBytes.exchange(maxBytes) <= maxBytes || t_block.connection)
        return;
    // A user who lowers the limit expects the disk back now, not page by page in idle time.
    Lease connection;
    if (connection)
        (void)connection->shrink(maxBytes);
}

void CacheConfigPersist(int persist) {
    std::lock_guard guard(state().lock);
    state().persist = persist;
}

int CacheBegin() {
    CacheState& s = state();
    std::lock_guard lifecycle(s.lifecycle);
    std::string directory;
    bool wipe = false;
    {
        std::lock_guard guard(s.lock);
        if (s.running)
            return 0;
        directory = s.directory;
        wipe = s.persist == 0 || s.corruptionSeen;
    }
    if (directory.empty())
        return code(CacheError::Failed);
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error)
        return code(CacheError::Failed);
    std::string path = (std::filesystem::path(directory) / kCacheFileName).string();
    if (wipe)
        removeDatabase(path);

    auto first = std::make_unique<CacheConnection>();
    int result = first->open(path, true);
    if (result != 0 && first->sawCorruption()) {
        // A damaged cache is worth nothing; starting empty beats failing on every run.
        first.reset();
        removeDatabase(path);
        first = std::make_unique<CacheConnection>();
        result = first->open(path, true);
    }
    int64_t largestStamp = 0;
    if (result == 0)
        result = first->largestUseStamp(largestStamp);
    if (result != 0)
        return code(CacheError::Failed);

    std::lock_guard guard(s.lock);
    s.useStamp.store(largestStamp);
    s.databasePath = path;
    s.corruptionSeen = false;
    s.touches.clear();
    ++s.generation;
    s.idle.push_back(std::move(first));
    s.running = true;
    return 0;
}

int CacheEnd() {
    CacheState& s = state();
    std::lock_guard lifecycle(s.lifecycle);
    if (t_block.connection)
        (void)endBlockHold();
    std::vector<std::unique_ptr<CacheConnection>> closing;
    CacheTouches touches;
    std::string path;
    bool wipe = false;
    {
        std::unique_lock guard(s.lock);
        if (!s.running)
            return code(CacheError::NotRunning);
        s.running = false;
        s.returned.wait(guard, [&] { return s.lent == 0; });
        closing.swap(s.idle);
        path = s.databasePath;
        wipe = s.persist == 0;
        touches.swap(s.touches);
    }
    if (!wipe && !touches.empty() && !closing.empty()) {
        // The order of use is worth keeping for the next run; the deadline allows one batch.
        bool worked = false;
        (void)closing.front()->tidy(s.maxBytes.load(), std::chrono::steady_clock::now(), touches, worked);
    }
    // Closing the last connection folds the write-ahead log into the database file.
    closing.clear();
    if (wipe)
        removeDatabase(path);
    return 0;
}

int CacheIdle() {
    Lease connection;
    if (!connection)
        return 0;
    CacheTouches touches = takeTouches();
    bool worked = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
    if (connection->tidy(state().maxBytes.load(), deadline, touches, worked) != 0) {
        deferTouches(std::move(touches));
        return 0;
    }
    return worked ? 1 : 0;
}

int CacheAutosave() {
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    return connection->checkpoint();
}

int CacheSavePage(const URL& url, const Str& date, const Str& page) {
    return saveKeyed(url.resourceKey(), date, page);
}

int CacheSavePage(std::string_view url, const Str& date, const Str& page) {
    return saveKeyed(keyOf(url), date, page);
}

int CacheLoadPage(const URL& url, Str& out) {
    return loadKeyed(url.resourceKey(), out);
}

int CacheLoadPage(std::string_view url, Str& out) {
    return loadKeyed(keyOf(url), out);
}

int CacheGetPageDate(const URL& url, Str& out) {
    return dateKeyed(url.resourceKey(), out);
}

int CacheGetPageDate(std::string_view url, Str& out) {
    return dateKeyed(keyOf(url), out);
}

int CacheFreePage(const URL& url) {
    return freeKeyed(url.resourceKey());
}

int CacheFreePage(std::string_view url) {
    return freeKeyed(keyOf(url));
}

int CacheClear() {
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    return connection->clear();
}

int CacheBlock() {
    if (t_block.connection) {
        ++t_block.depth;
        return 0;
    }
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    if (int error = connection->beginBlock())
        return error;
    t_block.generation = connection.generation();
    t_block.connection = connection.release().release();
    t_block.depth = 1;
    return 0;
}

int CacheUnblock() {
    if (!t_block.connection)
        return code(CacheError::NotBlocked);
    if (--t_block.depth > 0)
        return 0;
    return endBlockHold();
}

int CacheGetUsage(int64_t& bytes, int64_t& pages) {
    Lease connection;
    if (!connection)
        return code(CacheError::NotRunning);
    return connection->usage(bytes, pages);
}

} // namespace lurvik
