#pragma once

#include <string>
#include <string_view>

namespace lurvik {

// Writes a file so that readers only ever see the old content or the whole new one: the bytes go
// to a temporary file beside the target, which is synced and renamed over the target on commit.
// Whatever does not reach a successful commit (a failure, an abandon, the destructor) removes the
// temporary file and leaves the target as it was.
class FileReplacement {
public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement() { abandon(); }

    // Creates the temporary file; 0 on success, else the errno value.
    [[nodiscard]] int begin(std::string_view target);
    // Syncs, closes and renames the temporary file over the target; 0 on success, else the errno
    // value (the temporary file is then already removed).
    [[nodiscard]] int commit();
    void abandon();

    bool isActive() const { return m_fd >= 0; }
    // The descriptor to write to while active.
    int fd() const { return m_fd; }

private:
    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
};

// Writes n bytes, looping over partial writes and interruptions; 0 on success, else errno.
[[nodiscard]] int writeAll(int fd, const void* data, size_t n);

} // namespace lurvik
