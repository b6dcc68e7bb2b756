#include "PageParts.h"

namespace lurvik {

int headerPart(const Str& reply, Str& out) {
    int lt = reply.find('<');
    if (lt < 0)
        return 1;
    reply.substr(0, lt, out);
    return 0;
}

int bodyPart(const Str& reply, Str& out) {
    int lt = reply.find('<');
    if (lt < 0)
        return 1;
    reply.substr(lt, out);
    return 0;
}

size_t replyHeadEnd(std::string_view reply) {
    size_t crlf = reply.find("\r\n\r\n");
    size_t lf = reply.find("\n\n");
    if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf))
        return crlf + 4;
    return lf == std::string_view::npos ? std::string_view::npos : lf + 2;
}

size_t replyHeaderLength(std::string_view reply) {
    if (reply.substr(0, 5) != "HTTP/")
        return 0;
    size_t end = replyHeadEnd(reply);
    return end == std::string_view::npos ? 0 : end;
}

} // namespace lurvik
