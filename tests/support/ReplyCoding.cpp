#include "ReplyCoding.h"

#include "Header.h"

#include <zlib.h>

namespace lurvik::test {

std::string compress(const std::string& bytes, bool gzip) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, gzip ? 16 + MAX_WBITS : MAX_WBITS, 8,
                 Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string gzipBomb(std::size_t inflatedBytes) {
    // After a full flush the compressor starts afresh, so every megabyte of zeros compresses to
    // the same bytes: compress two and repeat the second.
    const std::string zeros(1 << 20, '\0');
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string pieces[2];
    for (std::string& piece : pieces) {
        piece.resize(deflateBound(&stream, zeros.size()) + 64);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        stream.avail_in = static_cast<uInt>(zeros.size());
        stream.next_out = reinterpret_cast<Bytef*>(piece.data());
        stream.avail_out = static_cast<uInt>(piece.size());
        deflate(&stream, Z_FULL_FLUSH);
        piece.resize(piece.size() - stream.avail_out);
    }
    deflateEnd(&stream);
    std::string out = pieces[0];
    for (std::size_t made = zeros.size(); made < inflatedBytes; made += zeros.size())
        out += pieces[1];
    return out;
}

namespace {

std::string chunked(const std::string& body) {
    // Uneven chunk sizes, so a client that assumes any particular size is caught.
    static const size_t sizes[] = {1, 7, 100, 4096, 333};
    std::string out;
    size_t at = 0;
    for (int i = 0; at < body.size(); ++i) {
        size_t size = std::min(sizes[i % 5], body.size() - at);
        char hex[20];
        std::snprintf(hex, sizeof hex, "%zx", size);
        out += std::string(hex) + (i % 2 ? ";ext=1" : "") + "\r\n" + body.substr(at, size) + "\r\n";
        at += size;
    }
    return out + "0\r\nX-Trailer: yes\r\n\r\n";
}

} // namespace

std::string encodeReply(const std::string& reply, ReplyCoding coding, const std::string& version) {
    const size_t headEnd = reply.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return reply;
    std::string head = version + reply.substr(8, headEnd + 2 - 8);
    std::string body = reply.substr(headEnd + 4);
    if (coding == ReplyCoding::Plain)
        return head + "\r\n" + body;
    // Drop the length: it no longer describes what is sent.
    std::string kept;
    size_t at = 0;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at) + 2;
        std::string line = head.substr(at, end - at);
        if (!equalsIgnoringCase(line.substr(0, 15), "Content-Length:"))
            kept += line;
        at = end;
    }
    if (coding == ReplyCoding::Gzip || coding == ReplyCoding::GzipChunked) {
        body = compress(body, true);
        kept += "Content-Encoding: gzip\r\n";
    } else if (coding == ReplyCoding::Deflate) {
        body = compress(body, false);
        kept += "Content-Encoding: deflate\r\n";
    }
    if (coding == ReplyCoding::Chunked || coding == ReplyCoding::GzipChunked)
        return kept + "Transfer-Encoding: chunked\r\n\r\n" + chunked(body);
    return kept + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace lurvik::test
