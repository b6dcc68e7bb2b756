#include "CrawlReports.h"

#include "CliCommon.h"
#include "retrieval/RetrievalLimits.h"
#include "retrieval/Verdict.h"

namespace lurvik::cli {

const char* pageVerdict(const SiteNode& node) {
    const int state = node.state;
    if (state != NODE_DONE && state != NODE_ERROR)
        return "";
    return verdictName(verdictOf(state == NODE_ERROR, node.httpStatus, node.title));
}

const char* linkVerdict(const SiteEngine& engine, const SiteNode& page, const LinkRecord& link,
                        const ResourceChecker* checker) {
    if (const SiteNode* target = link.url.isValid() ? engine.findNode(link.url, true, true) : nullptr)
        return pageVerdict(*target);
    if (link.isHtmlLink() || !link.url.isHttp() || !withinLimitMode(engine, page, link.url))
        return "";
    const ResourceChecker::Result* result = checker ? checker->find(link.url) : nullptr;
    if (!result)
        return "";
    return verdictName(verdictOf(result->failed, result->status, result->errorText));
}

int writePageReport(const SiteEngine& engine, const std::string& path, ReportFormat format,
                    const std::string& warning, std::string& errorText) {
    ReportWriter report(format, {{"url"},
                                 {"state"},
                                 {"status", true},
                                 {"error"},
                                 {"level", true},
                                 {"size", true},
                                 {"title"},
                                 {"parents", true},
                                 {"referrer"},
                                 {"verdict"},
                                 {"note"}});
    if (report.open(path, warning) != 0) {
        errorText = report.errorText();
        return 1;
    }
    auto write = [&](SiteNode* node) {
        int state = node->state;
        bool failed = state == NODE_ERROR;
        bool done = state == NODE_DONE;
        SiteNode* referrer = node->parents.get(0);
        report.row(
            {node->url.text(), nodeStateName(state), std::to_string(node->httpStatus),
             failed ? node->title.str() : "", node->level == kUnknownLevel ? "" : std::to_string(node->level),
             std::to_string(node->size), done ? node->title.str() : "", std::to_string(node->parents.len()),
             referrer ? referrer->url.text() : "", pageVerdict(*node),
             node->linksCut ? "links cut: the page has more links than one page may keep" : ""});
    };
    engine.doneNodes.forEach(write);
    engine.pendingNodes.forEach(write);
    if (report.close() != 0) {
        errorText = report.errorText();
        return 1;
    }
    return 0;
}

int writeLinkReport(const SiteEngine& engine, const ResourceChecker* checker, const std::string& path,
                    ReportFormat format, std::string& errorText) {
    ReportWriter report(format, {{"page"}, {"kind"}, {"type"}, {"url"}, {"text"}, {"target"}, {"verdict"}});
    if (report.open(path) != 0) {
        errorText = report.errorText();
        return 1;
    }
    Str type;
    engine.doneNodes.forEach([&](SiteNode* page) {
        if (page->state != NODE_DONE)
            return;
        for (const LinkRecord& link : page->links) {
            link.typeName(type);
            report.row({page->url.text(), linkKindName(link.effectiveKind()), type.str(),
                        link.url.isValid() ? link.url.text() : "", link.text.str(),
                        linkTargetStatus(engine, *page, link, checker),
                        linkVerdict(engine, *page, link, checker)});
        }
    });
    if (report.close() != 0) {
        errorText = report.errorText();
        return 1;
    }
    return 0;
}

int writeRequestedReports(const CrawlOptions& options, const SiteEngine& engine,
                          const ResourceChecker* checker, const std::string& warning) {
    int result = 0;
    std::string error;
    if (!options.report.empty() &&
        writePageReport(engine, options.report, options.format, warning, error) != 0) {
        printError("cannot write the page report " + options.report + ": " + error);
        result = 1;
    }
    if (!options.linksReport.empty() &&
        writeLinkReport(engine, checker, options.linksReport, options.format, error) != 0) {
        printError("cannot write the link report " + options.linksReport + ": " + error);
        result = 1;
    }
    return result;
}

int countFailed(const SiteEngine& engine) {
    int failed = 0;
    engine.doneNodes.forEach([&](SiteNode* node) { failed += node->state == NODE_ERROR; });
    return failed;
}

} // namespace lurvik::cli
