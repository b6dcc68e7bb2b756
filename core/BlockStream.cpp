#include "BlockStream.h"

#include <algorithm>
#include <utility>

namespace lurvik {

BlockStream::BlockStream(Sink sink, int pieceBytes) : m_sink(std::move(sink)), m_pieceBytes(pieceBytes) {
    m_piece.reserve(pieceBytes);
}

void BlockStream::cat(std::string_view s) {
    cat(static_cast<int64_t>(s.size()), 4);
    cat(s.data(), static_cast<int>(s.size()));
}

void BlockStream::cat(const void* data, int n) {
    if (n <= 0)
        return;
    m_length += n;
    if (!m_sink)
        return;
    m_piece.cat(data, n);
    if (m_piece.len() >= m_pieceBytes)
        passOn();
}

void BlockStream::cat(int64_t value, int width) {
    width = std::clamp(width, 0, 8);
    m_length += width;
    if (!m_sink)
        return;
    m_piece.cat(value, width);
    if (m_piece.len() >= m_pieceBytes)
        passOn();
}

int BlockStream::finish() {
    if (m_sink && m_piece.len() > 0)
        passOn();
    return m_failure;
}

void BlockStream::passOn() {
    // After a failure the bytes are still counted, so that the maker need not check each call.
    if (m_failure == 0)
        m_failure = m_sink(m_piece.getAddr(), m_piece.len());
    m_piece.clear();
}

} // namespace lurvik
