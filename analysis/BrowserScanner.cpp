#include "BrowserScanner.h"

#include "BrowserTokenizer.h"
#include "CssLinks.h"
#include "FileTypeTable.h"
#include "PageParts.h"
#include "Srcset.h"
#include "TextDecoder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace lurvik {

namespace {

// An anchor's text is read up to here: a page that never closes its anchor would otherwise hand
// the whole rest of the page to the text cleaner.
constexpr size_t kMaxAnchorText = 64 * 1024;

// How the tokenizer reads what follows an element's start tag, by the tree builder's rules (with
// scripting on, as in a browser).
bool holdsRawText(std::string_view name) {
    static constexpr std::string_view kNames[] = {"script", "style",   "textarea", "title",   "xmp",
                                                  "iframe", "noembed", "noframes", "noscript"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Start tags that end an <svg> or <math> island: the tree builder goes back to HTML at them.
bool leavesForeignContent(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "b",     "big",   "blockquote", "body",   "br",   "center", "code",  "dd", "div",  "dl",   "dt",
        "em",    "embed", "h1",         "h2",     "h3",   "h4",     "h5",    "h6", "head", "hr",   "i",
        "img",   "li",    "listing",    "menu",   "meta", "nobr",   "ol",    "p",  "pre",  "ruby", "s",
        "small", "span",  "strong",     "strike", "sub",  "sup",    "table", "tt", "u",    "ul",   "var"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool equalsNoCase(std::string_view a, std::string_view lowerB) {
    return a.size() == lowerB.size() &&
           std::equal(a.begin(), a.end(), lowerB.begin(), [](char x, char y) { return lowerAscii(x) == y; });
}

bool isSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
}

// Whether a space-separated list of tokens (a rel attribute) holds word, case ignored.
bool hasToken(std::string_view list, std::string_view word) {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isSpace(list[i]))
            ++i;
        size_t end = i;
        while (end < list.size() && !isSpace(list[end]))
            ++end;
        if (end > i && equalsNoCase(list.substr(i, end - i), word))
            return true;
        i = end;
    }
    return false;
}

// The kind of a <link> by its relations; 0 for relations a browser does not fetch.
int linkElementKind(std::string_view rel) {
    if (hasToken(rel, "stylesheet"))
        return LINK_STYLESHEET;
    for (std::string_view icon : {"icon", "apple-touch-icon", "apple-touch-icon-precomposed", "mask-icon"})
        if (hasToken(rel, icon))
            return LINK_ICON;
    for (std::string_view fetched : {"preload", "modulepreload", "manifest"})
        if (hasToken(rel, fetched))
            return LINK_RESOURCE;
    return 0;
}

// The address of a meta refresh's content ("5; url=next.html"), read as browsers read it; empty
// when it names none.
std::string_view refreshAddress(std::string_view content) {
    size_t i = 0;
    const size_t n = content.size();
    while (i < n && isSpace(content[i]))
        ++i;
    const size_t digits = i;
    while (i < n && content[i] >= '0' && content[i] <= '9')
        ++i;
    if (i == digits && (i >= n || content[i] != '.'))
        return {};
    while (i < n && ((content[i] >= '0' && content[i] <= '9') || content[i] == '.'))
        ++i;
    if (i >= n || !(isSpace(content[i]) || content[i] == ';' || content[i] == ','))
        return {};
    while (i < n && isSpace(content[i]))
        ++i;
    if (i < n && (content[i] == ';' || content[i] == ','))
        ++i;
    while (i < n && isSpace(content[i]))
        ++i;
    if (i >= n)
        return {};
    size_t at = i;
    if (n - at >= 3 && equalsNoCase(content.substr(at, 3), "url")) {
        size_t after = at + 3;
        while (after < n && isSpace(content[after]))
            ++after;
        if (after < n && content[after] == '=') {
            ++after;
            while (after < n && isSpace(content[after]))
                ++after;
            at = after;
        }
    }
    std::string_view address = content.substr(at);
    if (!address.empty() && (address[0] == '"' || address[0] == '\'')) {
        const char quote = address[0];
        address.remove_prefix(1);
        address = address.substr(0, address.find(quote));
    }
    return address;
}

// Everything one pass carries from tag to tag. Links are gathered as written and resolved at the
// end, because a <base href> anywhere in the page is the base of every link in it.
class BrowserPass {
public:
    BrowserPass(const Str& reply, const URL& pageURL, LinkList& links, Str& labels, ScanControl* control)
        : m_body(reply.view().substr(replyHeaderLength(reply.view()))), m_pageURL(pageURL), m_links(links),
          m_labels(labels), m_control(control),
          m_maxLinks(theLinkEnvironment ? theLinkEnvironment->maxPageLinks : kDefaultMaxPageLinks),
          m_decoder(detectCharset(reply)), m_tokenizer(m_body) {}

