#include "FrogFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace lurvik {

long readRetrying(int fd, void* data, size_t n) {
    for (;;) {
        const ssize_t done = ::read(fd, data, n);
        if (done >= 0 || errno != EINTR)
            return static_cast<long>(done);
    }
}

const char* frogFileErrorText(int code) {
    switch (static_cast<FrogFileError>(code)) {
    case FrogFileError::None:
        return "no error";
    case FrogFileError::NotOpen:
        return "file is not open";
    case FrogFileError::AlreadyOpen:
        return "file is already open";
    case FrogFileError::OpenFailed:
        return "cannot open file";
    case FrogFileError::ReadFailed:
        return "read error";
    case FrogFileError::WriteFailed:
        return "write error";
    case FrogFileError::EndOfFile:
        return "end of file";
    case FrogFileError::Truncated:
        return "file is truncated";
    case FrogFileError::Corrupt:
        return "file is corrupt";
    case FrogFileError::NotCompressed:
        return "file is not compressed data";
    case FrogFileError::SaveFailed:
        return "cannot save file";
    }
    return "unknown file error";
}

FrogFile::~FrogFile() {
    closeDescriptor();
}

int FrogFile::close() {
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "close");
    closeDescriptor();
    return 0;
}

int FrogFile::failOn(std::string_view subject, FrogFileError code, std::string_view action, int systemError) {
    m_lastError = static_cast<int>(code);
    m_errorText.clear();
    m_errorText.cat("cannot ");
    m_errorText.cat(action);
    if (!subject.empty()) {
        m_errorText.cat(' ');
        m_errorText.cat(subject);
    }
    m_errorText.cat(": ");
    if (systemError != 0) {
        char buffer[128];
        // The GNU strerror_r, which may return a static text instead of filling the buffer.
        m_errorText.cat(strerror_r(systemError, buffer, sizeof buffer));
    } else {
        m_errorText.cat(frogFileErrorText(m_lastError));
    }
    return m_lastError;
}

void FrogFile::closeDescriptor() {
    if (m_fd >= 0) {
        // Linux releases the descriptor even when close reports EINTR, so it is never retried.
        ::close(m_fd);
        m_fd = -1;
    }
}

void FrogFile::clearError() {
    m_lastError = 0;
    m_errorText.clear();
}

} // namespace lurvik
