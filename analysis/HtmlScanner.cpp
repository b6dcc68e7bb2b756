#include "HtmlScanner.h"

#include "BrowserScanner.h"

#include "FileTypeTable.h"
#include "HtmlTokenizer.h"
#include "TextDecoder.h"

#include <vector>

namespace lurvik {

namespace {

// Everything one pass carries from tag to tag.
class PagePass {
public:
    PagePass(const Str& page, const URL& pageURL, LinkList& links, Str& labels, ScanControl* control)
        : m_page(page), m_pageURL(pageURL), m_links(links), m_labels(labels), m_control(control),
          m_maxLinks(theLinkEnvironment ? theLinkEnvironment->maxPageLinks : kDefaultMaxPageLinks),
          m_decoder(detectCharset(page)) {}

    void run(Str& title);

private:
    void startTag(int code);
    void endTag(int code);
    void endTitle() {
        if (m_inTitle) {
            m_inTitle = false;
            m_titleEnd = m_tagStart - 1;
        }
    }
    // Reads the current tag's attributes; false when it has none.
    bool readAttributes() {
        if (!m_hasAttributes)
            return false;
        parseAttributes(m_page, m_attrStart, m_attrEnd, m_names, m_values);
        return true;
    }
    bool attribute(std::string_view name, Str& out) {
        return getAttribute(m_names, m_values, name, out) != 0;
    }
    // Attribute values and texts are bytes of the page; links keep them, the user sees UTF-8.
    Str shown(const Str& raw) {
        Str out;
        m_decoder.decode(raw.view(), out);
        return out;
    }
    void addLink(int kind, const Str& address, const Str& text);
    void resolve(const Str& address, URL& out) const;
    void addEmptyLink(int kind, const Str& text) {
        if (hasRoomFor(Str()))
            m_links.add(kind, URL(), shown(text));
    }
    bool hasRoomFor(const Str& address) {
        return roomForLink(m_control, m_links.len(), m_maxLinks, static_cast<size_t>(address.len()));
    }

    const Str& m_page;
    const URL& m_pageURL;
    LinkList& m_links;
    Str& m_labels;
    ScanControl* m_control;
    int m_maxLinks;
    TextDecoder m_decoder;
    CommentCloser m_closer;
    std::vector<Str> m_names;
    std::vector<Str> m_values;

    int m_tagStart = 0;
    int m_tagEnd = -1;
    int m_isEndTag = 0;
    int m_tagCode = 0;
    int m_hasAttributes = 0;
    int m_attrStart = 0;
    int m_attrEnd = 0;

