#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik {

// A name as the page wrote it, lowered only when it has capitals: most names are lower case
// already, and a page has tens of thousands of them.
class LowerName {
public:
    void assign(std::string_view written);
    std::string_view view() const { return m_hasCapitals ? std::string_view(m_lowered) : m_written; }

private:
    std::string_view m_written;
    std::string m_lowered;
    bool m_hasCapitals = false;
};

// One tag as the HTML standard's tokenizer reads it. Names are in ASCII lower case; values are
// as written, character references still in them. Of an attribute given twice the first counts.
struct BrowserTag {
    struct Attribute {
        LowerName name;
        std::string_view value;
    };

    std::string_view name() const { return m_name.view(); }
    bool isEnd = false;
    bool isSelfClosing = false;
    // A comment, a doctype or another bogus comment: no tag, but the end of a run of text.
    bool isComment = false;
    size_t start = 0;     // the "<"
    size_t end = 0;       // just past the ">"
    size_t textStart = 0; // where the text before it starts: the end of the token before

    // Null when the tag has no such attribute.
    const std::string_view* attribute(std::string_view name) const;
    size_t attributeCount() const { return m_count; }
    const Attribute& attributeAt(size_t i) const { return m_attributes[i]; }

private:
    friend class BrowserTokenizer;
    LowerName m_name;
    // Kept across tags so that a page's thousands of tags reuse the same few strings.
    std::vector<Attribute> m_attributes;
    size_t m_count = 0;
};

// Finds the tags of a page by the HTML standard's tokenizer rules, in one forward pass: white
// space around "=", unquoted values, quotes inside names, "/" before ">", comments closed by
// "-->", "--!>" or at once by "<!-->", bogus comments ("<!DOCTYPE", "<?xml", "</ x>"), and a tag
// the page ends inside, which a browser drops. Text between tags is passed over; which elements
// hold text that is not markup (script, style, title...) is the caller's knowledge, which it
// applies with skipRawText.
class BrowserTokenizer {
public:
    explicit BrowserTokenizer(std::string_view text) : m_text(text) {}

    // The next start or end tag, or comment; false at the end of the text.
    bool next(BrowserTag& tag);
    // The text after the last token, once next() has said there is no more.
    std::string_view trailingText() const {
        return m_text.substr(std::min(m_textStart, m_textEnd), m_textEnd - std::min(m_textStart, m_textEnd));
    }
    // Passes over the text of the element just opened, up to its end tag ("</name" then white
    // space, "/" or ">", case ignored), and returns that text; the end tag is consumed. Without an
    // end tag the text runs to the end of the page.
    std::string_view skipRawText(std::string_view name);
    // After <plaintext> nothing is markup again.
    void skipRest() { m_pos = m_textStart = m_text.size(); }
    // The 1-based line of a position; positions asked for must not go backwards.
    int lineAt(size_t position);

private:
    // Reads the tag whose name starts at nameStart; false when the text ends inside it.
    bool readTag(size_t lessThan, size_t nameStart, bool isEnd, BrowserTag& tag);
    void skipBogusComment(size_t from);
    void skipComment(size_t from);

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_textStart = 0;
    size_t m_textEnd = std::string_view::npos;
    size_t m_linePos = 0;
    int m_line = 1;
};

} // namespace lurvik
