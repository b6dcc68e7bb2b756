#pragma once

#include "BatchesAhead.h"

#include <memory>
#include <string>
#include <vector>

struct inflate_state;

namespace lurvik {

// Decompresses a gzip file on a thread of its own, a few chunks ahead of the reader. A site map
// of a million pages is a gigabyte once inflated: inflating it in line took a quarter of the
// load, time the reader can spend building the tree while another core inflates. The inflating is
// ISA-L's, two to three times zlib's speed, which a command reading a big map twice spent more
// than a core's second on.
class InflateAhead {
public:
    // Reads fd, after the bytes read from it already (first), and closes it with this object.
    InflateAhead(int fd, std::string first);
    ~InflateAhead();
    InflateAhead(const InflateAhead&) = delete;
    InflateAhead& operator=(const InflateAhead&) = delete;

    // How the stream ended, once read() has given everything out. The codes are zlib's, as its
    // gzread reports them: Z_STREAM_END for a clean end, Z_BUF_ERROR for a file cut short,
    // Z_DATA_ERROR for damage, Z_ERRNO when reading failed (systemError says why).
    struct End {
        int zlibError = 0;
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
    // More of the file into m_input; false at its end (or on a failure, set in end).
    bool readInput(End& end);

    int m_fd;
    std::vector<unsigned char> m_input;
    std::unique_ptr<inflate_state> m_state;
    bool m_inputEnded = false;
    const Chunk* m_current = nullptr;
    size_t m_currentPos = 0;
    std::unique_ptr<BatchesAhead<Chunk>> m_ahead;
};

} // namespace lurvik