    bool m_inTitle = false;
    int m_titleStart = -1;
    int m_titleEnd = -1;
    bool m_inAnchor = false;
    Str m_href;
    int m_anchorStart = 0;
    bool m_inMap = false;
    Str m_mapName;
};

void PagePass::resolve(const Str& address, URL& out) const {
    out.setURL(m_pageURL, address.view());
}

void PagePass::addLink(int kind, const Str& address, const Str& text) {
    if (!hasRoomFor(address))
        return;
    URL url;
    resolve(address, url);
    m_links.add(kind, url, shown(text));
}

void PagePass::run(Str& title) {
    for (int tags = 0; nextTag(m_page, m_tagEnd + 1, m_tagStart, m_tagEnd, m_isEndTag, m_tagCode,
                               m_hasAttributes, m_attrStart, m_attrEnd, &m_closer) >= 0;
         ++tags) {
        if (tags % 4096 == 4095 && stopRequested(m_control))
            break;
        if (m_isEndTag)
            endTag(m_tagCode);
        else
            startTag(m_tagCode);
    }
    title.clear();
    if (m_titleStart > 0 && m_titleStart <= m_titleEnd) {
        Str raw;
        m_page.substr(m_titleStart, m_titleEnd - m_titleStart + 1, raw);
        raw.strip();
        m_decoder.decode(raw.view(), title);
        title.decodeISO();
    }
    if (title.isEmpty())
        title = "<No Title>";
}

void PagePass::startTag(int code) {
    Str value;
    switch (code) {
    case TAG_TITLE:
        m_inTitle = true;
        m_titleStart = m_tagEnd + 1;
        break;
    case TAG_BODY:
        endTitle();
        if (readAttributes() && attribute("background", value))
            addLink(LINK_IMAGE, value, "Background");
        break;
    case TAG_A:
        if (readAttributes()) {
            attribute("href", m_href);
            if (!m_href.isEmpty()) {
                m_inAnchor = true;
                m_anchorStart = m_tagEnd + 1;
            }
        }
        break;
    case TAG_IMG:
        if (readAttributes() && attribute("src", value)) {
            Str text;
            if (!attribute("alt", text)) {
                text = value;
                lastPathSegment(text);
            }
            addLink(LINK_IMAGE, value, text);
        }
        break;
    case TAG_APPLET:
        if (readAttributes()) {
            Str text;
            if (!attribute("alt", text))
                attribute("code", text);
            if (attribute("codebase", value))
                addLink(LINK_APPLET, value, text);
            else
                addEmptyLink(LINK_APPLET, text);
        }
        break;
    case TAG_MAP:
        m_inMap = true;
        m_mapName.clear();
        if (readAttributes())
            attribute("name", m_mapName);
        break;
    case TAG_AREA:
        if (m_inMap && readAttributes() && attribute("href", value))
            addLink(LINK_IMAGEMAP, value, m_mapName);
        break;
    case TAG_FRAME:
        if (readAttributes() && attribute("src", value)) {
            Str text;
            if (!attribute("name", text)) {
                text = value;
                lastPathSegment(text);
            }
            addLink(LINK_FRAME, value, text);
        }
        break;
    case TAG_OBJECT:
        if (readAttributes()) {
            Str text;
            if (!attribute("alt", text))
                attribute("codebase", text);
            int hash = text.find('#', 1);
            if (hash > 0)
                text.truncate(hash);
            addEmptyLink(LINK_ACTIVEX, text);
        }
        break;
    case TAG_META:
        if (m_hasAttributes) {
            Str raw;
            m_page.substr(m_attrStart, m_attrEnd - m_attrStart + 1, raw);
            if (raw.find("PICS-Label") < 0)
                break;
            int open = raw.findr('(');
            int close = open < 0 ? -1 : raw.find(')', open);
            if (close > open && open >= 0) {
                if (!m_labels.isEmpty())
                    m_labels.cat('\t');
                m_labels.cat(raw.view().substr(open, close - open + 1));
            }
        }
        break;
    default:
        break;
    }
}

void PagePass::endTag(int code) {
    switch (code) {
    case TAG_TITLE:
    case TAG_HEAD:
        endTitle();
        break;
    case TAG_A:
        if (m_inAnchor) {
            m_inAnchor = false;
            if (!hasRoomFor(m_href))
                break;
            Str raw;
            if (m_tagStart > m_anchorStart)
                m_page.substr(m_anchorStart, m_tagStart - m_anchorStart, raw);
            // The text is decoded before it is cleaned so the entities it holds are read as UTF-8.
            Str text = shown(raw);
            cleanLinkText(text);
            URL url;
            resolve(m_href, url);
            m_links.add(LINK_HYPERLINK, url, text);
        }
        break;
    case TAG_MAP:
        m_inMap = false;
        break;
    default:
        break;
    }
}

} // namespace

int scanPage(const Str& pageText, const URL& pageURL, Str& title, LinkList& links, Str& labels,
             LinkReading reading, ScanControl* control) {
    if (reading == LinkReading::Browser)
        return scanAsBrowser(pageText, pageURL, title, links, labels, control);
    links.clear();
    PagePass pass(pageText, pageURL, links, labels, control);
    pass.run(title);
    links.fit();
    return 0;
}

void lastPathSegment(Str& text) {
    int slash = text.findr('/');
    if (slash >= 0)
        text.collapse(0, slash + 1);
}

void cleanLinkText(Str& text) {
    Str alt;
    Str src;
    std::vector<Str> names;
    std::vector<Str> values;
    CommentCloser closer;
    // Removing each tag and searching again from the front would cost the square of the text; the
    // text before a tag never holds a "<", so one forward pass keeps exactly the same characters.
    Str kept;
    int from = 0;
    int tagStart = 0, tagEnd = 0, isEndTag = 0, tagCode = 0, hasAttributes = 0, attrStart = 0, attrEnd = 0;
    while (nextTag(text, from, tagStart, tagEnd, isEndTag, tagCode, hasAttributes, attrStart, attrEnd,
                   &closer) >= 0) {
        if (tagCode == TAG_IMG && !isEndTag && hasAttributes) {
            parseAttributes(text, attrStart, attrEnd, names, values);
            getAttribute(names, values, "alt", alt);
            getAttribute(names, values, "src", src);
        }
        hasAttributes = 0;
        kept.cat(text.view().substr(from, tagStart - from));
        from = tagEnd + 1;
    }
    if (from < text.len())
        kept.cat(text.view().substr(from));
    text = std::move(kept);
    finishLinkText(text, alt, src);
}

void finishLinkText(Str& text, const Str& alt, const Str& src) {
    text.strip();
    if (text.isEmpty()) {
        if (!alt.isEmpty()) {
            text = alt;
        } else if (!src.isEmpty()) {
            text = src;
            lastPathSegment(text);
        }
    }
    if (text.isEmpty())
        text = "<No Text>";
    else
        text.decodeISO();
}

} // namespace lurvik
