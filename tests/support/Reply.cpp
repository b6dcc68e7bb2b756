#include "Reply.h"

#include <map>

namespace lurvik::test {

namespace {

std::string statusLine(const Page& page) {
    return "HTTP/1.0 " + std::to_string(page.status) + " " +
           (page.reason.empty() ? reasonPhrase(page.status) : page.reason) + "\r\n";
}

} // namespace

std::string reasonPhrase(int status) {
    static const std::map<int, const char*> phrases = {{200, "OK"},
                                                       {204, "No Content"},
                                                       {301, "Moved Permanently"},
                                                       {302, "Found"},
                                                       {303, "See Other"},
                                                       {304, "Not Modified"},
                                                       {307, "Temporary Redirect"},
                                                       {400, "Bad Request"},
                                                       {401, "Unauthorized"},
                                                       {403, "Forbidden"},
                                                       {404, "Not Found"},
                                                       {500, "Internal Server Error"},
                                                       {503, "Service Unavailable"}};
    const auto found = phrases.find(status);
    return found == phrases.end() ? "Unknown" : found->second;
}

std::string formatReply(const Page& page) {
    std::string reply = statusLine(page);
    if (!findHeader(page.headers, "Content-Type") && !page.contentType.empty())
        reply += "Content-Type: " + page.contentType + "\r\n";
    if (!findHeader(page.headers, "Content-Length"))
        reply += "Content-Length: " + std::to_string(page.body.size()) + "\r\n";
    if (!page.lastModified.empty() && !findHeader(page.headers, "Last-Modified"))
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
