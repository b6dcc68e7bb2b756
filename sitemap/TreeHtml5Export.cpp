#include "TreeHtml5Export.h"

#include "TreeHtmlExport.h"
#include "core/HtmlEscape.h"
#include "core/OutputFrogFile.h"

#include <functional>
#include <vector>

namespace lurvik {

namespace {

constexpr const char* kStyle = "body{font-family:system-ui,sans-serif;margin:2em;line-height:1.45;color:#222}"
                               "ul{list-style:none;margin:0;padding-left:1.3em;border-left:1px solid #ddd}"
                               "body>ul{border:none;padding:0}"
                               "a{color:#0b4f9c;text-decoration:none}a:hover{text-decoration:underline}"
                               ".failed>a{color:#a00}.status{color:#a00;font-size:.9em;margin-left:.5em}";

// The opening of one item's entry, the <li> left open for its children.
void appendEntry(std::string& out, const SiteNode& node) {
    const bool failed = node.state == NODE_ERROR;
    out += failed ? "<li class=\"failed\"><a href=\"" : "<li><a href=\"";
    appendEscapedHtml(node.url.text(), out);
    out += "\">";
    appendEscapedHtml(itemText(node), out);
    out += "</a>";
    if (failed) {
        out += " <span class=\"status\">Failed";
        if (node.httpStatus != 0)
            out += " (" + std::to_string(node.httpStatus) + ")";
        if (!node.title.isEmpty()) {
            out += ": ";
            appendEscapedHtml(node.title.view(), out);
        }
        out += "</span>";
    }
}

// Writes the entries of item's children and everything below them; each <ul> is inside the <li>
// of its parent, as the list's grammar wants. An explicit stack: a chain of pages may be deeper
// than any thread's stack.
void appendChildren(std::string& out, const TreeItems& tree, TreeItems::Item item,
                    const std::function<void()>& drain) {
    struct Frame {
        TreeItems::Item item;
        int next;
    };
    out += "<ul>\n";
    std::vector<Frame> stack{{item, 0}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == tree.childCount(frame.item)) {
            stack.pop_back();
            out += stack.empty() ? "</ul>\n" : "</ul></li>\n";
            continue;
        }
        drain();
        TreeItems::Item child = tree.child(frame.item, frame.next++);
        const SiteNode* node = tree.node(child);
        // An item without a page is left out with everything below it, as in the other form.
        if (!node)
            continue;
        appendEntry(out, *node);
        if (tree.childCount(child) == 0) {
            out += "</li>\n";
            continue;
        }
        out += "\n<ul>\n";
        stack.push_back({child, 0});
    }
}

} // namespace

int exportTreeHtml5(std::string_view path, const TreeItems& tree, TreeItems::Item start, Str* errorText) {
    OutputFrogFile file(path);
    if (!file.isOpen()) {
        if (errorText)
            *errorText = file.errorText();
        return 1;
    }
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<title>Lurvik Tree</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<h1>Lurvik Tree</h1>\n";
    int failed = 0;
    auto drain = [&] {
        if (out.size() >= (64 << 10)) {
            failed = failed ? failed : file.write(out.data(), static_cast<int>(out.size()));
            out.clear();
        }
    };
    if (start == tree.top()) {
        if (tree.childCount(start) == 0)
            out += "<p>The tree holds no pages.</p>\n";
        else
            appendChildren(out, tree, start, drain);
    } else if (const SiteNode* node = tree.node(start)) {
        out += "<ul>\n";
        appendEntry(out, *node);
        if (tree.childCount(start) > 0) {
            out += "\n";
            appendChildren(out, tree, start, drain);
        }
        out += "</li>\n</ul>\n";
    }
    out +=
        "<p>Made with <a href=\"" + std::string(kLurvikHomePage) + "\">Lurvik</a>.</p>\n</body>\n</html>\n";
    if (failed != 0 || file.write(out.data(), static_cast<int>(out.size())) != 0 || file.close() != 0) {
        if (errorText)
            *errorText = file.errorText();
        return 1;
    }
    return 0;
}

} // namespace lurvik