    void run(Str& title);

private:
    struct Pending {
        int kind;
        std::string_view address; // as written, a view into the page
        Str text;
        int line;
    };

    void startTag(const BrowserTag& tag);
    void elementLinks(const BrowserTag& tag);
    void linkElement(const BrowserTag& tag, int kind, std::string_view attribute, std::string_view text = {});
    void add(int kind, std::string_view address, Str text, size_t at);
    void addImages(std::string_view srcset, int kind, size_t at);
    void addStyleLinks(std::string_view css, size_t at);
    void closeAnchor(size_t at);
    void readTitle(std::string_view raw, Str& title);
    void resolveAll();
    void resolve(std::string_view written, const URL& base, URL& out);
    Str shown(std::string_view raw) {
        Str out;
        m_decoder.decode(raw, out);
        return out;
    }
    // One hostile page must not take the memory of a whole crawl.
    bool hasRoom() {
        if (m_maxLinks <= 0 || static_cast<int>(m_pending.size()) < m_maxLinks)
            return true;
        if (m_control)
            m_control->linksCut = true;
        return false;
    }
    bool stopRequested() const {
        return m_control && m_control->stop && m_control->stop->load(std::memory_order_relaxed) != 0;
    }

    std::string_view m_body;
    const URL& m_pageURL;
    LinkList& m_links;
    Str& m_labels;
    ScanControl* m_control;
    int m_maxLinks;
    TextDecoder m_decoder;
    BrowserTokenizer m_tokenizer;
    std::vector<Pending> m_pending;

