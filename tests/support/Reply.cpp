#include "Reply.h"

namespace lurvik::test {

namespace {

bool hasHeader(const std::vector<Header>& headers, std::string_view name) {
    for (const Header& header : headers) {
        if (equalsIgnoringCase(header.name, name))
            return true;
    }
    return false;
}

std::string statusLine(const Page& page) {
    return "HTTP/1.0 " + std::to_string(page.status) + " " +
           (page.reason.empty() ? reasonPhrase(page.status) : page.reason) + "\r\n";
}

} // namespace

std::string reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}

std::string formatReply(const Page& page) {
    std::string reply = statusLine(page);
    if (!hasHeader(page.headers, "Content-Type") && !page.contentType.empty())
        reply += "Content-Type: " + page.contentType + "\r\n";
    if (!hasHeader(page.headers, "Content-Length"))
        reply += "Content-Length: " + std::to_string(page.body.size()) + "\r\n";
    if (!page.lastModified.empty() && !hasHeader(page.headers, "Last-Modified"))
        reply += "Last-Modified: " + page.lastModified + "\r\n";
    for (const Header& header : page.headers)
        reply += header.name + ": " + header.value + "\r\n";
    reply += "\r\n";
    reply += page.body;
    return reply;
}

std::string formatNotModified(const Page& page) {
    Page notModified;
    notModified.status = 304;
    return statusLine(notModified) + "Last-Modified: " + page.lastModified + "\r\n\r\n";
}

Page statusPage(int status) {
    Page page;
    page.status = status;
    const std::string text = std::to_string(status) + " " + reasonPhrase(status);
    page.body = "<HTML><HEAD><TITLE>" + text + "</TITLE></HEAD><BODY><H1>" + text + "</H1></BODY></HTML>\r\n";
    return page;
}

} // namespace lurvik::test
