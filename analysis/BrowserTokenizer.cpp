#include "BrowserTokenizer.h"

#include "MarkupText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lurvik {

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The input stream turns every CR into a line feed before the tokenizer sees it, so CR is white
// space wherever the standard names tab, line feed, form feed and space.
bool endsName(char c) {
    return isMarkupSpace(c) || c == '/' || c == '>';
}

// The number of line feeds in text, eight bytes at a time: each byte that equals '\n' leaves its
// top bit set in the word, and no other byte does.
int countLineFeeds(std::string_view text) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr uint64_t kFeeds = 0x0A0A0A0A0A0A0A0AULL;
    int count = 0;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        const uint64_t x = word ^ kFeeds;
        // One in the low bit of each matching byte, summed into the top byte.
        count +=
            static_cast<int>(((~(((x & kLow7) + kLow7) | x | kLow7) >> 7) * 0x0101010101010101ULL) >> 56);
    }
    for (; i < text.size(); ++i)
        count += text[i] == '\n';
    return count;
}

} // namespace

void LowerName::assign(std::string_view written) {
    m_written = written;
    unsigned capitals = 0;
    for (char c : written)
        capitals |= static_cast<unsigned>(static_cast<unsigned char>(c - 'A') < 26);
    m_hasCapitals = capitals != 0;
    if (m_hasCapitals) {
        m_lowered.assign(written);
        for (char& c : m_lowered)
            c = lowerAscii(c);
    }
}

const std::string_view* BrowserTag::attribute(std::string_view wanted) const {
    for (size_t i = 0; i < m_count; ++i)
        if (m_attributes[i].name.view() == wanted)
            return &m_attributes[i].value;
    return nullptr;
}

int BrowserTokenizer::lineAt(size_t position) {
    position = std::min(position, m_text.size());
    if (position > m_linePos) {
        m_line += countLineFeeds(m_text.substr(m_linePos, position - m_linePos));
        m_linePos = position;
    }
    return m_line;
}

void BrowserTokenizer::skipBogusComment(size_t from) {
    const size_t close = m_text.find('>', from);
    m_pos = close == std::string_view::npos ? m_text.size() : close + 1;
}

void BrowserTokenizer::skipComment(size_t from) {
    // "<!-->" and "<!--->" are whole (empty) comments.
    if (from < m_text.size() && m_text[from] == '>') {
        m_pos = from + 1;
        return;
    }
    if (m_text.substr(from, 2) == "->") {
        m_pos = from + 2;
        return;
    }
    for (size_t dashes = m_text.find("--", from); dashes != std::string_view::npos;
         dashes = m_text.find("--", dashes + 1)) {
        if (m_text.substr(dashes + 2, 1) == ">") {
            m_pos = dashes + 3;
            return;
        }
        if (m_text.substr(dashes + 2, 2) == "!>") {
            m_pos = dashes + 4;
            return;
        }
    }
    m_pos = m_text.size();
}

bool BrowserTokenizer::next(BrowserTag& tag) {
    const size_t n = m_text.size();
    while (m_pos < n) {
        const void* found = std::memchr(m_text.data() + m_pos, '<', n - m_pos);
        if (!found)
            break;
        const size_t lessThan = static_cast<const char*>(found) - m_text.data();
        if (lessThan + 1 >= n)
            break;
        const char c = m_text[lessThan + 1];
        bool isTag = false;
        if (c == '!') {
            if (m_text.substr(lessThan + 2, 2) == "--")
                skipComment(lessThan + 4);
            else
                skipBogusComment(lessThan + 2);
        } else if (c == '?') {
            skipBogusComment(lessThan + 2);
        } else if (c == '/' && lessThan + 2 < n && isAlpha(m_text[lessThan + 2])) {
            isTag = readTag(lessThan, lessThan + 2, true, tag);
        } else if (c == '/' && lessThan + 2 < n && m_text[lessThan + 2] == '>') {
            m_pos = lessThan + 3;
        } else if (c == '/' && lessThan + 2 < n) {
            skipBogusComment(lessThan + 2);
        } else if (isAlpha(c)) {
            isTag = readTag(lessThan, lessThan + 1, false, tag);
        } else {
            // A "<" that starts nothing is text.
            m_pos = lessThan + 1;
            continue;
        }
        if (!isTag && m_pos >= n && m_text[lessThan + 1] != '!' && m_text[lessThan + 1] != '?') {
            // The page ended inside a tag, which a browser drops: the text ends before it.
            m_textEnd = lessThan;
            return false;
        }
        tag.textStart = m_textStart;
        m_textStart = m_pos;
        if (!isTag) {
            tag.isComment = true;
            tag.isEnd = false;
            tag.isSelfClosing = false;
            tag.start = lessThan;
            tag.end = m_pos;
            tag.m_name.assign({});
            tag.m_count = 0;
        } else {
            tag.isComment = false;
        }
        return true;
    }
    m_pos = n;
    return false;
}

