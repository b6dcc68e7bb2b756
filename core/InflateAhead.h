#pragma once

#include "BatchesAhead.h"

#include <memory>
#include <vector>

struct gzFile_s;

namespace lurvik {

// Decompresses a gzip file on a thread of its own, a few chunks ahead of the reader. A site map
// of a million pages is a gigabyte once inflated: inflating it in line took a quarter of the
// load, time the reader can spend building the tree while another core inflates.
class InflateAhead {
public:
    // Takes gz over; it is closed with this object.
    explicit InflateAhead(gzFile_s* gz);
    ~InflateAhead();
    InflateAhead(const InflateAhead&) = delete;
    InflateAhead& operator=(const InflateAhead&) = delete;

    // How the stream ended, once read() has given everything out.
    struct End {
        int zlibError = 0; // as gzerror reports it: Z_OK or Z_STREAM_END for a clean end
        int systemError = 0;
    };

    // Copies up to n bytes into data; got < n only at the end, which then holds how it ended.
    // Memory running out on the inflating thread is thrown here, as if it had run out here.
    void read(char* data, int n, int& got, End& end);

private:
    struct Chunk {
        std::vector<char> bytes;
        bool last = false;
        End end;
    };

    // Fills chunk with what follows; false once it holds the end of the stream.
    bool inflateChunk(Chunk& chunk);

    gzFile_s* m_gz;
    const Chunk* m_current = nullptr;
    size_t m_currentPos = 0;
    std::unique_ptr<BatchesAhead<Chunk>> m_ahead;
};

} // namespace lurvik
