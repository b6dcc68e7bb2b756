#pragma once

#include "analysis/LinkRecord.h"

namespace lurvik {

// A result of a search: a page, or a link with the address of the page it was found on (the
// crawl's own link records leave that out, as their page's node holds it).
struct FoundLink : LinkRecord {
    using LinkRecord::LinkRecord;
    FoundLink(int kind, const URL& url, const Str& text, const Str& page) : LinkRecord(kind, url, text) {
        pageURL = page;
    }
    OptionalText pageURL;
};

} // namespace lurvik
