#include "WritableFrogFile.h"

#include "FileReplacement.h"

#include <cerrno>
#include <cstring>

namespace lurvik {

namespace {

// Site maps are written as many small blocks; one system call per block would dominate.
constexpr size_t kBufferSize = 64 * 1024;

} // namespace

int WritableFrogFile::write(const Str& text) {
    return write(text.text(), text.len());
}

int WritableFrogFile::write(const void* data, int n) {
    if (m_failedCode != 0)
        return m_failedCode;
    if (!isOpen())
        return fail(FrogFileError::NotOpen, "write");
    if (n <= 0)
        return 0;
    size_t size = static_cast<size_t>(n);
    if (m_buffer.size() + size > kBufferSize) {
        if (int error = flushBuffer())
            return error;
    }
    if (size >= kBufferSize) {
        if (int error = writeOut(data, size))
            return recordWriteFailure(error);
        return 0;
    }
    if (m_buffer.capacity() < kBufferSize)
        m_buffer.reserve(kBufferSize);
    auto* p = static_cast<const char*>(data);
    m_buffer.insert(m_buffer.end(), p, p + size);
    return 0;
}

int WritableFrogFile::write(const MemBlock& block) {
    if (int error = writeFrameLength(block.len()))
        return error;
    return write(block.getAddr(), block.len());
}

int WritableFrogFile::writeBlock(const std::function<void(BlockStream&)>& make) {
    if (m_failedCode != 0)
        return m_failedCode;
    BlockStream counted;
    make(counted);
    if (int error = writeFrameLength(counted.length()))
        return error;
    BlockStream written([this](const char* data, int n) { return write(data, n); });
    make(written);
    if (int error = written.finish())
        return error;
    // Anything after a block whose frame tells another length would be read from the wrong place.
    if (written.length() != counted.length())
        return recordWriteFailure(EIO);
    return 0;
}

int WritableFrogFile::writeFrameLength(int64_t length) {
    if (m_failedCode != 0)
        return m_failedCode;
    if (length > kMaxFrogBlock)
        return recordWriteFailure(EFBIG);
    unsigned char bytes[4];
    auto n = static_cast<uint32_t>(length);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(n >> (8 * i));
    return write(bytes, 4);
}

int WritableFrogFile::flushBuffer() {
    if (m_failedCode != 0)
        return m_failedCode;
    if (m_buffer.empty())
        return 0;
    int error = writeOut(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return error ? recordWriteFailure(error) : 0;
}

int WritableFrogFile::writeOut(const void* data, size_t n) {
    return writeAll(m_fd, data, n);
}

void WritableFrogFile::resetWriter() {
    m_buffer.clear();
    m_failedCode = 0;
}

int WritableFrogFile::recordWriteFailure(int systemError) {
    m_failedCode = fail(FrogFileError::WriteFailed, "write", systemError);
    m_buffer.clear();
    abandonAfterFailure();
    return m_failedCode;
}

} // namespace lurvik
