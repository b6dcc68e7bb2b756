#pragma once

#include "MemBlock.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace lurvik {

// A block written as it is made, for one too big to hold whole (the reply headers of a million
// pages): it takes MemBlock's cat calls and either only counts the bytes or passes them on in
// pieces. WritableFrogFile::writeBlock makes a block twice through two streams: one counts it for
// the length its frame begins with, the other writes it.
class BlockStream {
public:
    // Where the pieces go: 0, or a failure that ends the stream.
    using Sink = std::function<int(const char* data, int n)>;
    static constexpr int kPieceBytes = 1 << 20;

    // Counts the bytes and keeps none.
    BlockStream() = default;
    // Passes the bytes to sink in pieces of at least pieceBytes, the last one shorter.
    explicit BlockStream(Sink sink, int pieceBytes = kPieceBytes);

    // Each writes what MemBlock's cat of the same arguments writes.
    void cat(const Str& s) { cat(s.view()); }
    void cat(std::string_view s);
    void cat(const void* data, int n);
    void cat(int64_t value, int width);

    // Every byte given so far, passed on or not.
    int64_t length() const { return m_length; }
    // Passes on the last piece; 0, or the sink's first failure.
    [[nodiscard]] int finish();

private:
    void passOn();

    Sink m_sink;
    int m_pieceBytes = 0;
    MemBlock m_piece;
    int64_t m_length = 0;
    int m_failure = 0;
};

} // namespace lurvik
