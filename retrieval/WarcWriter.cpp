#include "WarcWriter.h"

#include "HttpReply.h"
#include "core/URL.h"
#include "platform/Digest.h"

#include <zlib.h>

#include <cerrno>
#include <ctime>
#include <vector>

namespace lurvik {

namespace {

std::string warcDate() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The payload a digest covers is the entity body as sent, with any chunked framing taken off.
std::string payloadOf(std::string_view response) {
    size_t headEnd = replyHeadEnd(response);
    if (headEnd == std::string_view::npos)
        return {};
    std::string_view head = response.substr(0, headEnd);
    std::string_view body = response.substr(headEnd);
    std::string lowerHead(head);
    for (char& c : lowerHead)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lowerHead.find("\ntransfer-encoding: chunked") == std::string::npos)
        return std::string(body);
    std::string payload;
    while (!body.empty()) {
        size_t lineEnd = body.find("\r\n");
        if (lineEnd == std::string_view::npos)
            break;
        size_t size = std::strtoul(std::string(body.substr(0, lineEnd)).c_str(), nullptr, 16);
        body.remove_prefix(lineEnd + 2);
        if (size == 0 || size > body.size())
            break;
        payload.append(body.substr(0, size));
        body.remove_prefix(std::min(body.size(), size + 2));
    }
    return payload;
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

} // namespace

WarcWriter::~WarcWriter() {
    (void)close();
}

int WarcWriter::open(const std::string& path, std::string_view software) {
    std::lock_guard guard(m_mutex);
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        return errno;
    m_infoId = randomUuid();
    std::string fields =
        "software: " + std::string(software) +
        "\r\nformat: WARC File Format 1.1\r\nconformsTo: "
        "https://iipc.github.io/warc-specifications/specifications/warc-format/warc-1.1/\r\n";
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    writeRecord(recordHeader("warcinfo", m_infoId, warcDate(), "", "application/warc-fields", fields,
                             "WARC-Filename: " + name + "\r\n"),
                fields);
    return m_error;
}

void WarcWriter::recordExchange(const URL& target, std::string_view request, std::string_view response,
                                bool truncated) {
    std::lock_guard guard(m_mutex);
    if (!m_file || m_error)
        return;
    std::string uri = target.text();
    size_t fragment = uri.find('#');
    if (fragment != std::string::npos)
        uri.resize(fragment);
    std::string date = warcDate();
    std::string responseId = randomUuid();
    std::string info = "WARC-Warcinfo-ID: <urn:uuid:" + m_infoId + ">\r\n";
    std::string responseExtra = info + "WARC-Payload-Digest: " + sha1Label(payloadOf(response)) + "\r\n";
    if (truncated)
        responseExtra += "WARC-Truncated: length\r\n";
    writeRecord(recordHeader("response", responseId, date, uri, "application/http; msgtype=response",
                             response, responseExtra),
                response);
    std::string requestExtra = info + "WARC-Concurrent-To: <urn:uuid:" + responseId + ">\r\n";
    writeRecord(recordHeader("request", randomUuid(), date, uri, "application/http; msgtype=request", request,
                             requestExtra),
                request);
}

void WarcWriter::writeRecord(const std::string& header, std::string_view block) {
    z_stream z{};
    // 16 + MAX_WBITS: a gzip member, so every record can be read on its own.
    if (deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        m_error = ENOMEM;
        return;
    }
    std::vector<unsigned char> out(64 * 1024);
    auto pump = [&](std::string_view piece, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        z.avail_in = static_cast<uInt>(piece.size());
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            size_t produced = out.size() - z.avail_out;
            if (produced > 0 && std::fwrite(out.data(), 1, produced, m_file) != produced && !m_error)
                m_error = errno ? errno : EIO;
        } while (z.avail_out == 0);
    };
    pump(header, Z_NO_FLUSH);
    pump(block, Z_NO_FLUSH);
    pump("\r\n\r\n", Z_FINISH);
    deflateEnd(&z);
    // On disk before the next record: a crawl stopped by a signal keeps every record it wrote.
    if (std::fflush(m_file) != 0 && !m_error)
        m_error = errno;
}

int WarcWriter::error() const {
    std::lock_guard guard(m_mutex);
    return m_error;
}

int WarcWriter::close() {
    std::lock_guard guard(m_mutex);
    if (!m_file)
        return m_error;
    if (std::fclose(m_file) != 0 && !m_error)
        m_error = errno;
    m_file = nullptr;
    return m_error;
}

} // namespace lurvik
