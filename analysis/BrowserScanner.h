#pragma once

#include "HtmlScanner.h"

namespace lurvik {

// scanPage's modern reading: the page as a browser reads it. Tags and attributes follow the HTML
// standard's tokenizer; the text of script, style, title and the like is not markup; links resolve
// against the first <base href> and otherwise the address the page was served from; the first
// title counts; the resources a browser fetches (scripts, stylesheets, icons, inline frames,
// srcset candidates, media, objects, a meta refresh, url() in styles) are links of their own
// kinds. Elements a browser never builds (inside <template>, frames outside a frameset) give
// nothing. Each link keeps the line it was written on.
int scanAsBrowser(const Str& reply, const URL& pageURL, Str& title, LinkList& links, Str& labels,
                  ScanControl* control);

} // namespace lurvik
