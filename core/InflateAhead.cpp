#include "InflateAhead.h"

#include "FrogFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <isa-l/igzip_lib.h>
#include <new>
#include <unistd.h>
#include <zlib.h>

namespace lurvik {

namespace {

constexpr size_t kChunkBytes = 1 << 20;
constexpr size_t kInputBytes = 256 * 1024;
// Enough to keep the inflating core busy while the reader works through one chunk, and little
// memory beside the tree being built.
constexpr size_t kChunksAhead = 4;

void startMember(inflate_state& state) {
    isal_inflate_reset(&state);
    state.crc_flag = ISAL_GZIP;
}

} // namespace

InflateAhead::InflateAhead(int fd, std::string first)
    : m_fd(fd), m_input(first.begin(), first.end()), m_state(std::make_unique<inflate_state>()) {
    isal_inflate_init(m_state.get());
    m_state->crc_flag = ISAL_GZIP;
    m_state->next_in = m_input.data();
    m_state->avail_in = static_cast<uint32_t>(m_input.size());
    m_ahead = std::make_unique<BatchesAhead<Chunk>>([this](Chunk& chunk) { return inflateChunk(chunk); },
                                                    kChunksAhead);
}

InflateAhead::~InflateAhead() {
    // The inflating thread stops before the file it reads is closed.
    m_ahead.reset();
    ::close(m_fd);
}

bool InflateAhead::readInput(End& end) {
    if (m_inputEnded)
        return false;
    // What is left of the input moves to the front; the rest is filled from the file.
    const size_t left = m_state->avail_in;
    std::memmove(m_input.data(), m_state->next_in, left);
    m_input.resize(kInputBytes);
    const long done = readRetrying(m_fd, m_input.data() + left, kInputBytes - left);
    if (done < 0) {
        end.zlibError = Z_ERRNO;
        end.systemError = errno;
        m_inputEnded = true;
        m_input.resize(left);
        return false;
    }
    m_input.resize(left + static_cast<size_t>(done));
    m_state->next_in = m_input.data();
    m_state->avail_in = static_cast<uint32_t>(m_input.size());
    if (done == 0)
        m_inputEnded = true;
    return done > 0;
}

bool InflateAhead::inflateChunk(Chunk& chunk) {
    chunk.bytes.resize(kChunkBytes);
    chunk.last = false;
    chunk.end = End();
    inflate_state& state = *m_state;
    state.next_out = reinterpret_cast<uint8_t*>(chunk.bytes.data());
    state.avail_out = static_cast<uint32_t>(kChunkBytes);
    while (state.avail_out > 0) {
        if (state.block_state == ISAL_BLOCK_FINISH) {
            // Another member may follow, as gzip allows; anything else after a whole member is
            // left unread, as zlib leaves it.
            while (state.avail_in < 2 && readInput(chunk.end)) {
            }
            if (chunk.end.zlibError == Z_ERRNO)
                break;
            if (state.avail_in < 2 || state.next_in[0] != 0x1f || state.next_in[1] != 0x8b) {
                chunk.end.zlibError = Z_STREAM_END;
                break;
            }
            startMember(state);
        }
        if (state.avail_in == 0 && !readInput(chunk.end)) {
            if (chunk.end.zlibError == 0)
                chunk.end.zlibError = Z_BUF_ERROR; // the file ended inside a member
            break;
        }
        const uint32_t inBefore = state.avail_in;
        const uint32_t outBefore = state.avail_out;
        if (isal_inflate(&state) != ISAL_DECOMP_OK) {
            chunk.end.zlibError = Z_DATA_ERROR;
            break;
        }
        // Input it could not use yet (part of a trailer) waits for more.
        if (state.block_state != ISAL_BLOCK_FINISH && state.avail_in == inBefore &&
            state.avail_out == outBefore && !readInput(chunk.end)) {
            if (chunk.end.zlibError == 0)
                chunk.end.zlibError = Z_BUF_ERROR;
            break;
        }
    }
    // Damage hands out nothing of the chunk it shows in, as gzread's failing call gives nothing:
    // a wrong check at the end of a small file then keeps all of its bytes back.
    chunk.bytes.resize(chunk.end.zlibError == Z_DATA_ERROR ? 0 : kChunkBytes - state.avail_out);
    chunk.last = chunk.end.zlibError != 0;
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
