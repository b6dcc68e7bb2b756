#include "InflateAhead.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <zlib.h>

namespace lurvik {

namespace {

constexpr size_t kChunkBytes = 1 << 20;
// Enough to keep the inflating core busy while the reader works through one chunk, and little
// memory beside the tree being built.
constexpr size_t kChunksAhead = 4;

} // namespace

InflateAhead::InflateAhead(gzFile_s* gz)
    : m_gz(gz), m_ahead(std::make_unique<BatchesAhead<Chunk>>(
                    [this](Chunk& chunk) { return inflateChunk(chunk); }, kChunksAhead)) {}

InflateAhead::~InflateAhead() {
    // The inflating thread stops before the file it reads is closed.
    m_ahead.reset();
    gzclose(m_gz);
}

bool InflateAhead::inflateChunk(Chunk& chunk) {
    chunk.bytes.resize(kChunkBytes);
    chunk.last = false;
    chunk.end = End();
    size_t filled = 0;
    while (filled < kChunkBytes) {
        errno = 0;
        const int done =
            gzread(m_gz, chunk.bytes.data() + filled, static_cast<unsigned>(kChunkBytes - filled));
        if (done <= 0) {
            // zlib reports damage and a cut-off stream only through gzerror, after handing out
            // what it could decode.
            chunk.last = true;
            gzerror(m_gz, &chunk.end.zlibError);
            chunk.end.systemError = errno;
            break;
        }
        filled += static_cast<size_t>(done);
    }
    chunk.bytes.resize(filled);
    return !chunk.last;
}

void InflateAhead::read(char* data, int n, int& got, End& end) {
    got = 0;
    while (got < n) {
        if (!m_current || m_currentPos == m_current->bytes.size()) {
            if (m_current && m_current->last) {
                end = m_current->end;
                return;
            }
            m_current = nullptr; // handed back by next(), which may throw
            m_current = m_ahead->next();
            m_currentPos = 0;
            // Past a failure that was thrown, every read fails as it did.
            if (!m_current)
                throw std::bad_alloc();
            continue;
        }
        const size_t take = std::min(m_current->bytes.size() - m_currentPos, static_cast<size_t>(n - got));
        std::copy_n(m_current->bytes.data() + m_currentPos, take, data + got);
        m_currentPos += take;
        got += static_cast<int>(take);
    }
}

} // namespace lurvik
