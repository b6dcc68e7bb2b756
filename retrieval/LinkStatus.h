#pragma once

#include "ResourceChecker.h"
#include "SiteEngine.h"

#include <string>

namespace lurvik {

// What a link whose address does not parse leads to: nothing a browser could fetch.
inline constexpr const char* kInvalidAddressText = "Error - Invalid address";

// The state of a node in words: "waiting", "retrieving", "received", "parsed", "failed", "done".
const char* nodeStateName(int state);
// What a link leads to: "done 200", "failed 404", "waiting", "checked 200", "broken 404",
// "unchecked", "not retrieved" (a page beyond the level or page limit) or "outside limits".
// The link report and the window's link list both say it this way.
// A checked address in those words: "checked 200", "broken 404", "broken: Error - ...".
std::string checkedStatus(const ResourceChecker::Result& result);
// What a link is by its check alone, whatever page it is on: broken for an address that does not
// parse, else what checker found (checkedStatus); empty when it was not checked.
std::string checkStatus(const LinkRecord& link, const ResourceChecker* checker);
std::string linkTargetStatus(const SiteEngine& engine, const SiteNode& page, const LinkRecord& link,
                             const ResourceChecker* checker);
// The same for a site held otherwise than as nodes (a big map read page by page): target is the
// state and status of the page the link leads to, null when the site has none; limitMode is the
// engine's and pageURL the address of the link's page.
struct LinkTarget {
    int state = 0;
    int httpStatus = 0;
};
std::string linkTargetStatus(const LinkTarget* target, int limitMode, const URL& pageURL,
                             const LinkRecord& link, const ResourceChecker* checker);

} // namespace lurvik
