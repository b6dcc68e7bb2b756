#include "InputFrogFile.h"

#include "InflateAhead.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace lurvik {

namespace {

constexpr size_t kBufferSize = 64 * 1024;
// Blocks of unknown true size are read in pieces of this size, so that a damaged length costs
// at most this much memory beyond the bytes really there.
constexpr int kChunk = 1 << 20;

int openForReading(std::string_view name, int& fd, struct stat& info) {
    std::string path(name);
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        fd = -1;
        return error;
    }
    return 0;
}

} // namespace

InputFrogFile::InputFrogFile() = default;

InputFrogFile::~InputFrogFile() {
    reset();
}

int InputFrogFile::open(std::string_view name) {
    if (isOpen())
        return fail(FrogFileError::AlreadyOpen, "open");
    clearError();
    m_name = name;
    struct stat info {};
    if (int error = openForReading(name, m_fd, info))
        return fail(FrogFileError::OpenFailed, "open", error);
    m_unread = S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : -1;
    m_buffer.clear();
    m_bufferPos = 0;
    return 0;
}

int InputFrogFile::openCompressed(std::string_view name) {
    if (isOpen())
        return fail(FrogFileError::AlreadyOpen, "open");
    clearError();
    m_name = name;
    struct stat info {};
    int fd = -1;
    if (int error = openForReading(name, fd, info))
        return fail(FrogFileError::OpenFailed, "open", error);
    if (S_ISREG(info.st_mode) && info.st_size == 0) {
        ::close(fd);
        return fail(FrogFileError::NotCompressed, "read");
    }
    // A file of the wrong kind must fail here instead of being parsed as if it had been
    // decompressed: compressed data starts with gzip's two bytes.
    std::string first(2, '\0');
    size_t have = 0;
    while (have < first.size()) {
        const long done = readRetrying(fd, first.data() + have, first.size() - have);
        if (done < 0) {
            const int error = errno;
            ::close(fd);
            return fail(FrogFileError::ReadFailed, "read", error);
        }
        if (done == 0)
            break;
        have += static_cast<size_t>(done);
    }
    if (have < first.size() || first[0] != '\x1f' || first[1] != '\x8b') {
        ::close(fd);
        return fail(FrogFileError::NotCompressed, "read");
    }
    m_inflate = std::make_unique<InflateAhead>(fd, std::move(first));
    m_fd = fd;
    return 0;
}

int InputFrogFile::read(MemBlock& out) {
    return read(out, 0, nullptr);
}

int InputFrogFile::read(MemBlock& out, int headBytes, const std::function<int(MemBlock&)>& accept) {
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "read");
    unsigned char header[4];
    int got = 0;
    if (int error = readSome(reinterpret_cast<char*>(header), 4, got))
        return error;
    if (got == 0)
        return fail(FrogFileError::EndOfFile, "read");
    if (got < 4)
        return fail(FrogFileError::Truncated, "read");
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<uint32_t>(header[i]) << (8 * i);
    if (length > static_cast<uint32_t>(kMaxFrogBlock))
        return fail(FrogFileError::Corrupt, "read");
    int64_t available =
        m_unread < 0 || m_inflate ? -1 : m_unread + static_cast<int64_t>(m_buffer.size() - m_bufferPos);
    if (available >= 0 && length > available)
        return fail(FrogFileError::Truncated, "read");

    // Read in place: a map's pages are a million blocks, each read into the same block.
    out.clear();
    int total = static_cast<int>(length);
    bool checked = !accept;
    while (out.len() < total) {
        int piece = available >= 0 ? total : std::min(kChunk, total - out.len());
        if (int error = readSome(out.grow(piece), piece, got))
            return error;
        if (got < piece)
            return fail(FrogFileError::Truncated, "read");
        if (!checked && out.len() >= std::min(headBytes, total)) {
            checked = true;
            const int refused = accept(out);
            out.getstart();
            if (refused != 0)
                return fail(FrogFileError::Corrupt, "read");
        }
    }
    if (!checked) {
        const int refused = accept(out);
        out.getstart();
        if (refused != 0)
            return fail(FrogFileError::Corrupt, "read");
    }
    return 0;
}

