#include "ExportCommand.h"

#include "CliCommon.h"
#include "CrawlReports.h"
#include "SiteMapFiles.h"
#include "SiteOfThisRun.h"
#include "core/HtmlEscape.h"
#include "core/OutputFrogFile.h"
#include "core/Utf8.h"
#include "sitemap/MapOutline.h"
#include "sitemap/OutlineTree.h"
#include "sitemap/TreeHtml5Export.h"
#include "sitemap/TreeHtmlExport.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace lurvik::cli {

namespace {

constexpr const char* kUsage =
    "usage: lurvik-cli export site.web [--sitemap-xml FILE] [--csv FILE] [--html FILE] [--html5 FILE]\n";

// An HTTP date ("Tue, 01 Dec 2026 10:00:00 GMT") as a W3C date ("2026-12-01"); empty when it
// does not read as one.
std::string w3cDate(const Str& httpDate) {
    std::tm time{};
    const char* end = strptime(httpDate.text(), "%a, %d %b %Y %H:%M:%S", &time);
    if (!end)
        return {};
    char out[16];
    std::strftime(out, sizeof out, "%Y-%m-%d", &time);
    return out;
}

// The sitemap.xml of pages, each given as (address, state, Last-Modified).
template <class ForEachPage>
int writeSitemapXml(const ForEachPage& forEachPage, const std::string& path, std::string& error) {
    OutputFrogFile file(path);
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    forEachPage([&](const URL& url, int state, const Str& lastModified) {
        if (state != NODE_DONE || !url.isHtml())
            return;
        text += "  <url><loc>";
        // An address holds no control character (they are percent-encoded), so what is left to
        // escape for XML is what HTML escapes.
        appendEscapedHtml(url.view(), text);
        text += "</loc>";
        std::string date = w3cDate(lastModified);
        if (!date.empty())
            text += "<lastmod>" + date + "</lastmod>";
        text += "</url>\n";
    });
    text += "</urlset>\n";
    if (!file.isOpen() || file.write(text.data(), static_cast<int>(text.size())) != 0 || file.close() != 0) {
        error = file.errorText().str();
        return 1;
    }
    return 0;
}

// Every export from the map read as an outline: no page's node is made but the one being
// written, so a million-page map is exported in the memory its outline takes.
int exportFromOutline(const std::string& map, const std::string& xml, const std::string& csv,
                      const std::string& html, const std::string& html5) {
    MapOutline outline;
    outline.storesPages = false;
    if (openMapOutline(outline, map, siteOfThisRun()) != 0)
        return ExitFailed;
    std::string error;
    auto forEachPage = [&outline](const auto& write) {
        URL url;
        for (int page = 0; page < outline.pageCount(); ++page) {
            if (outline.state(page) != NODE_DONE)
                continue;
            url.setNormalisedURL(outline.url(page), URL(url));
            write(url, outline.state(page), Str(outline.lastModified(page)));
        }
    };
    if (!xml.empty() && writeSitemapXml(forEachPage, xml, error) != 0) {
        printError("cannot write " + xml + ": " + error);
        return ExitFailed;
    }
    if (!csv.empty() && writePageReport(outline, csv, ReportFormat::Csv, error) != 0) {
        printError("cannot write " + csv + ": " + error);
        return ExitFailed;
    }
    if (html.empty() && html5.empty())
        return ExitOk;
    OutlineTree tree(outline);
    for (const std::string* name : {&html, &html5}) {
        if (name->empty())
            continue;
        Str htmlError;
        const int result = name == &html ? exportTreeHtml(*name, tree, tree.top(), &htmlError)
                                         : exportTreeHtml5(*name, tree, tree.top(), &htmlError);
        if (result != 0) {
            printError("cannot write " + *name + ": " + htmlError.str());
            return ExitFailed;
        }
    }
    return ExitOk;
}

} // namespace

int runExport(int argc, char** argv) {
    std::string map;
    std::string xml;
    std::string csv;
    std::string html;
    std::string html5;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--sitemap-xml" || arg == "--csv" || arg == "--html" || arg == "--html5") &&
            i + 1 < argc) {
            (arg == "--csv" ? csv : arg == "--html" ? html : arg == "--html5" ? html5 : xml) = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && map.empty()) {
            map = arg;
        } else {
            printError("unexpected or incomplete option '" + arg + "'");
            std::fputs(kUsage, stderr);
            return ExitUsage;
        }
    }
    if (map.empty() || (xml.empty() && csv.empty() && html.empty() && html5.empty())) {
        printError(map.empty() ? "no site map given"
                               : "nothing to export: give --sitemap-xml, --csv, --html or --html5");
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }
    return exportFromOutline(map, xml, csv, html, html5);
}

} // namespace lurvik::cli
