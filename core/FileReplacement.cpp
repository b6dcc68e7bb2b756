#include "FileReplacement.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace lurvik {

namespace {

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr const char* kTemporaryMark = ".tmp-";

std::string baseOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symlinks to the path that is really written; a dangling link yields the
// file it names, which is then created. 0 on success, else the errno value.
int resolveLinks(std::string path, std::string& out) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = std::move(path);
            return 0;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0)
            return errno;
        link.resize(static_cast<size_t>(n));
        if (link.empty())
            return ENOENT;
        if (link[0] != '/') {
            std::string dir = directoryOf(path);
            link = (dir == "/" ? dir : dir + "/") + link;
        }
        path = std::move(link);
    }
    return ELOOP;
}

// A writer killed in the middle of a save (SIGKILL, a power cut) leaves its temporary file
// behind; the pid in the name tells whether that writer is gone.
void removeStaleTemporaries(const std::string& target) {
    std::string dir = directoryOf(target);
    std::string prefix = "." + baseOf(target) + kTemporaryMark;
    DIR* listing = ::opendir(dir.c_str());
    if (!listing)
        return;
    while (dirent* entry = ::readdir(listing)) {
        std::string_view name = entry->d_name;
        if (name.substr(0, prefix.size()) != prefix)
            continue;
        std::string rest(name.substr(prefix.size()));
        char* end = nullptr;
        long pid = std::strtol(rest.c_str(), &end, 10);
        if (end == rest.c_str() || *end != '-' || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        ::unlink((dir == "/" ? dir : dir + "/").append(name).c_str());
    }
    ::closedir(listing);
}

// A name no other writer (thread or process) picks at the same time; the leading dot keeps the
// half-written file out of ordinary directory listings.
std::string temporaryName(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    thread_local std::minstd_rand random(std::random_device{}());
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + base + kTemporaryMark + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
           "-" + std::to_string(random() ^ attempt);
}

void syncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Best effort: the rename has happened; a directory that cannot be synced loses nothing now.
    ::fsync(fd);
    ::close(fd);
}

} // namespace

int writeAll(int fd, const void* data, size_t n) {
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t done = ::write(fd, p, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (done == 0)
            return EIO;
        p += done;
        n -= static_cast<size_t>(done);
    }
    return 0;
}

int FileReplacement::beginDirect(const std::string& path) {
    // A FIFO blocks here until someone reads it, as it would for the shell's own redirection.
    int fd = path == "-" ? ::dup(STDOUT_FILENO) : ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno;
    m_fd = fd;
    m_direct = true;
    return 0;
}

int FileReplacement::begin(std::string_view target, FileAccess access) {
    abandon();
    if (target.empty())
        return ENOENT;
    if (target == "-")
        return beginDirect("-");
    std::string path(target);
    // Asked before the links are resolved by hand: /dev/stdout and its kin lead to names like
    // "pipe:[123]" that only the kernel can follow.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return beginDirect(path);
    if (int error = resolveLinks(std::move(path), m_target))
        return error;
    removeStaleTemporaries(m_target);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporaryName(m_target, attempt);
        // 0666 lets the umask decide, as it would for a file created directly.
        const bool ownerOnly = access == FileAccess::OwnerOnly;
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temp = std::move(temp);
            struct stat old {};
            // A replaced file keeps the permissions the user gave it; one that holds secrets is
            // tightened, however it was left by an older version.
            if (ownerOnly)
                ::fchmod(m_fd, 0600);
            else if (::stat(m_target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
                ::fchmod(m_fd, old.st_mode & 07777);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int FileReplacement::commit() {
    if (m_fd < 0)
        return EBADF;
    int error = 0;
    if (m_direct) {
        // Pipes and terminals cannot be synced; what the reader got is all there is to check.
        if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP)
            error = errno;
        if (::close(m_fd) != 0 && error == 0)
            error = errno;
        m_fd = -1;
        m_direct = false;
        return error;
    }
    if (::fsync(m_fd) != 0)
        error = errno;
    if (::close(m_fd) != 0 && error == 0)
        error = errno;
    m_fd = -1;
    if (error == 0 && ::rename(m_temp.c_str(), m_target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return error;
    }
    m_temp.clear();
    syncDirectory(directoryOf(m_target));
    return 0;
}

void FileReplacement::abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_direct = false;
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

} // namespace lurvik
