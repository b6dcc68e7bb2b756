#pragma once

#include "BlockStream.h"
#include "FrogFile.h"
#include "MemBlock.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace lurvik {

// The writing half shared by OutputFrogFile and TempFrogFile: buffered writes of text, raw bytes
// and framed blocks. After a failed write the file is abandoned and every later call returns the
// same code, so a caller may check only the final close.
class WritableFrogFile : public FrogFile {
public:
    // The bytes of the text, without any length or terminator.
    [[nodiscard]] int write(const Str& text);
    [[nodiscard]] int write(const void* data, int n);
    // The block framed (a 4-byte little-endian length, then its bytes), so that
    // InputFrogFile::read(MemBlock&) returns exactly this block. Blocks beyond kMaxFrogBlock fail.
    [[nodiscard]] int write(const MemBlock& block);
    // A block too big to hold whole, framed the same way: make is called twice and must give its
    // stream the same bytes both times, first only counted for the frame's length, then written
    // as they come. Bytes that differ in length from the count fail the file.
    [[nodiscard]] int writeBlock(const std::function<void(BlockStream&)>& make);

protected:
    // Passes the buffered bytes to the descriptor; 0 or the recorded failure.
    [[nodiscard]] int flushBuffer();
    // Where the buffered bytes go: the descriptor, unless a file keeps its bytes elsewhere. 0 or
    // the errno of the failure.
    virtual int writeOut(const void* data, size_t n);
    // Called once a write has failed, to give up the half-written file.
    virtual void abandonAfterFailure() = 0;
    // The code of the failure that ended this file, 0 while it is healthy.
    int failedCode() const { return m_failedCode; }
    void resetWriter();

private:
    int writeFrameLength(int64_t length);
    int recordWriteFailure(int systemError);

    std::vector<char> m_buffer;
    int m_failedCode = 0;
};

} // namespace lurvik
