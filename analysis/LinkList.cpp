#include "LinkList.h"

namespace lurvik {

int countLinksOfKind(const LinkList& links, int kind) {
    int count = 0;
    for (const LinkRecord& link : links)
        count += link.kind == kind || (link.kind == LINK_HYPERLINK && link.effectiveKind() == kind);
    return count;
}

int countLinksOfTypeName(const LinkList& links, const Str& name) {
    int count = 0;
    Str type;
    for (const LinkRecord& link : links) {
        link.typeName(type);
        count += type == name;
    }
    return count;
}

} // namespace lurvik
