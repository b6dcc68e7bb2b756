#pragma once

#include "BodyInflater.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace lurvik {

// Frames one reply on a connection that may carry more: it knows where the reply ends (its length,
// its last chunk, or the connection's end) and undoes chunked transfer and gzip or deflate content
// codings, so what comes out is the head as received followed by the body as the page's author
// wrote it. A reply that does not start with a status line is passed through until the
// connection ends, as a server of the early web sent it.
//
// Framing is read strictly: a reply that ends before its length, its last chunk or the end of its
// compressed stream was cut short, and a length that is malformed or stated twice differently
// fails the reply, since either way the bytes that arrived are not the page the server meant.
class ReplyReader {
public:
    enum class State { Head, Body, Done, Failed };
    enum class Failure { None, TooLarge, Corrupt, CutShort, BadFraming };

    // maxBodyBytes caps the decoded body; a body that is, or inflates to, more than that fails.
    explicit ReplyReader(size_t maxBodyBytes) : m_maxBody(maxBodyBytes) {}

    // Appends to out what length received bytes decode to.
    State feed(const char* data, size_t length, std::string& out);
    // The server closed the connection: done when the reply was complete (or framed by the close),
    // else failed as cut short. Nothing is added to out: what a close ends was already decoded.
    State close(std::string& out);

    // The reply answers a HEAD request: whatever its head says, no body follows.
    void expectNoBody() { m_noBody = true; }

    State state() const { return m_state; }
    Failure failure() const { return m_failure; }
    // The text a page fails with when its reply failed so, fetched or read from an archive.
    static const char* failureText(Failure failure);
    bool isHeadComplete() const { return m_state == State::Body || m_state == State::Done; }
    // Whether the connection can carry the next request once the rest of this reply has been read.
    bool isReusableAfterBody() const { return m_framed && m_keepAlive; }
    // Whether the connection is ready for the next request once this reply is done.
    bool isReusable() const { return m_state == State::Done && isReusableAfterBody(); }
    size_t wireBytes() const { return m_wireBytes; }
    int status() const { return m_status; }

private:
    enum class Framing { Length, Chunked, Close };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };

    State takeHead(std::string& out);
    State takeBody(const char* data, size_t length, std::string& out);
    State takeChunked(const char* data, size_t length, std::string& out);
    State emit(const char* data, size_t length, std::string& out);
    // The body's framing is complete: so must its compressed stream be.
    State finish();
    State fail(Failure failure);

    size_t m_maxBody;
    State m_state = State::Head;
    Failure m_failure = Failure::None;
    std::string m_head;
    size_t m_wireBytes = 0;
    int m_status = 0;
    Framing m_framing = Framing::Close;
    bool m_framed = false;
    bool m_keepAlive = false;
    bool m_noBody = false;
    size_t m_remaining = 0;
    size_t m_bodyBytes = 0;
    ChunkStep m_chunkStep = ChunkStep::Size;
    std::string m_line;
    bool m_sawInterim = false;
    // One per content coding, outermost first: each feeds the next.
    std::vector<std::unique_ptr<BodyInflater>> m_inflaters;
};

} // namespace lurvik
