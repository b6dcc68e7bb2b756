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

// One pass that stops at the first blank line: a search for each ending would read the whole
// body whenever it lacks the other.
size_t replyHeadEnd(std::string_view reply) {
    for (size_t nl = reply.find('\n'); nl != std::string_view::npos; nl = reply.find('\n', nl + 1)) {
        if (nl + 1 < reply.size() && reply[nl + 1] == '\n')
            return nl + 2;
        if (nl > 0 && reply[nl - 1] == '\r' && nl + 2 < reply.size() && reply[nl + 1] == '\r' &&
            reply[nl + 2] == '\n')
            return nl + 3;
    }
    return std::string_view::npos;
}

size_t replyHeaderLength(std::string_view reply) {
    if (reply.substr(0, 5) != "HTTP/")
        return 0;
    size_t end = replyHeadEnd(reply);
    return end == std::string_view::npos ? 0 : end;
}

} // namespace lurvik
