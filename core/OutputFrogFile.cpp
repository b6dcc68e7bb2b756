#include "OutputFrogFile.h"

namespace lurvik {

OutputFrogFile::OutputFrogFile(std::string_view name, FileAccess access) {
    (void)open(name, access);
}

OutputFrogFile::~OutputFrogFile() {
    discard();
}

int OutputFrogFile::open(std::string_view name, FileAccess access) {
    if (isOpen())
        return fail(FrogFileError::AlreadyOpen, "open");
    clearError();
    resetWriter();
    m_name = name;
    if (int error = m_replacement.begin(name, access))
        return fail(FrogFileError::OpenFailed, "create", error);
    m_fd = m_replacement.fd();
    return 0;
}

int OutputFrogFile::close() {
    if (int failed = failedCode()) {
        resetWriter();
        return failed;
    }
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "close");
    if (int error = flushBuffer()) {
        resetWriter();
        return error;
    }
    // The replacement owns the descriptor from here on.
    m_fd = -1;
    if (int error = m_replacement.commit())
        return fail(FrogFileError::SaveFailed, "save", error);
    return 0;
}

void OutputFrogFile::discard() {
    m_fd = -1;
    m_replacement.abandon();
    resetWriter();
}

void OutputFrogFile::abandonAfterFailure() {
    m_fd = -1;
    m_replacement.abandon();
}

} // namespace lurvik
