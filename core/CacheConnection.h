#pragma once

#include "Str.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace lurvik {

// Uses of pages (key, stamp) that could not be recorded at once because another connection held
// the write lock; the next write applies them.
using CacheTouches = std::vector<std::pair<std::string, int64_t>>;

// One SQLite connection to the page cache database with its prepared statements. A connection
// serves one thread at a time (the pool in PageCache.cpp lends them out); SQLite's own locking
// orders the writers of different connections. Every operation returns a CacheError code.
class CacheConnection {
public:
    CacheConnection() = default;
    CacheConnection(const CacheConnection&) = delete;
    CacheConnection& operator=(const CacheConnection&) = delete;
    ~CacheConnection();

    // Opens the database file; the first connection of a run also creates the tables. Sets
    // sawCorruption() when the file is not a database this program can use.
    [[nodiscard]] int open(const std::string& path, bool createSchema);

    // Reads never wait for a writer: when the page's use cannot be recorded at once, deferred is
    // set and the caller hands the use to a later write.
    [[nodiscard]] int load(std::string_view key, int64_t useStamp, Str& out, bool& deferred);
    [[nodiscard]] int date(std::string_view key, Str& out);
    // Stores the page, records the deferred uses, and evicts the least recently used others until
    // the total fits maxBytes.
    [[nodiscard]] int save(std::string_view key, const Str& date, const Str& page, int64_t useStamp,
                           int64_t maxBytes, const CacheTouches& touches);
    [[nodiscard]] int free(std::string_view key);
    [[nodiscard]] int clear();
    // Records the deferred uses, then evicts until the total fits maxBytes or the deadline passes;
    // never waits for another writer. worked tells whether anything changed.
    [[nodiscard]] int tidy(int64_t maxBytes, std::chrono::steady_clock::time_point deadline,
                           const CacheTouches& touches, bool& worked);
    [[nodiscard]] int usage(int64_t& bytes, int64_t& pages);
    [[nodiscard]] int largestUseStamp(int64_t& out);
    [[nodiscard]] int checkpoint();
    // Evicts until the total fits maxBytes, then gives the freed space back to the file system, so
    // that a smaller limit shows on disk at once. Outside a CacheBlock only.
    [[nodiscard]] int shrink(int64_t maxBytes);

    // An explicit write transaction that the operations above join until endBlock commits it.
    [[nodiscard]] int beginBlock();
    [[nodiscard]] int endBlock();

    bool sawCorruption() const { return m_corrupt; }

private:
    enum Statement {
        Load,
        Touch,
        Date,
        Save,
        Free,
        Clear,
        Total,
        Count,
        Oldest,
        DeleteRow,
        MaxUsed,
        StatementCount
    };

    class WriteTransaction;

    int prepareAll();
    sqlite3_stmt* statement(Statement which) { return m_statements[which]; }
    // Turns an SQLite result into a CacheError, remembering corruption on the way.
    int failure(int sqliteCode);
    int execute(const char* sql);
    int readTotal(int64_t& out);
    int evictOldest(int64_t maxBytes, int batch, bool& fits, int& evicted);
    int applyTouches(const CacheTouches& touches);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statements[StatementCount] = {};
    bool m_corrupt = false;
};

// The database file's name inside the cache directory; its -wal and -shm companions share it.
constexpr std::string_view kCacheFileName = "lvcache.sqlite";

} // namespace lurvik
