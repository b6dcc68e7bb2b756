#include "BrowserScanner.h"

#include "BrowserTokenizer.h"
#include "CssLinks.h"
#include "FileTypeTable.h"
#include "MarkupText.h"
#include "PageParts.h"
#include "Srcset.h"
#include "TextDecoder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace lurvik {

namespace {

// The text kept of an anchor: far more than a link's text shows, and bounded for a page that
// never closes its anchors.
constexpr size_t kMostAnchorText = 4096;

// The elements the pass acts on; every other name is Other.
enum class Element {
    Other,
    A,
    Area,
    Audio,
    Base,
    Body,
    Embed,
    Frame,
    Frameset,
    Iframe,
    Img,
    Input,
    Link,
    Map,
    Math,
    Meta,
    Noembed,
    Noframes,
    Noscript,
    Object,
    Plaintext,
    Script,
    Source,
    Style,
    Svg,
    Template,
    Textarea,
    Title,
    Track,
    Video,
    Xmp
};

Element elementOf(std::string_view name) {
    struct Entry {
        std::string_view name;
        Element element;
    };
    // By length, so most names are told apart by one comparison.
    static constexpr Entry kElements[] = {{"a", Element::A},
                                          {"img", Element::Img},
                                          {"map", Element::Map},
                                          {"svg", Element::Svg},
                                          {"xmp", Element::Xmp},
                                          {"area", Element::Area},
                                          {"base", Element::Base},
                                          {"body", Element::Body},
                                          {"link", Element::Link},
                                          {"math", Element::Math},
                                          {"meta", Element::Meta},
                                          {"audio", Element::Audio},
                                          {"embed", Element::Embed},
                                          {"frame", Element::Frame},
                                          {"image", Element::Img},
                                          {"input", Element::Input},
                                          {"style", Element::Style},
                                          {"title", Element::Title},
                                          {"track", Element::Track},
                                          {"video", Element::Video},
                                          {"iframe", Element::Iframe},
                                          {"object", Element::Object},
                                          {"script", Element::Script},
                                          {"source", Element::Source},
                                          {"noembed", Element::Noembed},
                                          {"frameset", Element::Frameset},
                                          {"noframes", Element::Noframes},
                                          {"noscript", Element::Noscript},
                                          {"template", Element::Template},
                                          {"textarea", Element::Textarea},
                                          {"plaintext", Element::Plaintext}};
    if (name.size() > 9 || name.size() == 2)
        return Element::Other;
    for (const Entry& entry : kElements)
        if (entry.name.size() == name.size() && entry.name[0] == name[0] && entry.name == name)
            return entry.element;
    return Element::Other;
}

// How the tokenizer reads what follows an element's start tag, by the tree builder's rules (with
// scripting on, as in a browser).
bool holdsRawText(Element element) {
    switch (element) {
    case Element::Script:
    case Element::Style:
    case Element::Textarea:
    case Element::Title:
    case Element::Xmp:
    case Element::Iframe:
    case Element::Noembed:
    case Element::Noframes:
    case Element::Noscript:
        return true;
    default:
        return false;
    }
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

// Whether a space-separated list of tokens (a rel attribute) holds word, case ignored.
bool hasToken(std::string_view list, std::string_view word) {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isMarkupSpace(list[i]))
            ++i;
        size_t end = i;
        while (end < list.size() && !isMarkupSpace(list[end]))
            ++end;
        if (end > i && equalsWord(list.substr(i, end - i), word))
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
    while (i < n && isMarkupSpace(content[i]))
        ++i;
    const size_t digits = i;
    while (i < n && content[i] >= '0' && content[i] <= '9')
        ++i;
    if (i == digits && (i >= n || content[i] != '.'))
        return {};
    while (i < n && ((content[i] >= '0' && content[i] <= '9') || content[i] == '.'))
        ++i;
    if (i >= n || !(isMarkupSpace(content[i]) || content[i] == ';' || content[i] == ','))
        return {};
    while (i < n && isMarkupSpace(content[i]))
        ++i;
    if (i < n && (content[i] == ';' || content[i] == ','))
        ++i;
    while (i < n && isMarkupSpace(content[i]))
        ++i;
    if (i >= n)
        return {};
    size_t at = i;
    if (n - at >= 3 && equalsWord(content.substr(at, 3), "url")) {
        size_t after = at + 3;
        while (after < n && isMarkupSpace(content[after]))
            ++after;
        if (after < n && content[after] == '=') {
            ++after;
            while (after < n && isMarkupSpace(content[after]))
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

// Everything one pass carries from tag to tag. A <base href> anywhere in the page is the base of
// every link in it, those before it too: the links met before it are resolved again.
class BrowserPass {
public:
    BrowserPass(const Str& reply, const URL& pageURL, LinkList& links, Str& labels, ScanControl* control)
        : m_body(reply.view().substr(replyHeaderLength(reply.view()))), m_pageURL(pageURL), m_links(links),
          m_labels(labels), m_control(control),
          m_maxLinks(theLinkEnvironment ? theLinkEnvironment->maxPageLinks : kDefaultMaxPageLinks),
          m_decoder(detectCharset(reply)), m_tokenizer(m_body), m_base(pageURL) {}

    void run(Str& title);

private:
    void startTag(const BrowserTag& tag, Element element);
    void elementLinks(const BrowserTag& tag, Element element);
    void objectLink(const BrowserTag& tag);
    void metaTag(const BrowserTag& tag);
    void linkElement(const BrowserTag& tag, int kind, std::string_view attribute, std::string_view text = {});
    void add(int kind, std::string_view address, const Str& text, int line);
    void add(int kind, std::string_view address, const Str& text, size_t at) {
        add(kind, address, text, m_tokenizer.lineAt(at));
    }
    void takeBase(std::string_view href);
    void addImages(std::string_view srcset, int kind, size_t at);
    void addStyleLinks(std::string_view css, size_t at);
    void anchorText(std::string_view text);
    void closeAnchor();
    void readTitle(std::string_view raw, Str& title);
    void resolve(std::string_view written, const URL& base, URL& out);
    Str shown(std::string_view raw) {
        Str out;
        toUtf8(raw, out);
        return out;
    }
    // The text of a link that has none of its own: the file name its address ends in.
    Str fileNameOf(std::string_view address) {
        Str text = shown(address);
        lastPathSegment(text);
        return text;
    }
    // Most of a page's names and addresses are ASCII, the same in every charset.
    void toUtf8(std::string_view raw, Str& out) {
        if (std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            out.cpy(raw);
        else
            m_decoder.decode(raw, out);
    }
    // One hostile page must not take the memory of a whole crawl.
    bool hasRoom(size_t addressLength = 0) {
        return roomForLink(m_control, m_links.len(), m_maxLinks, addressLength);
    }

    std::string_view m_body;
    const URL& m_pageURL;
    LinkList& m_links;
    Str& m_labels;
    ScanControl* m_control;
    int m_maxLinks;
    TextDecoder m_decoder;
    BrowserTokenizer m_tokenizer;
    URL m_base;
    // An address being resolved: one text for them all, so that resolving allocates nothing of its own.
    Str m_address;
    // Each link's address as written, for a <base> met after it; empty for an object's name.
    std::vector<std::string_view> m_written;

    int m_foreignDepth = 0;
    int m_templateDepth = 0;
    int m_framesetDepth = 0;
    int m_mediaDepth = 0;
    bool m_hasTitle = false;
    bool m_hasBase = false;
    bool m_inAnchor = false;
    std::string_view m_href;
    std::string m_anchorText; // the anchor's text so far, its tags left out
    std::string_view m_anchorAlt;
    std::string_view m_anchorSrc;
    int m_anchorLine = 0;
    std::string_view m_mapName;
};

void BrowserPass::run(Str& title) {
    BrowserTag tag;
    title.clear();
    for (int tags = 0; m_tokenizer.next(tag); ++tags) {
        if (tags % 4096 == 4095 && stopRequested(m_control))
            break;
        if (m_inAnchor)
            anchorText(m_body.substr(tag.textStart, tag.start - tag.textStart));
        if (tag.isComment)
            continue;
        const Element element = elementOf(tag.name());
        const bool isForeignRoot = element == Element::Svg || element == Element::Math;
        if (tag.isEnd) {
            if (element == Element::A)
                closeAnchor();
            else if (m_foreignDepth > 0 && isForeignRoot)
                --m_foreignDepth;
            else if (element == Element::Template && m_templateDepth > 0)
                --m_templateDepth;
            else if (element == Element::Frameset && m_framesetDepth > 0)
                --m_framesetDepth;
            else if ((element == Element::Video || element == Element::Audio) && m_mediaDepth > 0)
                --m_mediaDepth;
            continue;
        }
        if (m_foreignDepth > 0) {
            if (!leavesForeignContent(tag.name())) {
                if (isForeignRoot && !tag.isSelfClosing)
                    ++m_foreignDepth;
                continue;
            }
            m_foreignDepth = 0;
        }
        if (m_templateDepth == 0)
            startTag(tag, element);
        if (element == Element::Template) {
            ++m_templateDepth;
        } else if (isForeignRoot && !tag.isSelfClosing) {
            ++m_foreignDepth;
        } else if (element == Element::Plaintext) {
            m_tokenizer.skipRest();
        } else if (holdsRawText(element)) {
            const size_t textStart = tag.end;
            std::string_view text = m_tokenizer.skipRawText(tag.name());
            if (m_templateDepth > 0)
                continue;
            if (element == Element::Title && !m_hasTitle) {
                m_hasTitle = true;
                readTitle(text, title);
            } else if (element == Element::Style) {
                addStyleLinks(text, textStart);
            }
        }
    }
    if (m_inAnchor)
        anchorText(m_tokenizer.trailingText());
    closeAnchor();
    if (title.isEmpty())
        title = "<No Title>";
}

// Trimmed and decoded as the original title was; the white space inside is kept as the page has
// it, for reports that show a title exactly.
void BrowserPass::readTitle(std::string_view raw, Str& title) {
    title = shown(raw);
    title.strip();
    title.decodeISO();
}

void BrowserPass::add(int kind, std::string_view address, const Str& text, int line) {
    // An empty address names nothing a browser would fetch.
    if (std::all_of(address.begin(), address.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= 0x20; }))
        return;
    if (!hasRoom(address.size()))
        return;
    URL url;
    resolve(address, m_base, url);
    m_links.add(kind, url, text).line = line;
    m_written.push_back(address);
}

void BrowserPass::takeBase(std::string_view href) {
    m_hasBase = true;
    URL base;
    resolve(href, m_pageURL, base);
    if (!base.isValid() || base.sameURL(m_base))
        return;
    m_base = base;
    auto link = m_links.begin();
    for (std::string_view written : m_written) {
        if (!written.empty())
            resolve(written, m_base, link->url);
        ++link;
    }
}

void BrowserPass::linkElement(const BrowserTag& tag, int kind, std::string_view attribute,
                              std::string_view text) {
    const std::string_view* value = tag.attribute(attribute);
    if (!value)
        return;
    add(kind, *value, text.empty() ? fileNameOf(*value) : shown(text), tag.start);
}

void BrowserPass::addImages(std::string_view srcset, int kind, size_t at) {
    std::vector<std::string_view> candidates;
    srcsetAddresses(srcset, candidates);
    for (std::string_view address : candidates)
        add(kind, address, fileNameOf(address), at);
}

void BrowserPass::addStyleLinks(std::string_view css, size_t at) {
    std::vector<CssLink> found;
    cssLinks(css, found);
    for (const CssLink& link : found)
        add(link.isImport ? LINK_STYLESHEET : LINK_RESOURCE, link.address, fileNameOf(link.address),
            at + link.offset);
}

void BrowserPass::anchorText(std::string_view text) {
    // Only as much text as a link's text can show is kept.
    const size_t room = kMostAnchorText - std::min(kMostAnchorText, m_anchorText.size());
    m_anchorText.append(text.substr(0, room));
}

void BrowserPass::closeAnchor() {
    if (!m_inAnchor)
        return;
    m_inAnchor = false;
    if (!hasRoom())
        return;
    Str text = shown(m_anchorText);
    finishLinkText(text, shown(m_anchorAlt), shown(m_anchorSrc));
    add(LINK_HYPERLINK, m_href, text, m_anchorLine);
}

void BrowserPass::startTag(const BrowserTag& tag, Element element) {
    elementLinks(tag, element);
    // After the element's own links, which were written before it.
    if (const std::string_view* style = tag.attribute("style"))
        addStyleLinks(*style, static_cast<size_t>(style->data() - m_body.data()));
}

void BrowserPass::elementLinks(const BrowserTag& tag, Element element) {
    switch (element) {
    case Element::A:
        closeAnchor();
        if (const std::string_view* href = tag.attribute("href")) {
            m_inAnchor = true;
            m_href = *href;
            m_anchorText.clear();
            m_anchorAlt = m_anchorSrc = {};
            m_anchorLine = m_tokenizer.lineAt(tag.start);
        }
        break;
    case Element::Img: {
        const std::string_view* alt = tag.attribute("alt");
        // The last image of an anchor names it when it has no text.
        if (m_inAnchor && tag.attributeCount() > 0) {
            const std::string_view* src = tag.attribute("src");
            m_anchorAlt = alt ? *alt : std::string_view();
            m_anchorSrc = src ? *src : std::string_view();
        }
        linkElement(tag, LINK_IMAGE, "src", alt ? *alt : std::string_view());
        if (const std::string_view* srcset = tag.attribute("srcset"))
            addImages(*srcset, LINK_IMAGE, tag.start);
        break;
    }
    case Element::Script:
        linkElement(tag, LINK_SCRIPT, "src");
        break;
    case Element::Link:
        if (const std::string_view* rel = tag.attribute("rel"))
            if (int kind = linkElementKind(*rel))
                linkElement(tag, kind, "href");
        break;
    case Element::Iframe:
        linkElement(tag, LINK_IFRAME, "src");
        break;
    case Element::Frame:
        if (m_framesetDepth > 0) {
            const std::string_view* frameName = tag.attribute("name");
            linkElement(tag, LINK_FRAME, "src", frameName ? *frameName : std::string_view());
        }
        break;
    case Element::Frameset:
        if (!tag.isSelfClosing)
            ++m_framesetDepth;
        break;
    case Element::Area:
        linkElement(tag, LINK_IMAGEMAP, "href", m_mapName.empty() ? std::string_view("Area") : m_mapName);
        break;
    case Element::Map: {
        const std::string_view* mapName = tag.attribute("name");
        m_mapName = mapName ? *mapName : std::string_view();
        break;
    }
    case Element::Source: {
        const int kind = m_mediaDepth > 0 ? LINK_MEDIA : LINK_IMAGE;
        linkElement(tag, kind, "src");
        if (const std::string_view* srcset = tag.attribute("srcset"))
            addImages(*srcset, kind, tag.start);
        break;
    }
    case Element::Video:
    case Element::Audio:
        linkElement(tag, LINK_IMAGE, "poster");
        linkElement(tag, LINK_MEDIA, "src");
        if (!tag.isSelfClosing)
            ++m_mediaDepth;
        break;
    case Element::Track:
        linkElement(tag, LINK_MEDIA, "src");
        break;
    case Element::Embed:
        linkElement(tag, LINK_EMBED, "src");
        break;
    case Element::Object:
        objectLink(tag);
        break;
    case Element::Input:
        if (const std::string_view* type = tag.attribute("type"); type && equalsWord(*type, "image"))
            linkElement(tag, LINK_IMAGE, "src");
        break;
    case Element::Body:
        linkElement(tag, LINK_IMAGE, "background", "Background");
        break;
    case Element::Base:
        if (const std::string_view* href = tag.attribute("href"); href && !m_hasBase)
            takeBase(*href);
        break;
    case Element::Meta:
        metaTag(tag);
        break;
    default:
        break;
    }
}

void BrowserPass::objectLink(const BrowserTag& tag) {
    if (tag.attribute("data")) {
        linkElement(tag, LINK_EMBED, "data");
        return;
    }
    if (!hasRoom())
        return;
    // What the original listed for an object without an address: its name.
    const std::string_view* text = tag.attribute("alt");
    if (!text)
        text = tag.attribute("codebase");
    Str shownText = text ? shown(*text) : Str();
    int hash = shownText.find('#', 1);
    if (hash > 0)
        shownText.truncate(hash);
    m_links.add(LINK_ACTIVEX, URL(), shownText).line = m_tokenizer.lineAt(tag.start);
    m_written.emplace_back();
}

void BrowserPass::metaTag(const BrowserTag& tag) {
    const std::string_view* equiv = tag.attribute("http-equiv");
    const std::string_view* content = tag.attribute("content");
    if (equiv && content && equalsWord(*equiv, "refresh")) {
        std::string_view address = refreshAddress(*content);
        if (!address.empty())
            add(LINK_REFRESH, address, fileNameOf(address), tag.start);
    }
    std::string_view raw = m_body.substr(tag.start, tag.end - tag.start);
    if (raw.find("PICS-Label") == std::string_view::npos)
        return;
    size_t open = raw.rfind('(');
    size_t close = open == std::string_view::npos ? open : raw.find(')', open);
    if (close == std::string_view::npos)
        return;
    if (!m_labels.isEmpty())
        m_labels.cat('\t');
    m_labels.cat(raw.substr(open, close - open + 1));
}

void BrowserPass::resolve(std::string_view written, const URL& base, URL& out) {
    toUtf8(written, m_address);
    m_address.decodeAttribute();
    std::string& value = m_address.str();
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
