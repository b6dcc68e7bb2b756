#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lurvik {

// The DevTools protocol over --remote-debugging-pipe: JSON messages each ended by a NUL byte.
// MessageSplitter cuts the browser's byte stream into messages.
class MessageSplitter {
public:
    // A rendered document can be large, but a message past this is a browser gone wrong.
    static constexpr size_t kMaxMessageBytes = 256u << 20;

    void append(const char* bytes, size_t count);
    // true and the next whole message in out (without its NUL); false when none is complete.
    bool next(std::string& out);
    // A message grew past kMaxMessageBytes: the stream cannot be trusted any more.
    bool isOverflowed() const { return m_overflowed; }

private:
    std::string m_buffer;
    size_t m_start = 0;
    // Where the search for the next NUL goes on: a large message arrives in many pieces.
    size_t m_scanned = 0;
    bool m_overflowed = false;
};

// Standard base64, as Fetch.fulfillRequest wants a body.
std::string base64Encode(std::string_view bytes);

} // namespace lurvik