int InputFrogFile::read(Str& out, int n, int* got) {
    if (got)
        *got = 0;
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "read");
    if (n <= 0) {
        out.clear();
        return 0;
    }
    std::string bytes;
    int done = 0;
    // Reading in pieces keeps an oversized n from allocating more than the file can give.
    while (done < n) {
        int piece = std::min(kChunk, n - done);
        bytes.resize(static_cast<size_t>(done + piece));
        int pieceGot = 0;
        if (int error = readSome(bytes.data() + done, piece, pieceGot))
            return error;
        done += pieceGot;
        if (pieceGot < piece)
            break;
    }
    if (done == 0)
        return fail(FrogFileError::EndOfFile, "read");
    bytes.resize(static_cast<size_t>(done));
    out.str() = std::move(bytes);
    if (got)
        *got = done;
    return 0;
}

int InputFrogFile::readExact(void* data, int n) {
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "read");
    if (n <= 0)
        return 0;
    int got = 0;
    if (int error = readSome(static_cast<char*>(data), n, got))
        return error;
    return got == n ? 0 : fail(FrogFileError::Truncated, "read");
}

int InputFrogFile::close() {
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "close");
    reset();
    return 0;
}

int InputFrogFile::readSome(char* data, int n, int& got) {
    got = 0;
    return m_inflate ? readCompressed(data, n, got) : readPlain(data, n, got);
}

int InputFrogFile::readPlain(char* data, int n, int& got) {
    while (got < n) {
        if (m_bufferPos < m_buffer.size()) {
            size_t take = std::min(m_buffer.size() - m_bufferPos, static_cast<size_t>(n - got));
            std::copy_n(m_buffer.data() + m_bufferPos, take, data + got);
            m_bufferPos += take;
            got += static_cast<int>(take);
            continue;
        }
        // Large requests go straight to the caller's memory; small ones through the buffer.
        bool direct = static_cast<size_t>(n - got) >= kBufferSize;
        char* target = direct ? data + got : nullptr;
        if (!direct) {
            m_buffer.resize(kBufferSize);
            m_bufferPos = 0;
            target = m_buffer.data();
        }
        size_t want = direct ? static_cast<size_t>(n - got) : kBufferSize;
        const long done = readRetrying(m_fd, target, want);
        if (done < 0) {
            m_buffer.clear();
            return fail(FrogFileError::ReadFailed, "read", errno);
        }
        if (m_unread >= 0)
            m_unread = std::max<int64_t>(0, m_unread - done);
        if (direct) {
            got += static_cast<int>(done);
        } else {
            m_buffer.resize(static_cast<size_t>(done));
        }
        if (done == 0)
            break;
    }
    return 0;
}

int InputFrogFile::readCompressed(char* data, int n, int& got) {
    InflateAhead::End end;
    m_inflate->read(data, n, got, end);
    if (got == n)
        return 0;
    switch (end.zlibError) {
    case Z_OK:
    case Z_STREAM_END:
        return 0;
    case Z_BUF_ERROR:
        return fail(FrogFileError::Truncated, "read");
    case Z_ERRNO:
        return fail(FrogFileError::ReadFailed, "read", end.systemError != 0 ? end.systemError : EIO);
    default:
        return fail(FrogFileError::Corrupt, "read");
    }
}

void InputFrogFile::reset() {
    if (m_inflate) {
        m_inflate.reset();
        // The inflater has closed the descriptor.
        m_fd = -1;
    }
    closeDescriptor();
    m_buffer.clear();
    m_bufferPos = 0;
    m_unread = -1;
}

} // namespace lurvik
