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

namespace {

// The size from which content is compressed as it is written, at the fastest level: the maps of
// sites of a million pages run to a gigabyte before compression, where the usual level would take
// half a minute.
constexpr uint64_t kPackFrom = uint64_t(64) << 20;
constexpr size_t kCopyBytes = 4u << 20;

int scratchFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = dir && *dir ? dir : "/tmp";
    pattern += "/lurvik-XXXXXX";
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(pattern.c_str());
    return fd;
}

// Hands the whole content of fd, from its start, to sink a piece at a time, and stops at the first
// sink result that is not 0, which it returns. readError receives the errno of a failed read.
template <class Sink>
int readWhole(int fd, size_t pieceSize, int& readError, Sink sink) {
    std::vector<char> piece(pieceSize);
    readError = 0;
    for (off_t offset = 0;;) {
        ssize_t got = ::pread(fd, piece.data(), piece.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            readError = errno;
            return 0;
        }
        if (got == 0)
            return 0;
        if (int result = sink(piece.data(), static_cast<size_t>(got)))
            return result;
        offset += got;
    }
}

} // namespace

TempFrogFile::TempFrogFile() {
    m_name = "temporary file";
    int fd = scratchFile();
    if (fd < 0) {
        (void)fail(FrogFileError::OpenFailed, "create", errno);
        return;
    }
    m_fd = fd;
}

TempFrogFile::~TempFrogFile() {
    dropPacking();
}

int TempFrogFile::writeOut(const void* data, size_t n) {
    if (m_packer)
        return m_packer->write(data, n);
    if (int error = writeAll(m_fd, data, n))
        return error;
    m_size += n;
    return m_size > kPackFrom ? startPacking() : 0;
}

int TempFrogFile::startPacking() {
    m_packedFd = scratchFile();
    if (m_packedFd < 0)
        return errno;
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    m_packer = std::make_unique<SlicedGzip>(m_packedFd, 1, threads);
    int readError = 0;
    if (int error = readWhole(m_fd, kCopyBytes, readError,
                              [&](const char* data, size_t n) { return m_packer->write(data, n); }))
        return error;
    if (readError != 0)
        return readError;
    // The plain copy is no longer needed; its room on disk is given back at once.
    return ::ftruncate(m_fd, 0) == 0 ? 0 : errno;
}

int TempFrogFile::compressPacked(std::string_view name) {
    std::vector<unsigned char> tail;
    if (int error = m_packer->finish(tail))
        return fail(FrogFileError::WriteFailed, "write", error);
    FileReplacement target;
    if (int error = target.begin(name))
        return failOn(name, FrogFileError::OpenFailed, "create", error);
    int readError = 0;
    if (int error = readWhole(m_packedFd, kCopyBytes, readError,
                              [&](const char* data, size_t n) { return writeAll(target.fd(), data, n); }))
        return failOn(name, FrogFileError::WriteFailed, "write", error);
    if (readError != 0)
        return fail(FrogFileError::ReadFailed, "read", readError);
    if (int error = writeAll(target.fd(), tail.data(), tail.size()))
        return failOn(name, FrogFileError::WriteFailed, "write", error);
    if (int error = target.commit())
        return failOn(name, FrogFileError::SaveFailed, "save", error);
    return 0;
}

void TempFrogFile::dropPacking() {
    m_packer.reset();
    if (m_packedFd >= 0) {
        ::close(m_packedFd);
        m_packedFd = -1;
    }
}

int TempFrogFile::compress(std::string_view name) {
    if (int failed = failedCode())
        return failed;
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "compress");
    if (int error = flushBuffer())
        return error;

    if (m_packer)
        return compressPacked(name);

    FileReplacement target;
    if (int error = target.begin(name))
        return failOn(name, FrogFileError::OpenFailed, "create", error);
    // gzclose closes the descriptor it was given; the replacement still needs its own to sync.
    int gzfd = ::dup(target.fd());
    if (gzfd < 0)
        return failOn(name, FrogFileError::OpenFailed, "create", errno);
    gzFile gz = gzdopen(gzfd, "wb6");
    if (!gz) {
        ::close(gzfd);
        return failOn(name, FrogFileError::OpenFailed, "create", ENOMEM);
    }

    int readError = 0;
    int writeError = readWhole(m_fd, 128 * 1024, readError, [&](const char* data, size_t n) {
        if (gzwrite(gz, data, static_cast<unsigned>(n)) == static_cast<int>(n))
            return 0;
        int zerr = Z_OK;
        gzerror(gz, &zerr);
        return zerr == Z_ERRNO && errno != 0 ? errno : EIO;
    });
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
    dropPacking();
    if (failed != 0)
        return failed;
    return FrogFile::close();
}

void TempFrogFile::abandonAfterFailure() {
    dropPacking();
    closeDescriptor();
}

} // namespace lurvik