    int m_foreignDepth = 0;
    int m_templateDepth = 0;
    int m_framesetDepth = 0;
    int m_mediaDepth = 0;
    bool m_hasTitle = false;
    bool m_hasBase = false;
    std::string_view m_baseHref;
    bool m_inAnchor = false;
    std::string_view m_href;
    size_t m_anchorTextStart = 0;
    int m_anchorLine = 0;
    std::string_view m_mapName;
};

void BrowserPass::run(Str& title) {
    BrowserTag tag;
    title.clear();
    for (int tags = 0; m_tokenizer.next(tag); ++tags) {
        if (tags % 4096 == 4095 && stopRequested())
            break;
        const std::string& name = tag.name;
        if (tag.isEnd) {
            if (name == "a")
                closeAnchor(tag.start);
            else if (m_foreignDepth > 0 && (name == "svg" || name == "math"))
                --m_foreignDepth;
            else if (name == "template" && m_templateDepth > 0)
                --m_templateDepth;
            else if (name == "frameset" && m_framesetDepth > 0)
                --m_framesetDepth;
            else if ((name == "video" || name == "audio") && m_mediaDepth > 0)
                --m_mediaDepth;
            continue;
        }
        if (m_foreignDepth > 0) {
            if (!leavesForeignContent(name)) {
                if ((name == "svg" || name == "math") && !tag.isSelfClosing)
                    ++m_foreignDepth;
                continue;
            }
            m_foreignDepth = 0;
        }
        if (m_templateDepth == 0)
            startTag(tag);
        if (name == "template") {
            ++m_templateDepth;
        } else if ((name == "svg" || name == "math") && !tag.isSelfClosing) {
            ++m_foreignDepth;
        } else if (name == "plaintext") {
            m_tokenizer.skipRest();
        } else if (holdsRawText(name)) {
            const size_t textStart = tag.end;
            std::string_view text = m_tokenizer.skipRawText(name);
            if (m_templateDepth > 0)
                continue;
            if (name == "title" && !m_hasTitle) {
                m_hasTitle = true;
                readTitle(text, title);
            } else if (name == "style") {
                addStyleLinks(text, textStart);
            }
        }
    }
    closeAnchor(m_body.size());
    if (title.isEmpty())
        title = "<No Title>";
    resolveAll();
}

// Trimmed and decoded as the original title was; the white space inside is kept as the page has
// it, for reports that show a title exactly.
void BrowserPass::readTitle(std::string_view raw, Str& title) {
    title = shown(raw);
    title.strip();
    title.decodeISO();
}

void BrowserPass::add(int kind, std::string_view address, Str text, size_t at) {
    if (!hasRoom())
        return;
    m_pending.push_back({kind, address, std::move(text), m_tokenizer.lineAt(at)});
}

void BrowserPass::linkElement(const BrowserTag& tag, int kind, std::string_view attribute,
                              std::string_view text) {
    const std::string_view* value = tag.attribute(attribute);
    if (!value)
        return;
    Str shownText;
    if (!text.empty()) {
        shownText = shown(text);
    } else {
        shownText = shown(*value);
        lastPathSegment(shownText);
    }
    add(kind, *value, std::move(shownText), tag.start);
}

void BrowserPass::addImages(std::string_view srcset, int kind, size_t at) {
    std::vector<std::string_view> candidates;
    srcsetAddresses(srcset, candidates);
    for (std::string_view address : candidates) {
        Str text = shown(address);
        lastPathSegment(text);
        add(kind, address, std::move(text), at);
    }
}

void BrowserPass::addStyleLinks(std::string_view css, size_t at) {
    std::vector<CssLink> found;
    cssLinks(css, found);
    for (const CssLink& link : found) {
        Str text = shown(link.address);
        lastPathSegment(text);
        add(link.isImport ? LINK_STYLESHEET : LINK_RESOURCE, link.address, std::move(text), at + link.offset);
    }
}

void BrowserPass::closeAnchor(size_t at) {
    if (!m_inAnchor)
        return;
    m_inAnchor = false;
    if (!hasRoom())
        return;
    const size_t length = std::min(at - std::min(at, m_anchorTextStart), kMaxAnchorText);
    Str text = shown(m_body.substr(std::min(m_anchorTextStart, m_body.size()), length));
    cleanLinkText(text);
    m_pending.push_back({LINK_HYPERLINK, m_href, std::move(text), m_anchorLine});
}

void BrowserPass::startTag(const BrowserTag& tag) {
    elementLinks(tag);
    // After the element's own links, which were written before it.
    if (const std::string_view* style = tag.attribute("style"))
        addStyleLinks(*style, static_cast<size_t>(style->data() - m_body.data()));
}

void BrowserPass::elementLinks(const BrowserTag& tag) {
    const std::string& name = tag.name;
    if (name == "a") {
        closeAnchor(tag.start);
        if (const std::string_view* href = tag.attribute("href")) {
            m_inAnchor = true;
            m_href = *href;
            m_anchorTextStart = tag.end;
            m_anchorLine = m_tokenizer.lineAt(tag.start);
        }
    } else if (name == "img" || name == "image") {
        const std::string_view* alt = tag.attribute("alt");
        linkElement(tag, LINK_IMAGE, "src", alt ? *alt : std::string_view());
        if (const std::string_view* srcset = tag.attribute("srcset"))
            addImages(*srcset, LINK_IMAGE, tag.start);
    } else if (name == "script") {
        linkElement(tag, LINK_SCRIPT, "src");
    } else if (name == "link") {
        const std::string_view* rel = tag.attribute("rel");
        if (int kind = rel ? linkElementKind(*rel) : 0)
            linkElement(tag, kind, "href");
    } else if (name == "iframe") {
        linkElement(tag, LINK_IFRAME, "src");
    } else if (name == "frame") {
        if (m_framesetDepth > 0) {
            const std::string_view* frameName = tag.attribute("name");
            linkElement(tag, LINK_FRAME, "src", frameName ? *frameName : std::string_view());
        }
    } else if (name == "frameset") {
        if (!tag.isSelfClosing)
            ++m_framesetDepth;
    } else if (name == "area") {
        linkElement(tag, LINK_IMAGEMAP, "href", m_mapName.empty() ? std::string_view("Area") : m_mapName);
    } else if (name == "map") {
        const std::string_view* mapName = tag.attribute("name");
        m_mapName = mapName ? *mapName : std::string_view();
    } else if (name == "source") {
        const int kind = m_mediaDepth > 0 ? LINK_MEDIA : LINK_IMAGE;
        linkElement(tag, kind, "src");
        if (const std::string_view* srcset = tag.attribute("srcset"))
            addImages(*srcset, kind, tag.start);
    } else if (name == "video" || name == "audio") {
        linkElement(tag, LINK_IMAGE, "poster");
        linkElement(tag, LINK_MEDIA, "src");
        if (!tag.isSelfClosing)
            ++m_mediaDepth;
    } else if (name == "track") {
        linkElement(tag, LINK_MEDIA, "src");
    } else if (name == "embed") {
        linkElement(tag, LINK_EMBED, "src");
    } else if (name == "object") {
        if (tag.attribute("data")) {
            linkElement(tag, LINK_EMBED, "data");
        } else if (hasRoom()) {
            // What the original listed for an object without an address: its name.
            const std::string_view* text = tag.attribute("alt");
            if (!text)
                text = tag.attribute("codebase");
            Str shownText = text ? shown(*text) : Str();
            int hash = shownText.find('#', 1);
            if (hash > 0)
                shownText.truncate(hash);
            m_pending.push_back({LINK_ACTIVEX, {}, std::move(shownText), m_tokenizer.lineAt(tag.start)});
        }
    } else if (name == "input") {
        const std::string_view* type = tag.attribute("type");
        if (type && equalsNoCase(*type, "image"))
            linkElement(tag, LINK_IMAGE, "src");
    } else if (name == "body") {
        linkElement(tag, LINK_IMAGE, "background", "Background");
    } else if (name == "base") {
        const std::string_view* href = tag.attribute("href");
        if (href && !m_hasBase) {
            m_hasBase = true;
            m_baseHref = *href;
        }
    } else if (name == "meta") {
        const std::string_view* equiv = tag.attribute("http-equiv");
        const std::string_view* content = tag.attribute("content");
        if (equiv && content && equalsNoCase(*equiv, "refresh")) {
            std::string_view address = refreshAddress(*content);
            if (!address.empty()) {
                Str text = shown(address);
                lastPathSegment(text);
                add(LINK_REFRESH, address, std::move(text), tag.start);
            }
        }
        std::string_view raw = m_body.substr(tag.start, tag.end - tag.start);
        if (raw.find("PICS-Label") != std::string_view::npos) {
            size_t open = raw.rfind('(');
            size_t close = open == std::string_view::npos ? open : raw.find(')', open);
            if (close != std::string_view::npos) {
                if (!m_labels.isEmpty())
                    m_labels.cat('\t');
                m_labels.cat(raw.substr(open, close - open + 1));
            }
        }
    }
}

void BrowserPass::resolve(std::string_view written, const URL& base, URL& out) {
    Str text;
    m_decoder.decode(written, text);
    text.decodeAttribute();
    std::string& value = text.str();
    // A NUL in the page reads as U+FFFD, which the address then carries percent-encoded.
    for (size_t nul = value.find('\0'); nul != std::string::npos; nul = value.find('\0', nul))
        value.replace(nul, 1, "\xEF\xBF\xBD");
    if (!m_decoder.isUtf8()) {
        const size_t hash = value.find('#');
        const size_t question = value.find('?');
        if (question < hash) {
            const size_t end = hash == std::string::npos ? value.size() : hash;
            std::string query;
            m_decoder.encode(std::string_view(value).substr(question + 1, end - question - 1), query);
            value.replace(question + 1, end - question - 1, query);
        }
    }
    if (out.setURL(base, value) != 0) {
        // Kept as written, so that the report can name the address that is wrong.
        std::string_view trimmed = value;
        while (!trimmed.empty() && static_cast<unsigned char>(trimmed.front()) <= 0x20)
            trimmed.remove_prefix(1);
        while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= 0x20)
            trimmed.remove_suffix(1);
        out.setUnparsed(trimmed);
        return;
    }
    // A password written into a page's link is not repeated in every report that lists the link.
    out.takeUserInfo();
}

