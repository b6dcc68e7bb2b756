#pragma once

#include "FrogFile.h"
#include "MemBlock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace lurvik {

class InflateAhead;

// A file read from start to end, either as stored or as compressed data written by
// TempFrogFile::compress. Damaged input gives a non-zero code, never a crash or a huge
// allocation. Out-parameters are written only on success.
class InputFrogFile : public FrogFile {
public:
    InputFrogFile();
    ~InputFrogFile() override;

    [[nodiscard]] int open(std::string_view name);
    // Fails with NotCompressed when the file does not start as compressed data; damage further
    // on shows in the reads.
    [[nodiscard]] int openCompressed(std::string_view name);

    // The next block that one OutputFrogFile::write(const MemBlock&) wrote, with its cursor at the
    // start. EndOfFile when the file ends cleanly before it; after any failure out holds nothing
    // worth reading.
    [[nodiscard]] int read(MemBlock& out);
    // The same, but once the first headBytes of the block are in (the whole block when shorter)
    // accept reads them from the block's start; a non-zero answer fails the read as Corrupt before
    // the rest of the block is inflated. A reader that knows the longest field its writer makes
    // refuses a damaged or hostile length here at the cost of one piece, not of the whole claim.
    [[nodiscard]] int read(MemBlock& out, int headBytes, const std::function<int(MemBlock&)>& accept);
    // Up to n bytes; *got (when given) receives how many. Fewer than n only at the end of the file;
    // EndOfFile when nothing was left.
    [[nodiscard]] int read(Str& out, int n, int* got);
    // Exactly n bytes, else Truncated (or the read failure).
    [[nodiscard]] int readExact(void* data, int n);

    [[nodiscard]] int close() override;

private:
    // Fills data with up to n bytes; got < n only at the end of the file.
    int readSome(char* data, int n, int& got);
    int readPlain(char* data, int n, int& got);
    int readCompressed(char* data, int n, int& got);
    void reset();

    std::unique_ptr<InflateAhead> m_inflate;
    std::vector<char> m_buffer;
    size_t m_bufferPos = 0;
    // Bytes of a plain file not yet read from the descriptor; -1 when unknown (not a regular file).
    int64_t m_unread = -1;
};

} // namespace lurvik
