#pragma once

#include <string>
#include <string_view>

namespace lurvik {

// Writes a file so that readers only ever see the old content or the whole new one: the bytes go
// to a temporary file beside the target, which is synced and renamed over the target on commit.
// Whatever does not reach a successful commit (a failure, an abandon, the destructor) removes the
// temporary file and leaves the target as it was.
//
// Only regular files (existing or new) are replaced that way. A symlink is followed and the file
// it leads to is replaced, so the link stays a link. Anything else (a device, a FIFO, "-" for
// standard output) is written straight: renaming over it would destroy it, and there is no old
// content to keep.
// Who may read a new file: whoever the umask lets, or its owner only (files that hold secrets).
enum class FileAccess { Default, OwnerOnly };

class FileReplacement {
public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement() { abandon(); }

    // Opens the temporary file, or the target itself when it is not a regular file; 0 on
    // success, else the errno value. Temporary files left beside the target by a writer that was
    // killed are removed first. A replaced file keeps its permissions, except that OwnerOnly
    // tightens them to the owner's reading and writing.
    [[nodiscard]] int begin(std::string_view target, FileAccess access = FileAccess::Default);
    // Syncs, closes and renames the temporary file over the target; 0 on success, else the errno
    // value (the temporary file is then already removed).
    [[nodiscard]] int commit();
    void abandon();

    bool isActive() const { return m_fd >= 0; }
    // Whether the bytes go straight to the target (not a regular file).
    bool isDirect() const { return m_direct; }
    // The descriptor to write to while active.
    int fd() const { return m_fd; }

private:
    int beginDirect(const std::string& path);

    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    bool m_direct = false;
};

// Writes n bytes, looping over partial writes and interruptions; 0 on success, else errno.
[[nodiscard]] int writeAll(int fd, const void* data, size_t n);

} // namespace lurvik
