#include "MapCommands.h"

#include "CliCommon.h"
#include "CrawlReports.h"
#include "retrieval/SiteEngine.h"
#include "sitemap/SiteMapFile.h"

#include <cstdio>
#include <string>
#include <unordered_set>

namespace lurvik::cli {

namespace {

// Opens the map named by the only argument into engine; prints the reason and returns non-zero
// when it cannot. verdict, when given, is set by a "--broken" or "--blocked" argument; other
// commands refuse them.
int openMap(int argc, char** argv, const char* usage, SiteEngine& engine, std::string* verdict = nullptr,
            ResourceChecker* checked = nullptr) {
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
    SiteMapFile map;
    map.fileName = file;
    int result = map.open(engine);
    if (result != 0) {
        printError(
            "cannot open " + file + ": " +
            (result == 1 && !map.errorText.isEmpty() ? map.errorText.str() : siteMapErrorText(result)));
        return ExitFailed;
    }
    if (!map.extensionWarning.isEmpty())
        printError("warning: " + map.extensionWarning.str());
    if (checked)
        for (const CheckedLink& link : map.checkedLinks)
            checked->record(link.url, {link.status, link.failed, link.errorText});
    return ExitOk;
}

void printBranch(SiteNode* node, int depth, std::unordered_set<SiteNode*>& shown) {
    bool first = shown.insert(node).second;
    // The status in brackets, when the map kept it; a failed page's title is its error.
    std::string status = node->httpStatus > 0 ? "  [" + std::to_string(node->httpStatus) + "]" : "";
    std::printf("%*s%s  <%s>%s%s\n", depth * 2, "", node->title.text(), node->url.text().c_str(),
                status.c_str(), first || node->children.len() == 0 ? "" : "  (shown above)");
    if (!first)
        return;
    for (SiteNode* child : node->children)
        printBranch(child, depth + 1, shown);
}

} // namespace

int runTree(int argc, char** argv) {
    SiteEngine engine;
    if (int result = openMap(argc, argv, "usage: lurvik-cli tree site.web\n", engine))
        return result;
    std::unordered_set<SiteNode*> shown;
    // Pages nobody links to are the roots; a map of a cycle has none, so its first page serves.
    engine.doneNodes.forEach([&](SiteNode* node) {
        if (node->parents.len() == 0)
            printBranch(node, 0, shown);
    });
    if (shown.empty() && engine.doneNodes.len() > 0)
        printBranch(engine.doneNodes.get(0), 0, shown);
    engine.doneNodes.forEach([&](SiteNode* node) {
        if (!shown.count(node))
            printBranch(node, 0, shown);
    });
    return ExitOk;
}

int runLinks(int argc, char** argv) {
    SiteEngine engine;
    AgentPool pool;
    ResourceChecker checked(engine, pool);
    std::string verdict;
    if (int result = openMap(argc, argv, "usage: lurvik-cli links site.web [--broken | --blocked]\n", engine,
                             &verdict, &checked))
        return result;
    engine.doneNodes.forEach([&](SiteNode* page) {
        if (page->state != NODE_DONE)
            return;
        for (const LinkRecord* link : page->links) {
            std::string status = linkTargetStatus(engine, *page, *link, &checked);
            if (!verdict.empty() && verdict != linkVerdict(engine, *page, *link, &checked))
                continue;
            std::printf("%s\t%s\t%s\t%s\n", page->url.text().c_str(), linkKindName(link->effectiveKind()),
                        link->url.isValid() ? link->url.text().c_str() : "", status.c_str());
        }
    });
    return ExitOk;
}

} // namespace lurvik::cli
