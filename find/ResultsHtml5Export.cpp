#include "ResultsHtml5Export.h"

#include "ResultsExport.h"
#include "core/HtmlEscape.h"
#include "core/OutputFrogFile.h"

#include <string>

namespace lurvik {

namespace {

constexpr const char* kStyle = "body{font-family:system-ui,sans-serif;margin:2em;line-height:1.45;color:#222}"
                               "ol{padding-left:2.5em}li{margin:.15em 0}"
                               "a{color:#0b4f9c;text-decoration:none}a:hover{text-decoration:underline}"
                               ".type{color:#555;font-size:.9em;margin-left:.5em}"
                               ".url{display:block;color:#555;font-size:.85em;word-break:break-all}";

} // namespace

int exportResultsHtml5(const std::vector<const LinkRecord*>& rows, const Str& fileName) {
    OutputFrogFile file;
    if (file.open(fileName.view()) != 0 || !file.isOpen())
        return 1;
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<title>Lurvik Find Results</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<h1>Lurvik Find Results</h1>\n";
    std::string list;
    int count = 0;
    Str type;
    for (const LinkRecord* row : rows) {
        if (!row)
            break;
        ++count;
        const std::string url = row->url.text();
        list += "<li><a href=\"";
        appendEscapedHtml(url, list);
        list += "\">";
        appendEscapedHtml(row->text.isEmpty() ? std::string_view(url) : row->text.view(), list);
        list += "</a>";
        row->typeName(type);
        if (!type.isEmpty()) {
            list += " <span class=\"type\">";
            appendEscapedHtml(type.view(), list);
            list += "</span>";
        }
        list += " <span class=\"url\">";
        appendEscapedHtml(url, list);
        list += "</span></li>\n";
    }
    out += "<p>" + std::to_string(count) + (count == 1 ? " result" : " results") + ".</p>\n";
    if (count > 0)
        out += "<ol>\n" + list + "</ol>\n";
    out +=
        "<p>Made with <a href=\"" + std::string(kMakerWebAddress) + "\">Lurvik</a>.</p>\n</body>\n</html>\n";
    if (file.write(out.data(), static_cast<int>(out.size())) != 0)
        return 1;
    return file.close() != 0 ? 1 : 0;
}

} // namespace lurvik
