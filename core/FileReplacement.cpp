#include "FileReplacement.h"

#include <atomic>
#include <cerrno>
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

// A name no other writer (thread or process) picks at the same time; the leading dot keeps the
// half-written file out of ordinary directory listings.
std::string temporaryName(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    thread_local std::minstd_rand random(std::random_device{}());
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(random() ^ attempt);
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

int FileReplacement::begin(std::string_view target) {
    abandon();
    if (target.empty())
        return ENOENT;
    m_target.assign(target);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporaryName(m_target, attempt);
        // 0666 lets the umask decide, as it would for a file created directly.
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temp = std::move(temp);
            struct stat old {};
            // A replaced file keeps the permissions the user gave it.
            if (::stat(m_target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
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
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

} // namespace lurvik
