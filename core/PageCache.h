#pragma once

#include "Str.h"
#include "URL.h"

#include <cstdint>
#include <string_view>

namespace lurvik {

// The page cache: retrieved pages kept on disk between fetches (and, when persistent, between
// runs), keyed by their address without the bookmark. One SQLite database in the configured
// directory, bodies compressed; the least recently used pages make room when the stored total
// passes the size limit.
//
// Every function may be called from any thread. Before CacheBegin and after CacheEnd they do
// nothing and return CacheError::NotRunning. Functions returning int return 0 on success.

enum class CacheError : int {
    None = 0,
    NotRunning, // outside CacheBegin ... CacheEnd
    NotCached,  // no page is kept under that address
    TooLarge,   // the page alone is bigger than the whole cache; it was not kept
    BadAddress, // an address with nothing to key a page by
    NotBlocked, // CacheUnblock without a CacheBlock on this thread
    Busy,       // the database stayed locked by another writer for too long
    Failed,     // the database or its directory could not be used
};

// A short English description of a CacheError code.
const char* cacheErrorText(int code);

// Settings, taken by the next CacheBegin; the size limit applies at once, and a lower one evicts
// and compacts the running cache's file before returning. The first flag is 1 in every caller and
// has no other meaning; persist 0 wipes the cache at CacheBegin and CacheEnd.
void CacheConfigure(int flag, const Str& directory, int64_t maxBytes, int persist);
void CacheConfigSetPath(const Str& directory);
void CacheConfigMaxSize(int64_t maxBytes);
void CacheConfigPersist(int persist);

// Opens (creating the directory and the database when missing) at start-up. A database that
// cannot be read as one is replaced by an empty one. 0 also when the cache is already running.
[[nodiscard]] int CacheBegin();
// Closes at shutdown, after waiting for calls in progress on other threads.
int CacheEnd();
// A slice of housekeeping of about a millisecond, for the idle loop; non-zero when it did work.
int CacheIdle();
// Brings the database file up to date with everything saved so far (at the end of a retrieval).
int CacheAutosave();

// Keeps page, with the server's date for it (a "Last-Modified" text), under url's address.
int CacheSavePage(const URL& url, const Str& date, const Str& page);
int CacheSavePage(std::string_view url, const Str& date, const Str& page);
// 0 and the page in out when it is cached (which makes it the most recently used).
[[nodiscard]] int CacheLoadPage(const URL& url, Str& out);
[[nodiscard]] int CacheLoadPage(std::string_view url, Str& out);
// 0 and the date saved with the page when it is cached.
[[nodiscard]] int CacheGetPageDate(const URL& url, Str& out);
[[nodiscard]] int CacheGetPageDate(std::string_view url, Str& out);
int CacheFreePage(const URL& url);
int CacheFreePage(std::string_view url);
int CacheClear();

// Brackets a run of calls on this thread (freeing many pages) so that they commit together, as
// one write instead of one each. Other threads' writes wait until CacheUnblock (their reads do
// not); nesting is counted. A thread unblocks before it ends; CacheEnd on the blocking thread
// commits the block itself.
int CacheBlock();
int CacheUnblock();

// The bytes the cached pages take (addresses, dates and compressed bodies) and how many there are.
[[nodiscard]] int CacheGetUsage(int64_t& bytes, int64_t& pages);

} // namespace lurvik
