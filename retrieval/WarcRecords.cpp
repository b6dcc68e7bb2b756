#include "WarcRecords.h"

#include "HttpReply.h"
#include "platform/Digest.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace lurvik {

namespace {

// Faster than the default at a few per cent more bytes: the archive is written while the crawl
// runs, and must not be what the crawl waits for.
constexpr int kCompressionLevel = 3;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The chunks of a chunked body, joined, as far as they came.
std::string dechunked(std::string_view body) {
    std::string payload;
    while (!body.empty()) {
        size_t lineEnd = body.find("\r\n");
        if (lineEnd == std::string_view::npos)
            break;
        std::string line(body.substr(0, lineEnd));
        char* digitsEnd = nullptr;
        size_t size = std::strtoul(line.c_str(), &digitsEnd, 16);
        if (digitsEnd == line.c_str())
            break;
        body.remove_prefix(lineEnd + 2);
        if (size == 0)
            break;
        if (size > body.size()) {
            payload.append(body);
            break;
        }
        payload.append(body.substr(0, size));
        body.remove_prefix(std::min(body.size(), size + 2));
    }
    return payload;
}

bool isChunked(std::string_view head) {
    return lowered(head).find("\ntransfer-encoding: chunked") != std::string::npos;
}

// The payload a digest covers is the entity body as sent, with any chunked framing taken off.
std::string payloadOf(std::string_view response) {
    size_t headEnd = replyHeadEnd(response);
    if (headEnd == std::string_view::npos)
        return {};
    std::string_view body = response.substr(headEnd);
    if (!isChunked(response.substr(0, headEnd)))
        return std::string(body);
    return dechunked(body);
}

std::string recordHeader(const char* type, const std::string& id, const std::string& date,
                         const std::string& uri, const char* contentType, std::string_view block,
                         const std::string& extra) {
    std::string header = "WARC/1.1\r\nWARC-Type: " + std::string(type) +
                         "\r\nWARC-Record-ID: <urn:uuid:" + id + ">\r\nWARC-Date: " + date + "\r\n";
    if (!uri.empty())
        header += "WARC-Target-URI: " + uri + "\r\n";
    header += extra;
    header += "Content-Type: " + std::string(contentType) + "\r\n";
    header += "WARC-Block-Digest: " + sha1Label(block) + "\r\n";
    header += "Content-Length: " + std::to_string(block.size()) + "\r\n\r\n";
    return header;
}

// Where a reply's body starts when the server compressed it: deflating it again would cost the
// crawl time for no bytes saved. npos when the body is not encoded.
size_t encodedBodyStart(std::string_view response) {
    size_t headEnd = replyHeadEnd(response);
    if (headEnd == std::string_view::npos || response.substr(0, 5) != "HTTP/")
        return std::string_view::npos;
    std::string head = lowered(response.substr(0, headEnd));
    size_t field = head.find("\ncontent-encoding:");
    if (field == std::string::npos)
        return std::string_view::npos;
    size_t valueStart = head.find_first_not_of(" \t", field + 18);
    return head.compare(valueStart, 8, "identity") == 0 ? std::string_view::npos : headEnd;
}

// Makes gzip members, so every record can be read on its own. One per thread, kept from record
// to record: setting up a compressor costs more than a small record's compression. The member is
// put together here around a raw deflate stream, so that a body the server already compressed can
// go in as stored blocks, with no change of level in the compressor.
class MemberDeflater {
public:
    MemberDeflater() {
        m_ready =
            deflateInit2(&m_z, kCompressionLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~MemberDeflater() {
        if (m_ready)
            deflateEnd(&m_z);
    }
    MemberDeflater(const MemberDeflater&) = delete;
    MemberDeflater& operator=(const MemberDeflater&) = delete;

    // Appends the member of header, block and the line ends that close a record to out, the block
    // stored as it is from storedFrom on; 0, or 1 when compression failed (out is then as it was).
    int append(std::string& out, std::string_view header, std::string_view block, size_t storedFrom) {
        static constexpr std::string_view kEnd = "\r\n\r\n";
        static constexpr unsigned char kGzipHeader[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};
        if (!m_ready || deflateReset(&m_z) != Z_OK)
            return 1;
        const size_t start = out.size();
        out.append(reinterpret_cast<const char*>(kGzipHeader), sizeof kGzipHeader);
        storedFrom = std::min(storedFrom, block.size());
        bool ok = pump(out, header, Z_NO_FLUSH) && pump(out, block.substr(0, storedFrom), Z_NO_FLUSH);
        if (ok && storedFrom < block.size()) {
            // A sync flush ends on a byte boundary, where stored blocks may follow.
            ok = pump(out, {}, Z_SYNC_FLUSH);
            appendStored(out, block.substr(storedFrom), false);
            appendStored(out, kEnd, true);
        } else if (ok) {
            ok = pump(out, kEnd, Z_FINISH);
        }
        if (!ok) {
            out.resize(start);
            return 1;
        }
        uLong crc = crc32(0, nullptr, 0);
        for (std::string_view piece : {header, block, kEnd})
            crc = crc32_z(crc, reinterpret_cast<const Bytef*>(piece.data()), piece.size());
        appendLittleEndian(out, static_cast<uint32_t>(crc));
        appendLittleEndian(out, static_cast<uint32_t>(header.size() + block.size() + kEnd.size()));
        return 0;
    }

private:
    bool pump(std::string& out, std::string_view piece, int flush) {
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        m_z.avail_in = static_cast<uInt>(piece.size());
        for (;;) {
            m_z.next_out = m_buffer;
            m_z.avail_out = sizeof m_buffer;
            int result = deflate(&m_z, flush);
            out.append(reinterpret_cast<char*>(m_buffer), sizeof m_buffer - m_z.avail_out);
            if (result == Z_STREAM_END)
                return true;
            if (result != Z_OK && result != Z_BUF_ERROR)
                return false;
            if (m_z.avail_in == 0 && m_z.avail_out > 0 && flush != Z_FINISH)
                return true;
        }
    }
    static void appendLittleEndian(std::string& out, uint32_t value) {
        for (int byte = 0; byte < 4; ++byte)
            out += static_cast<char>((value >> (8 * byte)) & 0xff);
    }
    // Stored blocks of at most 65,535 bytes, each its type, its length and the length's complement.
    static void appendStored(std::string& out, std::string_view bytes, bool isLast) {
        do {
            size_t length = std::min<size_t>(bytes.size(), 0xffff);
            bool last = isLast && length == bytes.size();
            out += static_cast<char>(last ? 1 : 0);
            for (uint32_t value : {static_cast<uint32_t>(length), static_cast<uint32_t>(~length & 0xffff)}) {
                out += static_cast<char>(value & 0xff);
                out += static_cast<char>((value >> 8) & 0xff);
            }
            out.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        } while (!bytes.empty());
    }

    z_stream m_z{};
    bool m_ready = false;
    unsigned char m_buffer[64 * 1024];
};

int appendMember(std::string& out, std::string_view header, std::string_view block,
                 size_t storedFrom = std::string_view::npos) {
    thread_local MemberDeflater deflater;
    return deflater.append(out, header, block, storedFrom);
}

} // namespace

std::string withoutCredentials(std::string_view request) {
    std::string out;
    out.reserve(request.size());
    bool firstLine = true;
    while (!request.empty()) {
        size_t end = request.find('\n');
        std::string_view line = request.substr(0, end == std::string_view::npos ? request.size() : end + 1);
        request.remove_prefix(line.size());
        if (firstLine) {
            firstLine = false;
            // A request to a proxy names the whole address, which may carry a user and password.
            size_t scheme = line.find("://");
            size_t at = line.find('@');
            size_t space = scheme == std::string_view::npos ? line.npos : line.find(' ', scheme);
            if (scheme != std::string_view::npos && at != std::string_view::npos && at < space &&
                line.find('/', scheme + 3) > at) {
                out.append(line.substr(0, scheme + 3));
                out.append(line.substr(at + 1));
                continue;
            }
        } else if (startsWithNoCase(line, "authorization:") ||
                   startsWithNoCase(line, "proxy-authorization:")) {
            out.append(line.substr(0, line.find(':') + 1));
            out += ' ';
            out += kCredentialMarker;
            out += line.substr(line.size() - (line.size() >= 2 && line[line.size() - 2] == '\r' ? 2 : 1));
            continue;
        }
        out.append(line);
    }
    return out;
}

std::string archivedAddress(std::string_view uri) {
    std::string out(uri.substr(0, uri.find('#')));
    size_t scheme = out.find("://");
    if (scheme != std::string::npos) {
        size_t hostEnd = out.find_first_of("/?", scheme + 3);
        size_t at = out.rfind('@', hostEnd == std::string::npos ? out.npos : hostEnd);
        if (at != std::string::npos && at > scheme)
            out.erase(scheme + 3, at - scheme - 2);
    }
    return out;
}

std::string warcDate() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string warcinfoMember(const std::string& id, const std::string& fileName, std::string_view software) {
    std::string fields =
        "software: " + std::string(software) +
        "\r\nformat: WARC File Format 1.1\r\nconformsTo: "
        "https://iipc.github.io/warc-specifications/specifications/warc-format/warc-1.1/\r\n";
    std::string out;
    if (appendMember(out,
                     recordHeader("warcinfo", id, warcDate(), "", "application/warc-fields", fields,
                                  "WARC-Filename: " + fileName + "\r\n"),
                     fields) != 0)
        return {};
    return out;
}

std::string exchangeMembers(const WarcExchange& exchange, const std::string& infoId) {
    std::string responseId = randomUuid();
    std::string info = "WARC-Warcinfo-ID: <urn:uuid:" + infoId + ">\r\n";
    std::string responseExtra =
        info + "WARC-Payload-Digest: " + sha1Label(payloadOf(exchange.response)) + "\r\n";
    if (exchange.truncated)
        responseExtra += "WARC-Truncated: length\r\n";
    std::string request = withoutCredentials(exchange.request);
    std::string uri = archivedAddress(exchange.uri);
    std::string out;
    if (appendMember(out,
                     recordHeader("response", responseId, exchange.date, uri,
                                  "application/http; msgtype=response", exchange.response, responseExtra),
                     exchange.response, encodedBodyStart(exchange.response)) != 0 ||
        appendMember(out,
                     recordHeader("request", randomUuid(), exchange.date, uri,
                                  "application/http; msgtype=request", request,
                                  info + "WARC-Concurrent-To: <urn:uuid:" + responseId + ">\r\n"),
                     request) != 0)
        return {};
    return out;
}

} // namespace lurvik
