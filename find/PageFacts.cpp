#include "PageFacts.h"

#include "analysis/LinkRecord.h"

namespace lurvik {

namespace {

bool isContentKind(int kind) {
    switch (kind) {
    case LINK_FTP:
    case LINK_MAIL:
    case LINK_NEWS:
    case LINK_GOPHER:
    case LINK_IMAGE:
    case LINK_IMAGEMAP:
    case LINK_APPLET:
    case LINK_FRAME:
    case LINK_ACTIVEX:
        return true;
    default:
        return false;
    }
}

} // namespace

void PageFacts::notePageContains(int kind) {
    if (isContentKind(kind))
        m_seenKinds.set(kind);
}

bool PageFacts::containsKind(int kind) const {
    return isContentKind(kind) && m_seenKinds.test(kind);
}

} // namespace lurvik
