#include "MapCommands.h"

#include "CliCommon.h"
#include "CrawlReports.h"
#include "PageLinks.h"
#include "ShownTree.h"
#include "SiteMapFiles.h"
#include "SiteOfThisRun.h"
#include "TextEscapes.h"
#include "retrieval/SiteEngine.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace lurvik::cli {

namespace {

// Opens the map named by the only argument into engine, its pages without their links; prints the
// reason and returns non-zero when it cannot. verdict, when given, is set by a "--broken" or
// "--blocked" argument; other commands refuse them.
int openMap(int argc, char** argv, const char* usage, SiteEngine& engine, SiteMapFile& map,
            std::string* verdict = nullptr, ResourceChecker* checked = nullptr) {
    std::string file;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--broken" || arg == "--blocked") && verdict) {
            *verdict = arg.substr(2);
        } else if (arg.empty() || arg[0] == '-' || !file.empty()) {
            printError("unexpected option '" + arg + "'");
            std::fputs(usage, stderr);
            return ExitUsage;
        } else {
            file = arg;
        }
    }
    if (file.empty()) {
        printError("no site map given");
        std::fputs(usage, stderr);
        return ExitUsage;
    }
    map.fileName = file;
    map.links = SiteMapFile::Links::Skip;
    if (openSiteMap(map, engine) != 0)
        return ExitFailed;
    if (checked)
        for (const CheckedLink& link : map.checkedLinks)
            checked->record(link.url, {link.status, link.failed, link.errorText});
    return ExitOk;
}

// Past this depth lines keep one indent and show the level instead: a chain of 100,000 "next page"
// links would otherwise print more spaces than pages.
constexpr int kMaxIndent = 40;

} // namespace

int runTree(int argc, char** argv) {
    SiteEngine& engine = siteOfThisRun();
    SiteMapFile map;
    if (int result = openMap(argc, argv, "usage: lurvik-cli tree site.web\n", engine, map))
        return result;
    ShownTree tree(engine);
    const auto& entries = tree.entries();
    for (size_t i = 1; i < entries.size(); ++i) {
        const SiteNode& node = *entries[i].node;
        int depth = entries[i].depth - 1;
        // The status in brackets, when the map kept it; a failed page's title is its error.
        std::string status = node.httpStatus > 0 ? "  [" + std::to_string(node.httpStatus) + "]" : "";
        std::string level = depth > kMaxIndent ? "(" + std::to_string(depth) + ") " : "";
        std::printf("%*s%s%s  <%s>%s%s\n", std::min(depth, kMaxIndent) * 2, "", level.c_str(),
                    shownText(node.title.view()).c_str(), shownText(node.url.text()).c_str(), status.c_str(),
                    entries[i].repeated && node.children.len() > 0 ? "  (shown above)" : "");
    }
    return ExitOk;
}

int runLinks(int argc, char** argv) {
    SiteEngine& engine = siteOfThisRun();
    AgentPool pool;
    ResourceChecker checked(engine, pool);
    std::string verdict;
    SiteMapFile map;
    if (int result = openMap(argc, argv, "usage: lurvik-cli links site.web [--broken | --blocked]\n", engine,
                             map, &verdict, &checked))
        return result;
    PageLinks links;
    if (links.begin(map) != 0)
        return ExitFailed;
    for (int i = 0; i < engine.doneNodes.len(); ++i) {
        SiteNode* page = engine.doneNodes.get(i);
        if (links.give(i, *page) != 0)
            return ExitFailed;
        if (page->state != NODE_DONE)
            continue;
        for (const LinkRecord& link : page->links) {
            std::string status = linkTargetStatus(engine, *page, link, &checked);
            if (!verdict.empty() && verdict != linkVerdict(engine, *page, link, &checked))
                continue;
            std::printf(
                "%s\t%s\t%s\t%s\n", tsvField(page->url.text()).c_str(), linkKindName(link.effectiveKind()),
                link.url.isValid() ? tsvField(link.url.text()).c_str() : "", tsvField(status).c_str());
        }
    }
    return ExitOk;
}

} // namespace lurvik::cli
