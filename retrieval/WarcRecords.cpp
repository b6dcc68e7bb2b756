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

// The chunks of a chunked body, joined; complete says whether the last chunk came.
std::string dechunked(std::string_view body, bool& complete) {
    std::string payload;
    complete = false;
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
        if (size == 0) {
            complete = true;
            break;
        }
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
    bool complete = false;
    return dechunked(body, complete);
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

// 16 + MAX_WBITS: a gzip member, so every record can be read on its own.
int appendMember(std::string& out, std::string_view header, std::string_view block) {
    z_stream z{};
    if (deflateInit2(&z, kCompressionLevel, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 1;
    size_t start = out.size();
    out.resize(start + deflateBound(&z, header.size() + block.size() + 4) + 64);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + start);
    z.avail_out = static_cast<uInt>(out.size() - start);
    auto pump = [&](std::string_view piece, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        z.avail_in = static_cast<uInt>(piece.size());
        return deflate(&z, flush);
    };
    pump(header, Z_NO_FLUSH);
    pump(block, Z_NO_FLUSH);
    // The bound holds for the whole member, so it ends in one go.
    bool ended = pump("\r\n\r\n", Z_FINISH) == Z_STREAM_END;
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    if (!ended)
        out.resize(start);
    return ended ? 0 : 1;
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

bool isCutShort(std::string_view request, std::string_view reply) {
    size_t headEnd = replyHeadEnd(reply);
    if (reply.substr(0, 5) != "HTTP/" || headEnd == std::string_view::npos || request.substr(0, 5) == "HEAD ")
        return false;
    std::string_view head = reply.substr(0, headEnd);
    std::string_view body = reply.substr(headEnd);
    int status = head.size() >= 12 ? std::atoi(std::string(head.substr(9, 3)).c_str()) : 0;
    if (status == 204 || status == 304 || (status >= 100 && status < 200))
        return false;
    if (isChunked(head)) {
        bool complete = false;
        dechunked(body, complete);
        return !complete;
    }
    std::string lower = lowered(head);
    size_t length = lower.find("\ncontent-length:");
    if (length == std::string::npos)
        return false;
    return std::strtoull(lower.c_str() + length + 16, nullptr, 10) > body.size();
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
    if (exchange.truncated || isCutShort(exchange.request, exchange.response))
        responseExtra += "WARC-Truncated: length\r\n";
    std::string request = withoutCredentials(exchange.request);
    std::string uri = archivedAddress(exchange.uri);
    std::string out;
    if (appendMember(out,
                     recordHeader("response", responseId, exchange.date, uri,
                                  "application/http; msgtype=response", exchange.response, responseExtra),
                     exchange.response) != 0 ||
        appendMember(out,
                     recordHeader("request", randomUuid(), exchange.date, uri,
                                  "application/http; msgtype=request", request,
                                  info + "WARC-Concurrent-To: <urn:uuid:" + responseId + ">\r\n"),
                     request) != 0)
        return {};
    return out;
}

} // namespace lurvik
