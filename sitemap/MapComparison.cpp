#include "MapComparison.h"

#include "SiteMapFile.h"
#include "core/HtmlEscape.h"
#include "core/OutputFrogFile.h"
#include "retrieval/Verdict.h"

#include <algorithm>
#include <map>

namespace lurvik {

namespace {

// What one crawl says of a page or checked link: its state and status in the link report's
// words, and its verdict. The texts are views of the crawl's own pages and records, which outlive
// the comparison: a copy of every link's address in a set of its own took gigabytes for two crawls
// of a million pages.
struct Seen {
    std::string state;
    Verdict verdict = Verdict::Ok;
    std::string_view title;
    std::vector<std::string_view> links; // each once, in order
    bool isPage = false;
};

std::string described(const Seen& seen) {
    return seen.state + " " + verdictName(seen.verdict);
}

std::map<std::string_view, Seen> gather(const ComparedCrawl& crawl) {
    std::map<std::string_view, Seen> seen;
    crawl.engine->doneNodes.forEach([&](SiteNode* node) {
        const int state = node->state;
        if (state != NODE_DONE && state != NODE_ERROR)
            return;
        Seen& page = seen[node->url.resourceKey()];
        page.isPage = true;
        const bool failed = state == NODE_ERROR;
        page.state = std::string(failed ? "failed" : "done") +
                     (node->httpStatus > 0 ? " " + std::to_string(node->httpStatus) : "");
        page.verdict = verdictOf(failed, node->httpStatus, node->title.view());
        if (!failed)
            page.title = node->title.view();
        for (const LinkRecord& link : node->links)
            if (!link.url.view().empty())
                page.links.push_back(link.url.view());
        std::sort(page.links.begin(), page.links.end());
        page.links.erase(std::unique(page.links.begin(), page.links.end()), page.links.end());
    });
    if (crawl.checkedLinks)
        for (const CheckedLink& link : *crawl.checkedLinks) {
            Seen& checked = seen[link.url];
            if (checked.isPage)
                continue;
            checked.state = std::string(link.failed ? "broken" : "checked") +
                            (link.status > 0 ? " " + std::to_string(link.status) : "");
            checked.verdict = verdictOf(link.failed, link.status, link.errorText.view());
        }
    return seen;
}

void compareLinks(std::string_view url, const Seen& before, const Seen& after, bool withLinks,
                  std::vector<MapChange>& out) {
    std::vector<std::string_view> came, went;
    std::set_difference(after.links.begin(), after.links.end(), before.links.begin(), before.links.end(),
                        std::back_inserter(came));
    std::set_difference(before.links.begin(), before.links.end(), after.links.begin(), after.links.end(),
                        std::back_inserter(went));
    if (came.empty() && went.empty())
        return;
    out.push_back({MapChange::Kind::Links, std::string(url), std::to_string(before.links.size()) + " links",
                   std::to_string(after.links.size()) + " links",
                   "+" + std::to_string(came.size()) + " -" + std::to_string(went.size())});
    if (!withLinks)
        return;
    for (std::string_view link : came)
        out.push_back({MapChange::Kind::LinkAdded, std::string(link), "", "", std::string(url)});
    for (std::string_view link : went)
        out.push_back({MapChange::Kind::LinkRemoved, std::string(link), "", "", std::string(url)});
}

std::string escaped(const std::string& text) {
    std::string out;
    appendEscapedHtml(text, out);
    return out;
}

} // namespace

const char* changeName(MapChange::Kind kind) {
    switch (kind) {
    case MapChange::Kind::Broken:
        return "broken";
    case MapChange::Kind::Fixed:
        return "fixed";
    case MapChange::Kind::Status:
        return "status";
    case MapChange::Kind::Added:
        return "added";
    case MapChange::Kind::Removed:
        return "removed";
    case MapChange::Kind::Title:
        return "title";
    case MapChange::Kind::Links:
        return "links";
    case MapChange::Kind::LinkAdded:
        return "link-added";
    case MapChange::Kind::LinkRemoved:
        return "link-removed";
    }
    return "";
}

std::vector<MapChange> compareCrawls(const ComparedCrawl& older, const ComparedCrawl& newer, bool withLinks) {
    const std::map<std::string_view, Seen> before = gather(older);
    const std::map<std::string_view, Seen> after = gather(newer);
    std::vector<MapChange> broken, rest;
    auto compare = [&](std::string_view view, const Seen* was, const Seen* is) {
        const std::string url(view);
        const bool wasBroken = was && was->verdict == Verdict::Broken;
        const bool isBroken = is && is->verdict == Verdict::Broken;
        const std::string wasText = was ? described(*was) : "";
        const std::string isText = is ? described(*is) : "";
        if (isBroken && !wasBroken)
            broken.push_back({MapChange::Kind::Broken, url, wasText, isText, ""});
        else if (was && is && wasBroken && !isBroken)
            rest.push_back({MapChange::Kind::Fixed, url, wasText, isText, ""});
        else if (was && is && wasText != isText)
            rest.push_back({MapChange::Kind::Status, url, wasText, isText, ""});
        // A checked link that one crawl did not check is no change of the site.
        const bool isPage = (was && was->isPage) || (is && is->isPage);
        if (!isPage)
            return;
        if (!was)
            rest.push_back({MapChange::Kind::Added, url, "", isText, std::string(is->title)});
        else if (!is)
            rest.push_back({MapChange::Kind::Removed, url, wasText, "", std::string(was->title)});
        if (was && is && was->isPage && is->isPage) {
            if (was->title != is->title)
                rest.push_back(
                    {MapChange::Kind::Title, url, std::string(was->title), std::string(is->title), ""});
            compareLinks(url, *was, *is, withLinks, rest);
        }
    };
    for (const auto& [url, was] : before) {
        auto found = after.find(url);
        if (found == after.end() && !was.isPage)
            continue;
        compare(url, &was, found == after.end() ? nullptr : &found->second);
    }
    for (const auto& [url, is] : after)
        if (!before.count(url))
            compare(url, nullptr, &is);
    broken.insert(broken.end(), rest.begin(), rest.end());
    return broken;
}

std::string comparisonPage(const std::string& older, const std::string& newer,
                           const std::vector<MapChange>& changes) {
    const std::string heading = "Changes from " + escaped(older) + " to " + escaped(newer);
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                       heading +
                       "</title>\n<style>\nbody{font-family:sans-serif;margin:2em}\n"
                       "table{border-collapse:collapse}\nth,td{border:1px solid #ccc;padding:.3em .6em;"
                       "text-align:left;vertical-align:top}\ntr.broken td{background:#fde8e8}\n</style>\n"
                       "</head>\n<body>\n<h1>" +
                       heading + "</h1>\n<p>" + std::to_string(changes.size()) + " change(s).</p>\n";
    if (!changes.empty()) {
        page += "<table>\n<thead><tr><th>change</th><th>address</th><th>before</th><th>after</th>"
                "<th>detail</th></tr></thead>\n<tbody>\n";
        for (const MapChange& change : changes) {
            const bool isBroken = change.kind == MapChange::Kind::Broken;
            page += std::string(isBroken ? "<tr class=\"broken\">" : "<tr>") + "<td>" +
                    changeName(change.kind) + "</td><td><a href=\"" + escaped(change.url) + "\">" +
                    escaped(change.url) + "</a></td><td>" + escaped(change.before) + "</td><td>" +
                    escaped(change.after) + "</td><td>" + escaped(change.detail) + "</td></tr>\n";
        }
        page += "</tbody>\n</table>\n";
    }
    return page + "</body>\n</html>\n";
}

int writeComparisonPage(std::string_view path, const std::string& older, const std::string& newer,
                        const std::vector<MapChange>& changes, Str& errorText) {
    const std::string page = comparisonPage(older, newer, changes);
    OutputFrogFile file(path);
    if (!file.isOpen() || file.write(page.data(), static_cast<int>(page.size())) != 0 || file.close() != 0) {
        errorText = file.errorText();
        return 1;
    }
    return 0;
}

int compareMapFiles(const std::string& older, const std::string& newer, bool withLinks,
                    std::vector<MapChange>& out, std::string& errorText) {
    auto open = [&errorText](SiteMapAside& site, const std::string& fileName) {
        const int result = site.open(fileName);
        if (result != 0)
            errorText = "cannot open " + fileName + ": " + site.map.failureText(result);
        return result == 0;
    };
    SiteMapAside olderSite;
    SiteMapAside newerSite;
    if (!open(olderSite, older) || !open(newerSite, newer))
        return 1;
    out = compareCrawls({&olderSite.engine, &olderSite.map.checkedLinks},
                        {&newerSite.engine, &newerSite.map.checkedLinks}, withLinks);
    return 0;
}

} // namespace lurvik
