#include "TreeHtmlExport.h"

#include "core/OutputFrogFile.h"

#include <functional>
#include <vector>

namespace lurvik {

std::string itemText(const SiteNode& node) {
    if (node.state == NODE_DONE && !node.title.isEmpty())
        return node.title.str();
    return node.url.text();
}

namespace {

// The entry of one item at depth (1 for the first level), or false when the item has no page.
bool appendEntry(std::string& out, const SiteNode* node, int depth) {
    if (!node)
        return false;
    std::string label = itemText(*node);
    // A label that holds markup would break the list; the text is not escaped otherwise.
    if (label.find_first_of("<>") != std::string::npos)
        label = "<I>No Title</I>";
    Str url;
    node->url.getURLString(url, 1);
    out.append(static_cast<size_t>(depth), ' ');
    out += "<LI>";
    if (node->state == NODE_ERROR)
        out += "<FONT COLOR=#FF0000><B>Error: </B></FONT>";
    out += "<A HREF=" + url.str() + ">" + label + "</A>\r\n";
    return true;
}

// The list below item, children at depth + 1, walked with a stack of its own: a chain of pages may
// be deeper than any thread's stack. Each frame is an item whose children are being written.
void appendChildren(std::string& out, const TreeItems& tree, TreeItems::Item item, int depth,
                    const std::function<void()>& drain) {
    struct Frame {
        TreeItems::Item item;
        int depth;
        int next;
    };
    if (tree.childCount(item) == 0)
        return;
    out.append(static_cast<size_t>(depth), ' ');
    out += "<UL>\r\n";
    std::vector<Frame> stack{{item, depth, 0}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == tree.childCount(frame.item)) {
            out.append(static_cast<size_t>(frame.depth), ' ');
            out += "</UL>\r\n";
            stack.pop_back();
            continue;
        }
        drain();
        TreeItems::Item child = tree.child(frame.item, frame.next++);
        int childDepth = frame.depth + 1;
        // An item without a page is left out with everything below it.
        if (!appendEntry(out, tree.node(child), childDepth) || tree.childCount(child) == 0)
            continue;
        out.append(static_cast<size_t>(childDepth), ' ');
        out += "<UL>\r\n";
        stack.push_back({child, childDepth, 0});
    }
}

} // namespace

int exportTreeHtml(std::string_view path, const TreeItems& tree, TreeItems::Item start, Str* errorText) {
    OutputFrogFile file(path);
    if (!file.isOpen()) {
        if (errorText)
            *errorText = file.errorText();
        return 1;
    }
    std::string out = "<HTML><TITLE>Lurvik Tree</TITLE><BODY>\r\n";
    int failed = 0;
    // A tree of a million pages need not be held twice: the text goes out in pieces.
    auto drain = [&] {
        if (out.size() >= (64 << 10)) {
            failed = failed ? failed : file.write(out.data(), static_cast<int>(out.size()));
            out.clear();
        }
    };
    out += "<H2><A HREF=" + std::string(kLurvikHomePage) + ">Lurvik</A></H2>\r\n";
    if (start == tree.top()) {
        appendChildren(out, tree, start, 0, drain);
    } else {
        out += "<UL>\r\n";
        if (appendEntry(out, tree.node(start), 1))
            appendChildren(out, tree, start, 1, drain);
        out += "</UL>\r\n";
    }
    out += "</BODY></HTML>\r\n";
    if (failed != 0 || file.write(out.data(), static_cast<int>(out.size())) != 0 || file.close() != 0) {
        if (errorText)
            *errorText = file.errorText();
        return 1;
    }
    return 0;
}

} // namespace lurvik
