#include "CacheConnection.h"

#include "PageCache.h"

#include <algorithm>
#include <cstdint>
#include <sqlite3.h>
#include <vector>
#include <zlib.h>

namespace lurvik {

namespace {

// Long enough for another thread's save or a CacheBlock run to finish; a caller that still finds
// the database locked gets Busy and goes on without the cache.
constexpr int kBusyTimeoutMs = 5000;
// Version 2 stores bodies compressed; a version 1 file is dropped like a damaged one.
constexpr int kSchemaVersion = 2;

// Bodies are zlib streams (HTML shrinks to a fifth or less), plain their inflated length; size
// counts the stored bytes, so the limit is what the disk holds. The body is the last column so that eviction,
// which reads only id, size and used, never pulls a page's overflow pages from disk. The triggers keep the
// byte total exact inside every transaction, so the limit can be checked without summing the table.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS pages(
    id INTEGER PRIMARY KEY,
    key TEXT NOT NULL UNIQUE,
    date TEXT NOT NULL,
    size INTEGER NOT NULL,
    used INTEGER NOT NULL,
    plain INTEGER NOT NULL,
    body BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS pages_by_use ON pages(used);
CREATE TABLE IF NOT EXISTS totals(id INTEGER PRIMARY KEY CHECK(id = 1), bytes INTEGER NOT NULL);
INSERT OR IGNORE INTO totals VALUES(1, 0);
CREATE TRIGGER IF NOT EXISTS pages_added AFTER INSERT ON pages
    BEGIN UPDATE totals SET bytes = bytes + new.size WHERE id = 1; END;
CREATE TRIGGER IF NOT EXISTS pages_removed AFTER DELETE ON pages
    BEGIN UPDATE totals SET bytes = bytes - old.size WHERE id = 1; END;
CREATE TRIGGER IF NOT EXISTS pages_resized AFTER UPDATE OF size ON pages
    BEGIN UPDATE totals SET bytes = bytes - old.size + new.size WHERE id = 1; END;
PRAGMA user_version = 2;
)sql";

constexpr const char* kStatements[] = {
    "SELECT body, plain FROM pages WHERE key = ?1",
    // A deferred use may arrive after a newer save of the page; it must not make the page older.
    "UPDATE pages SET used = MAX(used, ?2) WHERE key = ?1",
    "SELECT date FROM pages WHERE key = ?1",
    "INSERT INTO pages(key, date, size, used, plain, body) VALUES(?1, ?2, ?3, ?4, ?5, ?6) "
    "ON CONFLICT(key) DO UPDATE SET date = excluded.date, size = excluded.size, used = excluded.used, "
    "plain = excluded.plain, body = excluded.body",
    "DELETE FROM pages WHERE key = ?1",
    "DELETE FROM pages",
    "SELECT bytes FROM totals WHERE id = 1",
    "SELECT COUNT(*) FROM pages",
    "SELECT id, size FROM pages ORDER BY used LIMIT ?1",
    "DELETE FROM pages WHERE id = ?1",
    "SELECT COALESCE(MAX(used), 0) FROM pages",
};

// Resets a statement when the scope ends, which also ends the read it may hold open.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* s) : m_s(s) {}
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    ~StatementUse() {
        sqlite3_reset(m_s);
        sqlite3_clear_bindings(m_s);
    }

private:
    sqlite3_stmt* m_s;
};

void bindText(sqlite3_stmt* s, int index, std::string_view text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string columnBytes(sqlite3_stmt* s, int column) {
    const void* p = sqlite3_column_blob(s, column);
    int n = sqlite3_column_bytes(s, column);
    return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

int code(CacheError error) {
    return static_cast<int>(error);
}

bool compressBody(const Str& page, std::string& out) {
    uLongf length = compressBound(static_cast<uLong>(page.len()));
    out.resize(length);
    // Level 1: a crawl saves pages as fast as they arrive; the higher levels gain little on HTML.
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(page.text()),
                  static_cast<uLong>(page.len()), 1) != Z_OK)
        return false;
    out.resize(length);
    return true;
}

