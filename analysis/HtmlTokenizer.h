#pragma once

#include "core/PtrList.h"
#include "core/Str.h"

#include <vector>

namespace lurvik {

// Tag codes of the recognised tags; 1 is a comment and -1 an unknown or unnamed tag.
enum TagCode {
    TAG_UNKNOWN = -1,
    TAG_COMMENT = 1,
    TAG_TITLE = 2,
    TAG_HTML = 3,
    TAG_BODY = 4,
    TAG_HEAD = 5,
    TAG_A = 12,
    TAG_IMG = 28,
    TAG_BASE = 45,
    TAG_APPLET = 50,
    TAG_AREA = 51,
    TAG_MAP = 52,
    TAG_META = 56,
    TAG_FRAME = 57,
    TAG_OBJECT = 58,
};

int lookupTag(std::string_view name);

// Remembers where the last search for a comment's "-->" ended, so that a page full of comments
// that are never closed is searched once rather than once per comment. One per pass over a text.
struct CommentCloser {
    int searchedFrom = -1;
    int found = -1;
};

// Finds the next tag at or after from. Returns the position of its "<", or -1 when there is none.
// tagEnd is the position of its ">" (the text length when it has none). For a named start tag,
// attrStart/attrEnd bound the attribute text and hasAttributes says whether there is any; for
// end tags and unnamed tags those three are left as they were.
int nextTag(const Str& text, int from, int& tagStart, int& tagEnd, int& isEndTag, int& tagCode,
            int& hasAttributes, int& attrStart, int& attrEnd, CommentCloser* closer = nullptr);

// Splits the attribute text from attrStart to attrEnd (inclusive) into names and values, kept as
// written. Tolerates one white-space character on each side of "=", not more.
void parseAttributes(const Str& text, int attrStart, int attrEnd, std::vector<Str>& names,
                     std::vector<Str>& values);

// The value of the first attribute named name (case ignored); 1 when it is not empty. An
// attribute given with an empty value therefore counts as absent.
int getAttribute(const std::vector<Str>& names, const std::vector<Str>& values, std::string_view name,
                 Str& out);

} // namespace lurvik
