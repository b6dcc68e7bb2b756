#include "TemporaryCache.h"

#include "core/PageCache.h"

#include <cstdlib>
#include <filesystem>

namespace lurvik::cli {

TemporaryCache::TemporaryCache() {
    char pattern[] = "/tmp/lurvik-cache-XXXXXX";
    if (!mkdtemp(pattern))
        return;
    m_dir = pattern;
    CacheConfigure(1, Str(m_dir + "/"), int64_t(1) << 40, 0);
    m_ok = CacheBegin() == 0;
}

TemporaryCache::~TemporaryCache() {
    if (m_ok)
        CacheEnd();
    std::error_code ignored;
    if (!m_dir.empty())
        std::filesystem::remove_all(m_dir, ignored);
}

} // namespace lurvik::cli