bool inflateBody(const std::string& stored, int64_t plain, std::string& out) {
    out.resize(static_cast<size_t>(plain));
    uLongf length = static_cast<uLongf>(plain);
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                   reinterpret_cast<const Bytef*>(stored.data()),
                   static_cast<uLong>(stored.size())) != Z_OK ||
        length != static_cast<uLongf>(plain))
        return false;
    return true;
}

} // namespace

// Joins the transaction a CacheBlock holds open on this connection (as a savepoint), or starts an
// IMMEDIATE one: taking the write lock up front is what lets SQLite's busy wait apply, where a
// read that later wants to write could fail at once.
class CacheConnection::WriteTransaction {
public:
    explicit WriteTransaction(CacheConnection& connection)
        : m_connection(connection), m_outer(sqlite3_get_autocommit(connection.m_db) != 0) {
        m_status = m_connection.execute(m_outer ? "BEGIN IMMEDIATE" : "SAVEPOINT cache_op");
        m_open = m_status == 0;
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    ~WriteTransaction() {
        if (m_open)
            (void)m_connection.execute(m_outer ? "ROLLBACK" : "ROLLBACK TO cache_op; RELEASE cache_op");
    }

    int status() const { return m_status; }
    int commit() {
        int result = m_connection.execute(m_outer ? "COMMIT" : "RELEASE cache_op");
        if (result == 0)
            m_open = false;
        return result;
    }

private:
    CacheConnection& m_connection;
    bool m_outer;
    bool m_open = false;
    int m_status = 0;
};

CacheConnection::~CacheConnection() {
    for (sqlite3_stmt*& s : m_statements) {
        sqlite3_finalize(s);
        s = nullptr;
    }
    if (m_db)
        sqlite3_close_v2(m_db);
}

int CacheConnection::open(const std::string& path, bool createSchema) {
    int rc = sqlite3_open_v2(path.c_str(), &m_db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return failure(rc);
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (createSchema) {
        // The first statement is the first to read the file: a file that is not a database fails here.
        if (int error = execute("PRAGMA journal_mode = WAL"))
            return error;
        sqlite3_stmt* s = nullptr;
        rc = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &s, nullptr);
        int version = rc == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
        sqlite3_finalize(s);
        if (version != 0 && version != kSchemaVersion) {
            // Not ours, or from a later version: as useless here as a damaged file.
            m_corrupt = true;
            return code(CacheError::Failed);
        }
        if (int error = execute("BEGIN IMMEDIATE"))
            return error;
        int error = execute(kSchema);
        if (error == 0)
            error = execute("COMMIT");
        if (error != 0) {
            (void)execute("ROLLBACK");
            return error;
        }
    }
    // The cache can be rebuilt from the web: losing the last commits in a power cut is acceptable,
    // a sync on every save is not.
    if (int error = execute("PRAGMA synchronous = NORMAL"))
        return error;
    return prepareAll();
}

int CacheConnection::prepareAll() {
    for (int i = 0; i < StatementCount; ++i) {
        int rc = sqlite3_prepare_v3(m_db, kStatements[i], -1, SQLITE_PREPARE_PERSISTENT, &m_statements[i],
                                    nullptr);
        if (rc != SQLITE_OK)
            return failure(rc);
    }
    return 0;
}

int CacheConnection::failure(int sqliteCode) {
    switch (sqliteCode & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return code(CacheError::Busy);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        m_corrupt = true;
        return code(CacheError::Failed);
    default:
        return code(CacheError::Failed);
    }
}

int CacheConnection::execute(const char* sql) {
    int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : failure(rc);
}

int CacheConnection::load(std::string_view key, int64_t useStamp, Str& out, bool& deferred) {
    deferred = false;
    std::string body;
    {
        sqlite3_stmt* s = statement(Load);
        StatementUse use(s);
        bindText(s, 1, key);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE)
            return code(CacheError::NotCached);
        if (rc != SQLITE_ROW)
            return failure(rc);
        if (!inflateBody(columnBytes(s, 0), sqlite3_column_int64(s, 1), body)) {
            m_corrupt = true;
            return code(CacheError::Failed);
        }
    }
    {
        // A search thread must not stall behind the crawl's saves or a CacheBlock just to note
        // that it read a page.
        sqlite3_busy_timeout(m_db, 0);
        sqlite3_stmt* s = statement(Touch);
        StatementUse use(s);
        bindText(s, 1, key);
        sqlite3_bind_int64(s, 2, useStamp);
        int rc = sqlite3_step(s);
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        if (rc != SQLITE_DONE && failure(rc) == code(CacheError::Busy))
            deferred = true;
    }
    out.str() = std::move(body);
    return 0;
}

