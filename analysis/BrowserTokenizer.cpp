#include "BrowserTokenizer.h"

#include <algorithm>
#include <cstring>

namespace lurvik {

namespace {

// The input stream turns every CR into a line feed before the tokenizer sees it, so CR is white
// space wherever the standard names tab, line feed, form feed and space.
bool isSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
    if (text.size() - std::min(at, text.size()) < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[at + i]) != prefix[i])
            return false;
    return true;
}

} // namespace

const std::string_view* BrowserTag::attribute(std::string_view wanted) const {
    for (size_t i = 0; i < m_count; ++i)
        if (m_attributes[i].name == wanted)
            return &m_attributes[i].value;
    return nullptr;
}

int BrowserTokenizer::lineAt(size_t position) {
    position = std::min(position, m_text.size());
    if (position > m_linePos) {
        m_line += static_cast<int>(std::count(m_text.begin() + m_linePos, m_text.begin() + position, '\n'));
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
        if (c == '!') {
            if (m_text.substr(lessThan + 2, 2) == "--")
                skipComment(lessThan + 4);
            else
                skipBogusComment(lessThan + 2);
        } else if (c == '?') {
            skipBogusComment(lessThan + 2);
        } else if (c == '/') {
            const size_t nameStart = lessThan + 2;
            if (nameStart >= n)
                break;
            if (isAlpha(m_text[nameStart])) {
                if (readTag(lessThan, nameStart, true, tag))
                    return true;
            } else if (m_text[nameStart] == '>') {
                m_pos = nameStart + 1;
            } else {
                skipBogusComment(nameStart);
            }
        } else if (isAlpha(c)) {
            if (readTag(lessThan, lessThan + 1, false, tag))
                return true;
        } else {
            m_pos = lessThan + 1;
        }
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
    tag.name.clear();
    size_t i = nameStart;
    while (i < n && !isSpace(text[i]) && text[i] != '/' && text[i] != '>')
        tag.name += lower(text[i++]);

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
        current->name.clear();
        current->value = {};
    };
    // A repeated name is dropped once it is complete: the first value counts.
    auto endName = [&]() {
        isDuplicate = false;
        for (size_t k = 0; k + 1 < tag.m_count; ++k)
            if (tag.m_attributes[k].name == current->name) {
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
            if (isSpace(c))
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
            current->name += lower(c);
            state = State::Name;
            break;
        case State::Name:
            if (isSpace(c) || c == '/' || c == '>') {
                endName();
                state = State::AfterName;
                --i;
            } else if (c == '=') {
                endName();
                state = State::BeforeValue;
            } else {
                current->name += lower(c);
            }
            break;
        case State::AfterName:
            if (isSpace(c))
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
                current->name += lower(c);
                state = State::Name;
            }
            break;
        case State::BeforeValue:
            if (isSpace(c))
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
            if (isSpace(c)) {
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
            if (!isSpace(c) && c != '/')
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
        if (!startsWithNoCase(m_text, at + 2, name) || after >= m_text.size())
            continue;
        const char c = m_text[after];
        if (!isSpace(c) && c != '/' && c != '>')
            continue;
        BrowserTag end;
        const std::string_view content = m_text.substr(from, at - from);
        if (!readTag(at, at + 2, true, end))
            m_pos = m_text.size();
        return content;
    }
    m_pos = m_text.size();
    return m_text.substr(from);
}

} // namespace lurvik
