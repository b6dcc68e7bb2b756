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

} // namespace lurvik
