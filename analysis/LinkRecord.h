#pragma once

#include "core/SharedText.h"
#include "core/Str.h"
#include "core/URL.h"

#include <memory>
#include <string_view>

namespace lurvik {

// Link kinds as stored in a record. The scheme kinds 11 to 16 are never stored: a hyperlink is
// kept as 10 and its scheme kind follows from its URL.
enum LinkKind {
    LINK_HYPERLINK = 10,
    LINK_HTTP = 11,
    LINK_FTP = 12,
    LINK_MAIL = 13,
    LINK_NEWS = 14,
    LINK_GOPHER = 15,
    LINK_FILE = 16,
    LINK_IMAGE = 20,
    LINK_IMAGEMAP = 30,
    LINK_APPLET = 40,
    LINK_FRAME = 50,
    LINK_ACTIVEX = 60,
    // What a browser fetches beside the page, read in the modern reading only. A site map's
    // layout has no numbers for these; it stores the nearest original kind (storedKind) and keeps
    // the real one in its status block.
    LINK_SCRIPT = 70,
    LINK_STYLESHEET = 71,
    LINK_ICON = 72,
    LINK_IFRAME = 73,   // a page shown inside the page, crawled like a frame
    LINK_MEDIA = 74,    // video, audio and their tracks
    LINK_EMBED = 75,    // object data, embed src
    LINK_RESOURCE = 76, // preloads, manifests, and what stylesheets ask for with url()
    LINK_REFRESH = 77,  // a meta refresh, followed like a redirect
};

// Whether kind is one of the kinds the modern reading adds.
inline bool isResourceKind(int kind) {
    return kind >= LINK_SCRIPT && kind <= LINK_REFRESH;
}
// The original kind a map's layout stores for kind: the one that is followed or not alike.
int storedKind(int kind);

// A text most holders leave empty, kept as one pointer until it is set.
class OptionalText {
public:
    OptionalText& operator=(const Str& text) {
        m_text = text.isEmpty() ? nullptr : std::make_unique<Str>(text);
        return *this;
    }
    bool isEmpty() const { return !m_text; }
    std::string_view view() const { return m_text ? m_text->view() : std::string_view(); }
    std::string str() const { return std::string(view()); }
    bool operator==(std::string_view other) const { return view() == other; }

private:
    std::unique_ptr<Str> m_text;
};

// One link found in a page. Owned by the link list of the page's node, or by a find result.
class LinkRecord {
public:
    // Stores 10 for the scheme kinds, shortens a text longer than the engine's maxLinkText to
    // that length ending in "...", and looks the extension up so the type table learns it, unless
    // a record of the same kind and address taught it already (TypeNoted::Already): a reader of
    // a million-page map makes tens of millions of records, most of them a menu made again.
    enum class TypeNoted { Not, Already };
    LinkRecord(int kind, const URL& url, const Str& text, TypeNoted noted = TypeNoted::Not);
    // With the text of another record, shared as it is: a text a record holds is already cut.
    LinkRecord(int kind, const URL& url, const SharedText& text, TypeNoted noted);
    LinkRecord(const LinkRecord&) = delete;
    LinkRecord& operator=(const LinkRecord&) = delete;
    LinkRecord(LinkRecord&&) = default;
    LinkRecord& operator=(LinkRecord&&) = default;

    // A hyperlink's kind refined by its URL's scheme (11 to 16); other kinds as stored.
    int effectiveKind() const;
    void typeName(Str& out) const;
    int iconIndex() const;
    // Whether the retrieval follows the link: hyperlinks, image-map areas and frames that lead
    // to HTML pages.
    bool isHtmlLink() const;

    int kind;
    // The line of the page's source the link was written on; 0 when not known (a loaded map).
    int line = 0;
    URL url;
    // Shared with the site's other links of the same text once the engine has linked the page.
    SharedText text;
};

// A short lower-case name for a kind ("http", "image", "frame"...), for reports and exports.
const char* linkKindName(int kind);

} // namespace lurvik
