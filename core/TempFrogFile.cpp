#include "TempFrogFile.h"

#include "FileReplacement.h"
#include "SlicedGzip.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace lurvik {

TempFrogFile::TempFrogFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = dir && *dir ? dir : "/tmp";
    pattern += "/lurvik-XXXXXX";
    m_name = "temporary file";
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        (void)fail(FrogFileError::OpenFailed, "create", errno);
        return;
    }
    ::unlink(pattern.c_str());
    m_fd = fd;
}

int TempFrogFile::compress(std::string_view name) {
    if (int failed = failedCode())
        return failed;
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "compress");
    if (int error = flushBuffer())
        return error;

    FileReplacement target;
    if (int error = target.begin(name))
        return failOn(name, FrogFileError::OpenFailed, "create", error);
    // The maps of sites of a million pages run to a gigabyte before compression, where the usual
    // level would take half a minute; they trade a little size for a save several times faster,
    // and are compressed on every core.
    struct stat written {};
    if (::fstat(m_fd, &written) == 0 && written.st_size > (int64_t(64) << 20)) {
        const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
        SlicedGzipResult sliced = gzipInSlices(m_fd, target.fd(), 1, threads);
        if (sliced.readError != 0)
            return fail(FrogFileError::ReadFailed, "read", sliced.readError);
        if (sliced.writeError != 0)
            return failOn(name, FrogFileError::WriteFailed, "write", sliced.writeError);
        if (int error = target.commit())
            return failOn(name, FrogFileError::SaveFailed, "save", error);
        return 0;
    }
    // gzclose closes the descriptor it was given; the replacement still needs its own to sync.
    int gzfd = ::dup(target.fd());
    if (gzfd < 0)
        return failOn(name, FrogFileError::OpenFailed, "create", errno);
    gzFile gz = gzdopen(gzfd, "wb6");
    if (!gz) {
        ::close(gzfd);
        return failOn(name, FrogFileError::OpenFailed, "create", ENOMEM);
    }

    std::vector<char> chunk(128 * 1024);
    off_t offset = 0;
    int readError = 0;
    int writeError = 0;
    for (;;) {
        ssize_t got = ::pread(m_fd, chunk.data(), chunk.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            readError = errno;
            break;
        }
        if (got == 0)
            break;
        offset += got;
        if (gzwrite(gz, chunk.data(), static_cast<unsigned>(got)) != static_cast<int>(got)) {
            int zerr = Z_OK;
            gzerror(gz, &zerr);
            writeError = zerr == Z_ERRNO && errno != 0 ? errno : EIO;
            break;
        }
    }
    errno = 0;
    int closed = gzclose(gz);
    if (closed != Z_OK && writeError == 0)
        writeError = closed == Z_ERRNO && errno != 0 ? errno : EIO;
    if (readError != 0)
        return fail(FrogFileError::ReadFailed, "read", readError);
    if (writeError != 0)
        return failOn(name, FrogFileError::WriteFailed, "write", writeError);
    if (int error = target.commit())
        return failOn(name, FrogFileError::SaveFailed, "save", error);
    return 0;
}

int TempFrogFile::close() {
    int failed = failedCode();
    resetWriter();
    if (failed != 0)
        return failed;
    return FrogFile::close();
}

void TempFrogFile::abandonAfterFailure() {
    closeDescriptor();
}

} // namespace lurvik