void BrowserPass::resolveAll() {
    URL base = m_pageURL;
    if (m_hasBase) {
        URL fromPage;
        resolve(m_baseHref, m_pageURL, fromPage);
        if (fromPage.isValid())
            base = fromPage;
    }
    m_links.reserve(static_cast<int>(std::min<size_t>(m_pending.size(), 1 << 16)));
    for (Pending& pending : m_pending) {
        if (pending.address.size() > static_cast<size_t>(kMaxLinkAddress)) {
            if (m_control)
                m_control->linksCut = true;
            continue;
        }
        URL url;
        if (pending.kind != LINK_ACTIVEX) {
            // An empty address names nothing a browser would fetch.
            if (std::all_of(pending.address.begin(), pending.address.end(),
                            [](char c) { return static_cast<unsigned char>(c) <= 0x20; }))
                continue;
            resolve(pending.address, base, url);
        }
        m_links.add(pending.kind, url, pending.text).line = pending.line;
    }
}

} // namespace

int scanAsBrowser(const Str& reply, const URL& pageURL, Str& title, LinkList& links, Str& labels,
                  ScanControl* control) {
    links.clear();
    BrowserPass pass(reply, pageURL, links, labels, control);
    pass.run(title);
    links.fit();
    return 0;
}

} // namespace lurvik
