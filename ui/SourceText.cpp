#include "SourceText.h"

#include "analysis/HtmlTokenizer.h"
#include "analysis/TextDecoder.h"
#include "retrieval/SiteNode.h"

namespace lurvik {

void removeTags(const Str& html, Str& out) {
    out.clear();
    int from = 0;
    int runStart = 0;
    for (;;) {
        int tagStart = 0, tagEnd = 0, isEnd = 0, code = 0, hasAttributes = 0, attrStart = 0, attrEnd = 0;
        int at = nextTag(html, from, tagStart, tagEnd, isEnd, code, hasAttributes, attrStart, attrEnd);
        if (at < 0)
            break;
        std::string_view run = html.view().substr(runStart, at - runStart);
        if (run != "\r\n")
            out.cat(run);
        runStart = tagEnd + 1 < html.len() ? tagEnd + 1 : html.len();
        from = runStart;
        if (from >= html.len())
            break;
    }
}

QString loadSourceText(const SiteNode& node, bool showTags) {
    Str reply;
    if (pageText(node, reply, true, true) != 0)
        return {};
    std::string charset = detectCharset(reply);
    int start = reply.find('<');
    Str body;
    if (start > 0)
        reply.substr(start, body);
    else
        body = reply;
    Str shown;
    if (showTags)
        shown = body;
    else
        removeTags(body, shown);
    TextDecoder decoder(charset);
    Str decoded;
    decoder.decode(shown.view(), decoded);
    return QString::fromUtf8(decoded.text(), decoded.len());
}

} // namespace lurvik
