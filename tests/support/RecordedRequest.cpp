#include "RecordedRequest.h"

namespace lurvik::test {

namespace {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string pathOfTarget(std::string_view target) {
    if (!target.empty() && target.front() == '/')
        return std::string(target);
    const std::size_t scheme = target.find("://");
    if (scheme == std::string_view::npos)
        return {};
    const std::size_t slash = target.find('/', scheme + 3);
    return slash == std::string_view::npos ? std::string("/") : std::string(target.substr(slash));
}

} // namespace

bool RecordedRequest::hasHeader(std::string_view name) const {
    return findHeader(headers, name) != nullptr;
}

std::string RecordedRequest::header(std::string_view name) const {
    const Header* found = findHeader(headers, name);
    return found ? found->value : std::string();
}

std::size_t findHeadEnd(std::string_view bytes) {
    const std::size_t bare = bytes.find("\n\n");
    const std::size_t crlf = bytes.find("\n\r\n");
    if (bare == std::string_view::npos && crlf == std::string_view::npos)
        return std::string_view::npos;
    if (crlf == std::string_view::npos || (bare != std::string_view::npos && bare < crlf))
        return bare + 2;
    return crlf + 3;
}

void parseRequestHead(std::string_view head, RecordedRequest& out) {
    out.rawHead = std::string(head);
    std::size_t lineStart = 0;
    bool isFirstLine = true;
    while (lineStart < head.size()) {
        std::size_t lineEnd = head.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = head.size();
        std::string_view line = head.substr(lineStart, lineEnd - lineStart);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lineStart = lineEnd + 1;
        if (isFirstLine) {
            isFirstLine = false;
            out.requestLine = std::string(line);
            // Split on single spaces, as sent: a doubled space shows up as an empty field.
            const std::size_t first = line.find(' ');
            out.method = std::string(line.substr(0, first));
            if (first != std::string_view::npos) {
                const std::size_t second = line.find(' ', first + 1);
                out.target = std::string(line.substr(first + 1, second - first - 1));
                if (second != std::string_view::npos)
                    out.version = std::string(line.substr(second + 1));
            }
            out.path = pathOfTarget(out.target);
            continue;
        }
        if (line.empty())
            break;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue; // still visible in rawHead, which is what such a test compares
        out.headers.push_back({std::string(trimBlanks(line.substr(0, colon))),
                               std::string(trimBlanks(line.substr(colon + 1)))});
    }
}

} // namespace lurvik::test
