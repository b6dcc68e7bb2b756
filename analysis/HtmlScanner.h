#pragma once

#include "LinkList.h"
#include "core/Str.h"
#include "core/URL.h"

#include <atomic>

namespace lurvik {

// What one pass may cost, and a way to end it early. A page that holds more links than the link
// environment's maxPageLinks, or addresses longer than kMaxLinkAddress, keeps what fits and says
// so in linksCut: one hostile page must not take the memory of a whole crawl.
struct ScanControl {
    // Checked every few thousand tags; a set flag ends the pass with what it has so far, and
    // stopped says it did.
    const std::atomic<int>* stop = nullptr;
    bool stopped = false;
    bool linksCut = false;
};

constexpr int kMaxLinkAddress = 32 * 1024;

// Whether the pass was asked to end; when it was, that is noted in control.
inline bool stopRequested(ScanControl* control) {
    if (!control || !control->stop || control->stop->load(std::memory_order_relaxed) == 0)
        return false;
    control->stopped = true;
    return true;
}
// Whether a page that holds `links` records may keep one more, to an address this long; when not,
// the cut is noted in control.
inline bool roomForLink(ScanControl* control, int links, int maxLinks, size_t addressLength) {
    if ((maxLinks <= 0 || links < maxLinks) && addressLength <= static_cast<size_t>(kMaxLinkAddress))
        return true;
    if (control)
        control->linksCut = true;
    return false;
}

// Reads one retrieved page in a single forward pass and yields its title, its links and the PICS
// rating groups of its meta tags. Never fails: malformed markup gives fewer or odd links.
// links is emptied (its records destroyed) first; labels is appended to, groups separated by a
// tab. Title and link texts come out as UTF-8, decoded with the page's declared charset.
//
// Classic reads the page by the original tag table, addresses as written against pageURL.
// Browser reads it as a browser does (see scanAsBrowser); pageURL is then the address the page
// was finally served from, after any redirects.
enum class LinkReading { Classic, Browser };
int scanPage(const Str& pageText, const URL& pageURL, Str& title, LinkList& links, Str& labels,
             LinkReading reading = LinkReading::Classic, ScanControl* control = nullptr);

// The display text of an anchor from the raw text between its tags: tags removed, trimmed, the
// last image's alt or file name when nothing else is left, else "<No Text>"; entities decoded.
void cleanLinkText(Str& text);
// The end of cleanLinkText, for a reader that has taken the tags out itself: the trimmed text, or
// else the last image's alt or file name, or "<No Text>"; entities decoded.
void finishLinkText(Str& text, const Str& alt, const Str& src);
// What follows the last "/" (the whole text when there is none).
void lastPathSegment(Str& text);

} // namespace lurvik
