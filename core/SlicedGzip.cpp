#include "SlicedGzip.h"

#include "FileReplacement.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <zlib.h>

namespace lurvik {

namespace {

constexpr size_t kSliceBytes = 4u << 20;
constexpr size_t kWindowBytes = 32u << 10;

void putLittleEndian(std::vector<unsigned char>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

} // namespace

SlicedGzip::SlicedGzip(int outFd, int level, int threads)
    : m_outFd(outFd), m_level(level), m_threads(static_cast<size_t>(std::max(1, threads))),
      m_crc(static_cast<uint32_t>(crc32(0L, Z_NULL, 0))) {
    // The header zlib's own gzip writer gives: no name, no time, Unix.
    static const unsigned char kHeader[] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};
    m_error = writeAll(m_outFd, kHeader, sizeof kHeader);
    m_slice.reserve(kSliceBytes);
}

SlicedGzip::~SlicedGzip() {
    for (auto& pending : m_inFlight)
        pending.wait();
}

// Raw deflate of one slice. All but the last end on a byte boundary without the final-block bit,
// so the slices' outputs joined are one deflate stream.
SlicedGzip::Compressed SlicedGzip::compress(const std::vector<unsigned char>& input,
                                            const std::vector<unsigned char>& window, bool last, int level) {
    Compressed out;
    out.inputSize = input.size();
    out.crc = static_cast<uint32_t>(crc32(0L, input.data(), static_cast<uInt>(input.size())));
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        out.failed = true;
        return out;
    }
    if (!window.empty())
        deflateSetDictionary(&z, window.data(), static_cast<uInt>(window.size()));
    // Room for the whole output at once, the flush's empty block included.
    out.bytes.resize(deflateBound(&z, input.size()) + 64);
    z.next_in = const_cast<unsigned char*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = out.bytes.data();
    z.avail_out = static_cast<uInt>(out.bytes.size());
    const int status = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    out.failed = last ? status != Z_STREAM_END : status != Z_OK || z.avail_in != 0;
    out.bytes.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

int SlicedGzip::write(const void* data, size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0 && m_error == 0) {
        const size_t take = std::min(n, kSliceBytes - m_slice.size());
        m_slice.insert(m_slice.end(), bytes, bytes + take);
        bytes += take;
        n -= take;
        if (m_slice.size() == kSliceBytes)
            m_error = sendFull();
    }
    return m_error;
}

int SlicedGzip::sendFull() {
    if (m_inFlight.size() >= m_threads)
        if (int error = writeOldest())
            return error;
    std::vector<unsigned char> window(m_slice.end() - static_cast<long>(kWindowBytes), m_slice.end());
    try {
        m_inFlight.push_back(std::async(
            std::launch::async, [input = std::move(m_slice), dictionary = std::move(m_window),
                                 level = m_level] { return compress(input, dictionary, false, level); }));
    } catch (const std::exception&) {
        return ENOMEM;
    }
    m_window = std::move(window);
    m_slice = {};
    m_slice.reserve(kSliceBytes);
    return 0;
}

int SlicedGzip::writeOldest() {
    Compressed done;
    try {
        done = m_inFlight.front().get();
    } catch (const std::bad_alloc&) {
        done.failed = true;
    }
    m_inFlight.pop_front();
    if (done.failed)
        return ENOMEM;
    m_crc = static_cast<uint32_t>(crc32_combine(m_crc, done.crc, static_cast<z_off_t>(done.inputSize)));
    m_written += done.inputSize;
    return writeAll(m_outFd, done.bytes.data(), done.bytes.size());
}

int SlicedGzip::finish(std::vector<unsigned char>& tail) {
    while (m_error == 0 && !m_inFlight.empty())
        m_error = writeOldest();
    if (m_error != 0)
        return m_error;
    Compressed last = compress(m_slice, m_window, true, m_level);
    if (last.failed)
        return ENOMEM;
    tail = std::move(last.bytes);
    putLittleEndian(
        tail, static_cast<uint32_t>(crc32_combine(m_crc, last.crc, static_cast<z_off_t>(last.inputSize))));
    putLittleEndian(tail, static_cast<uint32_t>(m_written + last.inputSize));
    return 0;
}

} // namespace lurvik
