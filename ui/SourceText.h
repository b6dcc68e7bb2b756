#pragma once

#include "core/Str.h"

#include <QString>

namespace lurvik {

class SiteNode;

// The page's source as the HTML view shows it: the cached reply from its first "<", decoded from
// the page's charset, with or without its tags. Empty when the page is not in the cache.
QString loadSourceText(const SiteNode& node, bool showTags);

// The text between the tags: each run before a tag is kept unless it is exactly a line break, and
// the text after the last tag is dropped.
void removeTags(const Str& html, Str& out);

} // namespace lurvik
