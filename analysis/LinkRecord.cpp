#include "LinkRecord.h"

namespace lurvik {

LinkRecord::LinkRecord(int kind, const URL& url, const Str& text)
    : kind(kind >= LINK_HTTP && kind <= LINK_FILE ? LINK_HYPERLINK : kind), url(url), text(text) {}

LinkRecord::LinkRecord(int kind, const URL& url, const Str& text, const Str& pageURL)
    : LinkRecord(kind, url, text) {
    this->pageURL = pageURL;
}

} // namespace lurvik
