#pragma once

#include <string>

namespace lurvik::cli {

// A page cache of the command's own in a temporary folder, begun at once and removed with all it
// holds when the command ends: a command-line run never sees what an earlier run left behind.
class TemporaryCache {
public:
    TemporaryCache();
    ~TemporaryCache();
    TemporaryCache(const TemporaryCache&) = delete;
    TemporaryCache& operator=(const TemporaryCache&) = delete;
    bool ok() const { return m_ok; }

private:
    std::string m_dir;
    bool m_ok = false;
};

} // namespace lurvik::cli
