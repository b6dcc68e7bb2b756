#include "HtmlTokenizer.h"

#include <algorithm>
#include <iterator>

namespace lurvik {

namespace {

struct TagName {
    const char* name;
    int code;
};

// Sorted by name, as the binary search needs.
constexpr TagName kTags[] = {
    {"a", 12},          {"address", 14}, {"applet", 50},    {"area", 51},    {"b", 30},      {"base", 45},
    {"blockquote", 39}, {"body", 4},     {"br", 44},        {"center", 54},  {"cite", 38},   {"code", 34},
    {"dd", 21},         {"dir", 27},     {"dl", 19},        {"dt", 20},      {"em", 32},     {"font", 53},
    {"form", 42},       {"frame", 57},   {"h1", 6},         {"h2", 7},       {"h3", 8},      {"h4", 9},
    {"h5", 10},         {"h6", 11},      {"head", 5},       {"hr", 43},      {"html", 3},    {"i", 31},
    {"image", 28},      {"img", 28},     {"input", 41},     {"isindex", 25}, {"kbd", 36},    {"li", 18},
    {"listing", 24},    {"map", 52},     {"menu", 26},      {"meta", 56},    {"object", 58}, {"ol", 17},
    {"p", 13},          {"param", 55},   {"plaintext", 23}, {"pre", 22},     {"samp", 35},   {"strike", 40},
    {"strong", 33},     {"table", 46},   {"td", 47},        {"th", 49},      {"title", 2},   {"tr", 48},
    {"tt", 29},         {"ul", 16},      {"var", 37},       {"xmp", 15},
};
static_assert(std::size(kTags) == 58);

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int compareName(std::string_view name, const char* tag) {
    size_t i = 0;
    for (; i < name.size() && tag[i]; ++i) {
        char a = lowerAscii(name[i]);
        if (a != tag[i])
            return static_cast<unsigned char>(a) < static_cast<unsigned char>(tag[i]) ? -1 : 1;
    }
    if (i == name.size())
        return tag[i] ? -1 : 0;
    return 1;
}

} // namespace

int lookupTag(std::string_view name) {
    if (name.empty() || name.size() > 10)
        return TAG_UNKNOWN;
    size_t low = 0;
    size_t high = std::size(kTags);
    while (low < high) {
        size_t mid = (low + high) / 2;
        int order = compareName(name, kTags[mid].name);
        if (order == 0)
            return kTags[mid].code;
        if (order < 0)
            high = mid;
        else
            low = mid + 1;
    }
    return TAG_UNKNOWN;
}

namespace {

int findCommentClose(const Str& text, int from, CommentCloser* closer) {
    if (!closer)
        return text.find("-->", from);
    // The last search covered [searchedFrom, found): a later start inside it gets the same answer.
    if (closer->searchedFrom >= 0 && closer->searchedFrom <= from &&
        (closer->found < 0 || closer->found >= from))
        return closer->found;
    closer->searchedFrom = from;
    closer->found = text.find("-->", from);
    return closer->found;
}

} // namespace

int nextTag(const Str& text, int from, int& tagStart, int& tagEnd, int& isEndTag, int& tagCode,
            int& hasAttributes, int& attrStart, int& attrEnd, CommentCloser* closer) {
    const int length = text.len();
    const char* s = text.text();
    int lt = text.find('<', from);
    if (lt < 0 || lt >= length - 1)
        return -1;
    tagStart = lt;

    if (length - lt - 1 >= 4 && s[lt + 1] == '!' && s[lt + 2] == '-' && s[lt + 3] == '-') {
        int close = findCommentClose(text, lt + 3, closer);
        if (close >= 0) {
            tagEnd = close + 2;
            tagCode = TAG_COMMENT;
            isEndTag = 0;
            hasAttributes = 0;
            return lt;
        }
    }

    int nameStart = lt + 1;
    isEndTag = 0;
    if (s[nameStart] == '/') {
        isEndTag = 1;
        ++nameStart;
    }
    int delimiter = nameStart;
    while (delimiter < length && !isSpace(s[delimiter]) && s[delimiter] != '>')
        ++delimiter;
    bool named = delimiter > nameStart;
    tagCode = named ? lookupTag(std::string_view(s + nameStart, delimiter - nameStart)) : TAG_UNKNOWN;
    int gt = text.find('>', delimiter);
    tagEnd = gt < 0 ? length : gt;
    if (named && !isEndTag) {
        attrStart = delimiter;
        attrEnd = tagEnd - 1;
        hasAttributes = attrStart < attrEnd ? 1 : 0;
    }
    return lt;
}

void parseAttributes(const Str& text, int attrStart, int attrEnd, std::vector<Str>& names,
                     std::vector<Str>& values) {
    names.clear();
    values.clear();
    const char* s = text.text();
    attrEnd = std::min(attrEnd, text.len() - 1);
    int p = attrStart;
    while (p < attrEnd) {
        while (p <= attrEnd && isSpace(s[p]))
            ++p;
        if (p > attrEnd)
            break;
        int nameStart = p++;
        while (p <= attrEnd && !isSpace(s[p]) && s[p] != '=')
            ++p;
        Str name(s + nameStart, p - nameStart);

        int valueStart = -1;
        if (p <= attrEnd && s[p] == '=') {
            valueStart = p + 1;
        } else if (p <= attrEnd && isSpace(s[p]) && p < attrEnd - 2 && s[p + 1] == '=') {
            int equals = p + 1;
            valueStart = equals + 1;
            if (equals < attrEnd - 2 && isSpace(s[equals + 1]))
                valueStart = equals + 2;
        }
        if (valueStart < 0) {
            names.push_back(std::move(name));
            values.emplace_back();
            continue;
        }

        Str value;
        if (valueStart > attrEnd) {
            p = valueStart;
        } else if (s[valueStart] == '"' || s[valueStart] == '\'') {
            int close = text.find(s[valueStart], valueStart + 1);
            if (close < 0 || close > attrEnd)
                return;
            value.cpy(s + valueStart + 1, close - valueStart - 1);
            p = close + 1;
        } else if (isSpace(s[valueStart])) {
            p = valueStart + 1;
        } else {
            int end = valueStart;
            while (end <= attrEnd && !isSpace(s[end]))
                ++end;
            value.cpy(s + valueStart, end - valueStart);
            p = end;
        }
        if (!name.isEmpty()) {
            names.push_back(std::move(name));
            values.push_back(std::move(value));
        }
    }
}

int getAttribute(const std::vector<Str>& names, const std::vector<Str>& values, std::string_view name,
                 Str& out) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].icmp(name) == 0) {
            out = values[i];
            return out.isEmpty() ? 0 : 1;
        }
    }
    out.clear();
    return 0;
}

} // namespace lurvik