bool BrowserTokenizer::readTag(size_t lessThan, size_t nameStart, bool isEnd, BrowserTag& tag) {
    const std::string_view text = m_text;
    const size_t n = text.size();
    tag.isEnd = isEnd;
    tag.isSelfClosing = false;
    tag.start = lessThan;
    tag.m_count = 0;
    size_t i = nameStart;
    while (i < n && !endsName(text[i]))
        ++i;
    tag.m_name.assign(text.substr(nameStart, i - nameStart));

    enum class State { BeforeName, Name, AfterName, BeforeValue, Quoted, Unquoted, AfterQuoted, SelfClosing };
    State state = State::BeforeName;
    if (i < n && text[i] == '/')
        state = State::SelfClosing, ++i;
    else if (i < n && text[i] == '>')
        state = State::AfterName; // handled below as the end of the tag
    BrowserTag::Attribute* current = nullptr;
    bool isDuplicate = false;
    size_t valueStart = 0;
    char quote = 0;

    auto startAttribute = [&]() {
        if (tag.m_count == tag.m_attributes.size())
            tag.m_attributes.emplace_back();
        current = &tag.m_attributes[tag.m_count++];
        current->name.assign({});
        current->value = {};
    };
    // A repeated name is dropped once it is complete: the first value counts.
    auto endName = [&]() {
        isDuplicate = false;
        for (size_t k = 0; k + 1 < tag.m_count; ++k)
            if (tag.m_attributes[k].name.view() == current->name.view()) {
                isDuplicate = true;
                --tag.m_count;
                current = nullptr;
                return;
            }
    };
    auto setValue = [&](size_t end) {
        if (current && !isDuplicate)
            current->value = text.substr(valueStart, end - valueStart);
    };

    for (; i < n; ++i) {
        const char c = text[i];
        switch (state) {
        case State::BeforeName:
            if (isMarkupSpace(c))
                break;
            if (c == '/') {
                state = State::SelfClosing;
                break;
            }
            if (c == '>') {
                m_pos = i + 1;
                tag.end = m_pos;
                return true;
            }
            startAttribute();
            state = State::Name;
            --i;
            break;
        case State::Name: {
            // The first character is the name's whatever it is ("=" included); the name runs to
            // white space, "/", ">" or "=".
            size_t end = i + 1;
            while (end < n && !endsName(text[end]) && text[end] != '=')
                ++end;
            current->name.assign(text.substr(i, end - i));
            endName();
            i = end;
            if (i >= n)
                break;
            state = text[i] == '=' ? State::BeforeValue : State::AfterName;
            if (state == State::AfterName)
                --i;
            break;
        }
        case State::AfterName:
            if (isMarkupSpace(c))
                break;
            if (c == '/') {
                state = State::SelfClosing;
            } else if (c == '=') {
                state = State::BeforeValue;
            } else if (c == '>') {
                m_pos = i + 1;
                tag.end = m_pos;
                return true;
            } else {
                startAttribute();
                state = State::Name;
                --i;
            }
            break;
        case State::BeforeValue:
            if (isMarkupSpace(c))
                break;
            if (c == '"' || c == '\'') {
                quote = c;
                valueStart = i + 1;
                state = State::Quoted;
            } else if (c == '>') {
                m_pos = i + 1;
                tag.end = m_pos;
                return true;
            } else {
                valueStart = i;
                state = State::Unquoted;
            }
            break;
        case State::Quoted: {
            const size_t close = text.find(quote, i);
            if (close == std::string_view::npos) {
                i = n;
                break;
            }
            setValue(close);
            i = close;
            state = State::AfterQuoted;
            break;
        }
        case State::Unquoted:
            if (isMarkupSpace(c)) {
                setValue(i);
                state = State::BeforeName;
            } else if (c == '>') {
                setValue(i);
                m_pos = i + 1;
                tag.end = m_pos;
                return true;
            }
            break;
        case State::AfterQuoted:
            if (c == '>') {
                m_pos = i + 1;
                tag.end = m_pos;
                return true;
            }
            state = c == '/' ? State::SelfClosing : State::BeforeName;
            if (!isMarkupSpace(c) && c != '/')
                --i;
            break;
        case State::SelfClosing:
            if (c == '>') {
                tag.isSelfClosing = true;
                m_pos = i + 1;
                tag.end = m_pos;
                return true;
            }
            state = State::BeforeName;
            --i;
            break;
        }
    }
    // The page ended inside the tag: a browser drops it.
    m_pos = n;
    return false;
}

std::string_view BrowserTokenizer::skipRawText(std::string_view name) {
    const size_t from = std::min(m_pos, m_text.size());
    for (size_t at = m_text.find("</", from); at != std::string_view::npos; at = m_text.find("</", at + 2)) {
        const size_t after = at + 2 + name.size();
        if (!hasWordAt(m_text, at + 2, name) || after >= m_text.size())
            continue;
        const char c = m_text[after];
        if (!isMarkupSpace(c) && c != '/' && c != '>')
            continue;
        BrowserTag end;
        const std::string_view content = m_text.substr(from, at - from);
        if (!readTag(at, at + 2, true, end))
            m_pos = m_text.size();
        m_textStart = m_pos;
        return content;
    }
    m_pos = m_textStart = m_text.size();
    return m_text.substr(from);
}

} // namespace lurvik
