#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <future>
#include <vector>

namespace lurvik {

// One gzip member made of a stream handed over piece by piece and compressed in slices of a few
// megabytes, each on a thread of its own as soon as it is full, while the writer goes on. A site
// map of a million pages is a gigabyte before compression: compressed after it was written, it
// took a third of the save. Each slice starts from the previous slice's last 32 KB, as one stream
// would, so the file is hardly bigger than a one-thread gzip at the same level, and any gzip
// reader reads it.
class SlicedGzip {
public:
    // The gzip header and the compressed slices go to outFd; at most threads slices are
    // compressed at once.
    SlicedGzip(int outFd, int level, int threads);
    // Waits for the slices still being compressed.
    ~SlicedGzip();
    SlicedGzip(const SlicedGzip&) = delete;
    SlicedGzip& operator=(const SlicedGzip&) = delete;

    // Appends n bytes to the stream. 0, or the errno of the failure that ended the stream.
    [[nodiscard]] int write(const void* data, size_t n);
    // Writes every whole slice to outFd and gives the rest of the member in tail: the slice still
    // being filled, compressed as the end of the stream, and the gzip trailer. outFd's bytes and
    // tail together are the whole file. The stream is left as it was and may go on.
    [[nodiscard]] int finish(std::vector<unsigned char>& tail);

private:
    struct Compressed {
        std::vector<unsigned char> bytes;
        uint32_t crc = 0;
        size_t inputSize = 0;
        bool failed = false;
    };

    static Compressed compress(const std::vector<unsigned char>& input,
                               const std::vector<unsigned char>& window, bool last, int level);
    int sendFull();
    int writeOldest();

    int m_outFd;
    int m_level;
    size_t m_threads;
    int m_error = 0;
    std::vector<unsigned char> m_slice;
    // The last 32 KB of the stream before m_slice: the dictionary it starts from.
    std::vector<unsigned char> m_window;
    std::deque<std::future<Compressed>> m_inFlight;
    uint32_t m_crc;
    uint64_t m_written = 0; // bytes of the stream in slices already written to outFd
};

} // namespace lurvik
