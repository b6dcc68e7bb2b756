#include "BodyInflater.h"

#include <zlib.h>

namespace lurvik {

namespace {
// 32 added to the window size lets zlib tell a gzip header from a zlib one by itself.
constexpr int kGzipOrZlib = 32 + MAX_WBITS;
constexpr int kRawDeflate = -MAX_WBITS;
constexpr size_t kOutputPiece = 16384;
// A zlib header is two bytes; a stream that has not made sense by this point is not a bare one.
constexpr size_t kMaxReplay = 1024;
constexpr unsigned char kGzipMagic = 0x1f;
} // namespace

BodyInflater::BodyInflater(size_t maxOutputBytes) : m_maxOutput(maxOutputBytes) {}

BodyInflater::~BodyInflater() {
    if (m_stream)
        inflateEnd(m_stream);
    delete m_stream;
}

int BodyInflater::begin(int windowBits) {
    if (m_stream)
        inflateEnd(m_stream);
    else
        m_stream = new z_stream_s{};
    *m_stream = z_stream_s{};
    return inflateInit2(m_stream, windowBits) == Z_OK ? 0 : 1;
}

BodyInflater::Result BodyInflater::inflate(const char* data, size_t length, std::string& out) {
    if (length == 0)
        return Result::Ok;
    if (m_ended) {
        if (!m_isGzip || static_cast<unsigned char>(data[0]) != kGzipMagic)
            return Result::Ok;
        // Another member of the same gzip body.
        if (inflateReset(m_stream) != Z_OK)
            return Result::Corrupt;
        m_ended = false;
    }
    if (!m_stream) {
        if (begin(kGzipOrZlib) != 0)
            return Result::Corrupt;
        m_isGzip = static_cast<unsigned char>(data[0]) == kGzipMagic;
    }
    const bool mayReplay = !m_triedRaw && m_produced == 0 && m_replay.size() + length <= kMaxReplay;
    if (mayReplay)
        m_replay.append(data, length);
    const size_t start = out.size();
    Result result = run(data, length, out);
    if (result == Result::Corrupt && mayReplay && m_produced == 0) {
        // Nothing came out of the first bytes: a bare deflate stream without a zlib header.
        m_triedRaw = true;
        if (begin(kRawDeflate) != 0)
            return Result::Corrupt;
        out.resize(start);
        std::string replay;
        replay.swap(m_replay);
        return run(replay.data(), replay.size(), out);
    }
    if (m_produced > 0)
        m_replay.clear();
    return result;
}

BodyInflater::Result BodyInflater::run(const char* data, size_t length, std::string& out) {
    const size_t start = out.size();
    m_stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_stream->avail_in = static_cast<uInt>(length);
    Result outcome = Result::Ok;
    while (m_stream->avail_in > 0) {
        const size_t before = out.size();
        out.resize(before + kOutputPiece);
        m_stream->next_out = reinterpret_cast<Bytef*>(out.data() + before);
        m_stream->avail_out = kOutputPiece;
        int result = ::inflate(m_stream, Z_NO_FLUSH);
        out.resize(before + kOutputPiece - m_stream->avail_out);
        if (m_produced + out.size() - start > m_maxOutput) {
            out.resize(start + (m_maxOutput - m_produced));
            m_ended = true;
            outcome = Result::TooLarge;
            break;
        }
        if (result == Z_STREAM_END) {
            m_ended = true;
            if (!m_isGzip || m_stream->avail_in == 0 || *m_stream->next_in != kGzipMagic)
                break;
            if (inflateReset(m_stream) != Z_OK) {
                outcome = Result::Corrupt;
                break;
            }
            m_ended = false;
            continue;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            outcome = Result::Corrupt;
            break;
        }
        if (result == Z_BUF_ERROR && m_stream->avail_out != 0)
            break;
    }
    m_produced += out.size() - start;
    return outcome;
}

} // namespace lurvik