int CacheConnection::date(std::string_view key, Str& out) {
    sqlite3_stmt* s = statement(Date);
    StatementUse use(s);
    bindText(s, 1, key);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE)
        return code(CacheError::NotCached);
    if (rc != SQLITE_ROW)
        return failure(rc);
    out.str() = columnBytes(s, 0);
    return 0;
}

int CacheConnection::save(std::string_view key, const Str& date, const Str& page, int64_t useStamp,
                          int64_t maxBytes, const CacheTouches& touches) {
    std::string stored;
    if (!compressBody(page, stored))
        return code(CacheError::Failed);
    int64_t size = static_cast<int64_t>(key.size() + stored.size()) + date.len();
    WriteTransaction transaction(*this);
    if (int error = transaction.status())
        return error;
    if (int error = applyTouches(touches))
        return error;
    if (size > maxBytes) {
        // The older copy is stale now, and the new one cannot be kept.
        if (int error = free(key); error != 0 && error != code(CacheError::NotCached))
            return error;
        if (int error = transaction.commit())
            return error;
        return code(CacheError::TooLarge);
    }
    {
        sqlite3_stmt* s = statement(Save);
        StatementUse use(s);
        bindText(s, 1, key);
        bindText(s, 2, date.view());
        sqlite3_bind_int64(s, 3, size);
        sqlite3_bind_int64(s, 4, useStamp);
        sqlite3_bind_int64(s, 5, page.len());
        sqlite3_bind_blob(s, 6, stored.data(), static_cast<int>(stored.size()), SQLITE_STATIC);
        int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            return failure(rc);
    }
    bool fits = false;
    int evicted = 0;
    if (int error = evictOldest(maxBytes, INT32_MAX, fits, evicted))
        return error;
    return transaction.commit();
}

int CacheConnection::free(std::string_view key) {
    sqlite3_stmt* s = statement(Free);
    StatementUse use(s);
    bindText(s, 1, key);
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE)
        return failure(rc);
    return sqlite3_changes(m_db) > 0 ? 0 : code(CacheError::NotCached);
}

int CacheConnection::clear() {
    sqlite3_stmt* s = statement(Clear);
    StatementUse use(s);
    int rc = sqlite3_step(s);
    return rc == SQLITE_DONE ? 0 : failure(rc);
}

int CacheConnection::readTotal(int64_t& out) {
    sqlite3_stmt* s = statement(Total);
    StatementUse use(s);
    int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW)
        return failure(rc);
    out = sqlite3_column_int64(s, 0);
    return 0;
}

