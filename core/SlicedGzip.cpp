#include "SlicedGzip.h"

#include "FileReplacement.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace lurvik {

namespace {

constexpr size_t kSliceBytes = 4u << 20;
constexpr size_t kWindowBytes = 32u << 10;

struct Slice {
    std::vector<unsigned char> in;
    std::vector<unsigned char> out;
    uLong crc = 0;
    bool failed = false;
};

int readAt(int fd, unsigned char* data, size_t n, off_t offset) {
    while (n > 0) {
        ssize_t got = ::pread(fd, data, n, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : EIO; // the file shrank under us
        data += got;
        n -= static_cast<size_t>(got);
        offset += got;
    }
    return 0;
}

// Raw deflate of one slice. All but the last end on a byte boundary without the final-block bit,
// so the slices' outputs joined are one deflate stream.
void compressSlice(Slice& slice, const Slice* previous, bool last, int level) {
    slice.crc = crc32(0L, slice.in.data(), static_cast<uInt>(slice.in.size()));
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        slice.failed = true;
        return;
    }
    if (previous) {
        size_t window = std::min(kWindowBytes, previous->in.size());
        deflateSetDictionary(&z, previous->in.data() + previous->in.size() - window,
                             static_cast<uInt>(window));
    }
    // Room for the whole output at once, the flush's empty block included.
    slice.out.resize(deflateBound(&z, slice.in.size()) + 64);
    z.next_in = slice.in.data();
    z.avail_in = static_cast<uInt>(slice.in.size());
    z.next_out = slice.out.data();
    z.avail_out = static_cast<uInt>(slice.out.size());
    int status = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    slice.failed = last ? status != Z_STREAM_END : status != Z_OK || z.avail_in != 0;
    slice.out.resize(z.total_out);
    deflateEnd(&z);
}

void putLittleEndian(std::vector<unsigned char>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

} // namespace

SlicedGzipResult gzipInSlices(int inFd, int outFd, int level, int threads) {
    SlicedGzipResult result;
    struct stat info {};
    if (::fstat(inFd, &info) != 0) {
        result.readError = errno;
        return result;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    const uint64_t sliceCount = std::max<uint64_t>(1, (size + kSliceBytes - 1) / kSliceBytes);
    threads = std::max(1, threads);

    // The header zlib's own gzip writer gives: no name, no time, Unix.
    static const unsigned char kHeader[] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};
    if ((result.writeError = writeAll(outFd, kHeader, sizeof kHeader)) != 0)
        return result;
    uLong crc = crc32(0L, Z_NULL, 0);
    Slice before; // the last slice of the previous round, for its window
    for (uint64_t first = 0; first < sliceCount; first += threads) {
        const uint64_t count = std::min<uint64_t>(threads, sliceCount - first);
        std::vector<Slice> round(count);
        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t begin = (first + i) * kSliceBytes;
            round[i].in.resize(std::min<uint64_t>(kSliceBytes, size - begin));
            if ((result.readError =
                     readAt(inFd, round[i].in.data(), round[i].in.size(), static_cast<off_t>(begin))) != 0)
                return result;
        }
        auto work = [&](uint64_t i) {
            const Slice* previous = i > 0 ? &round[i - 1] : first > 0 ? &before : nullptr;
            compressSlice(round[i], previous, first + i + 1 == sliceCount, level);
        };
        std::vector<std::thread> helpers;
        for (uint64_t i = 1; i < count; ++i)
            helpers.emplace_back(work, i);
        work(0);
        for (std::thread& helper : helpers)
            helper.join();
        for (Slice& slice : round) {
            if (slice.failed) {
                result.writeError = ENOMEM;
                return result;
            }
            crc = crc32_combine(crc, slice.crc, static_cast<z_off_t>(slice.in.size()));
            if ((result.writeError = writeAll(outFd, slice.out.data(), slice.out.size())) != 0)
                return result;
        }
        before = std::move(round.back());
        before.out = {};
    }
    std::vector<unsigned char> trailer;
    putLittleEndian(trailer, static_cast<uint32_t>(crc));
    putLittleEndian(trailer, static_cast<uint32_t>(size));
    result.writeError = writeAll(outFd, trailer.data(), trailer.size());
    return result;
}

} // namespace lurvik
