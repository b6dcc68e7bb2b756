#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct inflate_state;

namespace lurvik {

// Undoes a gzip or deflate content coding as the body arrives. "deflate" is meant to be a zlib
// stream, but some servers send bare deflate data; both are accepted, as browsers accept them.
// The output is capped: a small compressed reply can stand for gigabytes. A gzip body may hold
// several members one after another, and each is inflated, as gzip itself does.
class BodyInflater {
public:
    enum class Result { Ok, TooLarge, Corrupt };

    explicit BodyInflater(size_t maxOutputBytes);
    ~BodyInflater();
    BodyInflater(const BodyInflater&) = delete;
    BodyInflater& operator=(const BodyInflater&) = delete;

    // Appends what length compressed bytes inflate to out. Bytes after the end of the stream that
    // do not start another gzip member are ignored.
    [[nodiscard]] Result inflate(const char* data, size_t length, std::string& out);
    // Whether the stream has reached its end: a body that stops before it was cut short.
    bool isComplete() const { return m_ended; }

private:
    enum class Wrapper { Gzip, Zlib, Raw };
    void begin(Wrapper wrapper);
    Result run(const char* data, size_t length, std::string& out);

    std::unique_ptr<inflate_state> m_state;
    size_t m_maxOutput;
    size_t m_produced = 0;
    // The first bytes, kept until the stream has made sense, to read them again as bare deflate.
    std::string m_replay;
    bool m_triedRaw = false;
    bool m_ended = false;
    bool m_isGzip = false;
};

} // namespace lurvik