int CacheConnection::evictOldest(int64_t maxBytes, int limit, bool& fits, int& evicted) {
    evicted = 0;
    int64_t total = 0;
    if (int error = readTotal(total))
        return error;
    while (total > maxBytes && evicted < limit) {
        std::vector<std::pair<int64_t, int64_t>> oldest;
        {
            sqlite3_stmt* s = statement(Oldest);
            StatementUse use(s);
            sqlite3_bind_int(s, 1, std::min(limit - evicted, 16));
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW)
                oldest.emplace_back(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1));
            if (rc != SQLITE_DONE)
                return failure(rc);
        }
        if (oldest.empty()) {
            // Only a damaged total can exceed the limit with no pages left; start it afresh.
            if (int error = execute("UPDATE totals SET bytes = 0 WHERE id = 1"))
                return error;
            total = 0;
            break;
        }
        for (const auto& [id, size] : oldest) {
            sqlite3_stmt* s = statement(DeleteRow);
            StatementUse use(s);
            sqlite3_bind_int64(s, 1, id);
            int rc = sqlite3_step(s);
            if (rc != SQLITE_DONE)
                return failure(rc);
            total -= size;
            ++evicted;
            if (total <= maxBytes)
                break;
        }
    }
    fits = total <= maxBytes;
    return 0;
}

int CacheConnection::applyTouches(const CacheTouches& touches) {
    for (const auto& [key, stamp] : touches) {
        sqlite3_stmt* s = statement(Touch);
        StatementUse use(s);
        bindText(s, 1, key);
        sqlite3_bind_int64(s, 2, stamp);
        int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            return failure(rc);
    }
    return 0;
}

int CacheConnection::tidy(int64_t maxBytes, std::chrono::steady_clock::time_point deadline,
                          const CacheTouches& touches, bool& worked) {
    worked = false;
    int64_t total = 0;
    if (int error = readTotal(total))
        return error;
    if (total <= maxBytes && touches.empty())
        return 0;
    // The idle loop must not stall behind a search thread's save; the next slice tries again.
    sqlite3_busy_timeout(m_db, 0);
    int result = 0;
    bool touchesDone = touches.empty();
    for (;;) {
        WriteTransaction transaction(*this);
        if ((result = transaction.status()) != 0)
            break;
        if (!touchesDone && (result = applyTouches(touches)) != 0)
            break;
        bool fits = false;
        int evicted = 0;
        if ((result = evictOldest(maxBytes, 8, fits, evicted)) != 0)
            break;
        if ((result = transaction.commit()) != 0)
            break;
        worked = worked || evicted > 0 || !touchesDone;
        touchesDone = true;
        if (fits || std::chrono::steady_clock::now() >= deadline)
            break;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    return result;
}

int CacheConnection::usage(int64_t& bytes, int64_t& pages) {
    int64_t total = 0;
    if (int error = readTotal(total))
        return error;
    sqlite3_stmt* s = statement(Count);
    StatementUse use(s);
    int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW)
        return failure(rc);
    bytes = total;
    pages = sqlite3_column_int64(s, 0);
    return 0;
}

int CacheConnection::largestUseStamp(int64_t& out) {
    sqlite3_stmt* s = statement(MaxUsed);
    StatementUse use(s);
    int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW)
        return failure(rc);
    out = sqlite3_column_int64(s, 0);
    return 0;
}

int CacheConnection::checkpoint() {
    int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : failure(rc);
}

int CacheConnection::shrink(int64_t maxBytes) {
    {
        WriteTransaction transaction(*this);
        if (int error = transaction.status())
            return error;
        bool fits = false;
        int evicted = 0;
        if (int error = evictOldest(maxBytes, INT32_MAX, fits, evicted))
            return error;
        if (int error = transaction.commit())
            return error;
    }
    // Deleted rows leave free pages inside the file; only a rebuild returns them, and the
    // checkpoint then empties the write-ahead log the rebuild went through.
    if (int error = execute("VACUUM"))
        return error;
    int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : failure(rc);
}

int CacheConnection::beginBlock() {
    return execute("BEGIN IMMEDIATE");
}

int CacheConnection::endBlock() {
    int result = execute("COMMIT");
    if (result != 0)
        (void)execute("ROLLBACK");
    return result;
}

} // namespace lurvik
