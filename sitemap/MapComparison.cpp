#include "MapComparison.h"

#include "MapLinkReader.h"
#include "MapOutline.h"
#include "SiteMapFile.h"
#include "core/HtmlEscape.h"
#include "core/OutputFrogFile.h"
#include "core/TextIndex.h"
#include "retrieval/Verdict.h"

#include <algorithm>
#include <deque>
#include <map>

namespace lurvik {

namespace {

// The texts two crawls name, each kept once: a page's address is also that of every link to it.
class Texts {
public:
    uint32_t id(std::string_view text) {
        const uint64_t hash = Index::hashOf(text);
        if (const Entry* found = m_ids.find(text, hash))
            return found->id;
        m_texts.emplace_back(text);
        const auto id = static_cast<uint32_t>(m_texts.size() - 1);
        m_ids.insert({m_texts.back().data(), static_cast<uint32_t>(text.size()), id});
        return id;
    }
    std::string_view text(uint32_t id) const { return m_texts[id]; }
    std::string_view keep(std::string_view text) { return this->text(id(text)); }

private:
    // Two crawls of a million pages name some thirty million links, each looked up here: a flat
    // index, not a map with a node for every text.
    struct Entry {
        const char* text = nullptr;
        uint32_t length = 0;
        uint32_t id = 0;
    };
    struct KeyOf {
        std::string_view operator()(const Entry& entry) const { return {entry.text, entry.length}; }
    };
    using Index = TextIndex<Entry, KeyOf>;

    std::deque<std::string> m_texts; // never moved, so the index may point into them
    Index m_ids;
};

// What one crawl says of a page or checked link: its state and status in the link report's
// words, and its verdict. A crawl is kept as little more than its texts' numbers: two crawls of a
// million pages, each link's address copied into a set of its own, took gigabytes.
struct Seen {
    std::string state;
    Verdict verdict = Verdict::Ok;
    std::string_view title;
    std::vector<uint32_t> links; // each once, by number
    bool isPage = false;
};
using Crawl = std::map<std::string_view, Seen>; // by address

std::string described(const Seen& seen) {
    return seen.state + " " + verdictName(seen.verdict);
}

void addPage(Crawl& crawl, Texts& texts, std::string_view address, bool failed, int httpStatus,
             std::string_view title, const LinkList& links) {
    Seen& page = crawl[texts.keep(address)];
    page.isPage = true;
    page.state =
        std::string(failed ? "failed" : "done") + (httpStatus > 0 ? " " + std::to_string(httpStatus) : "");
    page.verdict = verdictOf(failed, httpStatus, title);
    if (!failed)
        page.title = texts.keep(title);
    for (const LinkRecord& link : links)
        if (!link.url.view().empty())
            page.links.push_back(texts.id(link.url.view()));
    std::sort(page.links.begin(), page.links.end());
    page.links.erase(std::unique(page.links.begin(), page.links.end()), page.links.end());
}

void addCheckedLinks(Crawl& crawl, Texts& texts, const std::vector<CheckedLink>& checkedLinks) {
    for (const CheckedLink& link : checkedLinks) {
        Seen& checked = crawl[texts.keep(link.url)];
        if (checked.isPage)
            continue;
        checked.state = std::string(link.failed ? "broken" : "checked") +
                        (link.status > 0 ? " " + std::to_string(link.status) : "");
        checked.verdict = verdictOf(link.failed, link.status, link.errorText.view());
    }
}

Crawl gather(const ComparedCrawl& crawl, Texts& texts) {
    Crawl seen;
    crawl.engine->doneNodes.forEach([&](SiteNode* node) {
        const int state = node->state;
        if (state == NODE_DONE || state == NODE_ERROR)
            addPage(seen, texts, node->url.resourceKey(), state == NODE_ERROR, node->httpStatus,
                    node->title.view(), node->links);
    });
    if (crawl.checkedLinks)
        addCheckedLinks(seen, texts, *crawl.checkedLinks);
    return seen;
}

// A saved map gathered as a load would give it, but read as an outline and its links a page at a
// time: a million-page map loaded whole took gigabytes. 0, or 1 with why in reason.
int gatherMap(const std::string& fileName, Texts& texts, Crawl& seen, std::string& reason,
              std::vector<std::string>* warnings) {
    EngineAside aside;
    MapOutline outline;
    outline.storesPages = false;
    outline.replyTypes = MapOutline::ReplyTypes::Ignore;
    const int result = outline.open(fileName, aside.engine);
    if (result != 0) {
        reason = outline.failureText(result);
        return 1;
    }
    if (warnings && !outline.extensionWarning.isEmpty())
        warnings->push_back(outline.extensionWarning.str());
    MapLinkReader reader;
    SiteNode page;
    const LinkList noLinks; // a failed page's
    if (reader.open(fileName, outline.resourceKinds, MapLinkReader::Texts::Skip) != 0) {
        reason = fileName + " is damaged or cut short";
        return 1;
    }
    for (int i = 0; i < outline.pageCount(); ++i) {
        if (i < outline.savedCount() && reader.next(page) != 0) {
            reason = fileName + " is damaged or cut short";
            return 1;
        }
        addPage(seen, texts, outline.key(i), outline.state(i) == NODE_ERROR, outline.httpStatus(i),
                outline.title(i), i < outline.savedCount() ? page.links : noLinks);
    }
    addCheckedLinks(seen, texts, outline.checkedLinks);
    return 0;
}

void compareLinks(std::string_view url, const Seen& before, const Seen& after, const Texts& texts,
                  bool withLinks, std::vector<MapChange>& out) {
    std::vector<uint32_t> came, went;
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
    // Listed in the order of their addresses; only the few that differ are put in it.
    auto byText = [&texts](uint32_t a, uint32_t b) { return texts.text(a) < texts.text(b); };
    std::sort(came.begin(), came.end(), byText);
    std::sort(went.begin(), went.end(), byText);
    for (uint32_t link : came)
        out.push_back({MapChange::Kind::LinkAdded, std::string(texts.text(link)), "", "", std::string(url)});
    for (uint32_t link : went)
        out.push_back(
            {MapChange::Kind::LinkRemoved, std::string(texts.text(link)), "", "", std::string(url)});
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

namespace {

std::vector<MapChange> compare(const Crawl& before, const Crawl& after, const Texts& texts, bool withLinks) {
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
            compareLinks(url, *was, *is, texts, withLinks, rest);
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

} // namespace

std::vector<MapChange> compareCrawls(const ComparedCrawl& older, const ComparedCrawl& newer, bool withLinks) {
    Texts texts;
    const Crawl before = gather(older, texts);
    const Crawl after = gather(newer, texts);
    return compare(before, after, texts, withLinks);
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
                    std::vector<MapChange>& out, std::string& errorText, std::vector<std::string>* warnings) {
    Texts texts;
    Crawl before, after;
    std::string reason;
    for (const auto& [fileName, crawl] : {std::pair{&older, &before}, std::pair{&newer, &after}})
        if (gatherMap(*fileName, texts, *crawl, reason, warnings) != 0) {
            errorText = "cannot open " + *fileName + ": " + reason;
            return 1;
        }
    out = compare(before, after, texts, withLinks);
    return 0;
}

int compareMapWithCrawl(const std::string& older, const ComparedCrawl& newer, bool withLinks,
                        std::vector<MapChange>& out, std::string& reason) {
    Texts texts;
    Crawl before;
    if (gatherMap(older, texts, before, reason, nullptr) != 0)
        return 1;
    out = compare(before, gather(newer, texts), texts, withLinks);
    return 0;
}

} // namespace lurvik
