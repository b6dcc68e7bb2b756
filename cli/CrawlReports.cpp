#include "CrawlReports.h"

#include "CliCommon.h"
#include "retrieval/RetrievalLimits.h"
#include "retrieval/Verdict.h"

namespace lurvik::cli {

const char* pageVerdict(const SiteNode& node) {
    return pageVerdict(node.state, node.httpStatus, node.title.view());
}

const char* pageVerdict(int state, int httpStatus, std::string_view title) {
    if (state != NODE_DONE && state != NODE_ERROR)
        return "";
    return verdictName(verdictOf(state == NODE_ERROR, httpStatus, title));
}

const char* linkVerdict(const SiteEngine& engine, const LinkRecord& link, const ResourceChecker* checker) {
    if (const SiteNode* target = link.url.isValid() ? engine.findNode(link.url, true, true) : nullptr)
        return pageVerdict(*target);
    return checkVerdict(link, checker);
}

// A link the crawl did not follow has a verdict once it was checked, within the limits or not.
const char* checkVerdict(const LinkRecord& link, const ResourceChecker* checker) {
    if (link.url.isUnparsed())
        return verdictName(Verdict::Broken);
    const ResourceChecker::Result* result = checker && link.url.isHttp() ? checker->find(link.url) : nullptr;
    return result ? verdictName(verdictOf(result->failed, result->status, result->errorText.view())) : "";
}

namespace {

// Each hop as its status and the address it sent on to: "301 https://x/a/; 302 https://x/b".
std::string redirectChain(const std::vector<RedirectHop>* hops) {
    std::string chain;
    if (!hops)
        return chain;
    for (const RedirectHop& hop : *hops) {
        if (!chain.empty())
            chain += "; ";
        chain += std::to_string(hop.status) + " " + hop.address.text();
    }
    return chain;
}

ReportWriter pageReport(ReportFormat format) {
    return ReportWriter(format, {{"url"},
                                 {"state"},
                                 {"status", true},
                                 {"error"},
                                 {"level", true},
                                 {"size", true},
                                 {"title"},
                                 {"parents", true},
                                 {"referrer"},
                                 {"verdict"},
                                 {"note"},
                                 {"redirects"}});
}

// A page's row; title is its error when it failed.
std::vector<std::string> pageRow(std::string_view url, int state, int httpStatus, std::string_view title,
                                 int level, int size, int parents, std::string_view referrer, bool linksCut,
                                 const std::vector<RedirectHop>* redirects) {
    const bool failed = state == NODE_ERROR;
    const bool done = state == NODE_DONE;
    return {std::string(url),
            nodeStateName(state),
            std::to_string(httpStatus),
            failed ? std::string(title) : "",
            level == kUnknownLevel ? "" : std::to_string(level),
            std::to_string(size),
            done ? std::string(title) : "",
            std::to_string(parents),
            std::string(referrer),
            pageVerdict(state, httpStatus, title),
            linksCut ? "links cut: the page has more links than one page may keep" : "",
            redirectChain(redirects)};
}

int closeReport(ReportWriter& report, std::string& errorText) {
    if (report.close() != 0) {
        errorText = report.errorText();
        return 1;
    }
    return 0;
}

} // namespace

int writePageReport(const SiteEngine& engine, const std::string& path, ReportFormat format,
                    const std::string& warning, std::string& errorText) {
    ReportWriter report = pageReport(format);
    if (report.open(path, warning) != 0) {
        errorText = report.errorText();
        return 1;
    }
    auto write = [&](SiteNode* node) {
        const SiteNode* referrer = node->parents.get(0);
        report.row(pageRow(node->url.view(), node->state, node->httpStatus, node->title.view(), node->level,
                           node->size, node->parents.len(),
                           referrer ? referrer->url.view() : std::string_view(), node->linksCut,
                           node->redirects.get()));
    };
    engine.doneNodes.forEach(write);
    engine.pendingNodes.forEach(write);
    return closeReport(report, errorText);
}

int writePageReport(const MapOutline& map, const std::string& path, ReportFormat format,
                    std::string& errorText) {
    ReportWriter report = pageReport(format);
    if (report.open(path, "") != 0) {
        errorText = report.errorText();
        return 1;
    }
    for (int page = 0; page < map.pageCount(); ++page) {
        const int referrer = map.firstParent(page);
        // A loaded map's pages never had their links cut: the layout keeps no such mark.
        report.row(pageRow(map.url(page), map.state(page), map.httpStatus(page), map.title(page),
                           map.level(page), map.size(page), map.parentCount(page),
                           referrer >= 0 ? map.url(referrer) : std::string_view(), false,
                           map.redirects(page)));
    }
    return closeReport(report, errorText);
}

const std::vector<ResourceChecker::Stylesheet> kNoStylesheets;

int writeLinkReport(const SiteEngine& engine, const ResourceChecker* checker, const std::string& path,
                    ReportFormat format, std::string& errorText, RenderedField rendered) {
    std::vector<ReportWriter::Field> fields = {{"page"}, {"kind"},   {"type"},    {"url"},
                                               {"text"}, {"target"}, {"verdict"}, {"line", true}};
    const bool withRendered = rendered == RenderedField::Written;
    if (withRendered)
        fields.push_back({"rendered", true});
    ReportWriter report(format, std::move(fields));
    if (report.open(path) != 0) {
        errorText = report.errorText();
        return 1;
    }
    Str type;
    engine.doneNodes.forEach([&](SiteNode* page) {
        if (page->state != NODE_DONE)
            return;
        const std::vector<uint32_t>* renderedOnly = page->renderedLinks.get();
        size_t nextRendered = 0;
        for (int i = 0; i < page->links.len(); ++i) {
            const LinkRecord& link = *page->links.get(i);
            link.typeName(type);
            std::vector<std::string> values = {page->url.text(),
                                               linkKindName(link.effectiveKind()),
                                               type.str(),
                                               std::string(link.url.view()),
                                               link.text.str(),
                                               linkTargetStatus(engine, *page, link, checker),
                                               linkVerdict(engine, link, checker),
                                               link.line > 0 ? std::to_string(link.line) : ""};
            if (withRendered) {
                // The indexes are in order: one pass over both.
                const bool isRendered = renderedOnly && nextRendered < renderedOnly->size() &&
                                        (*renderedOnly)[nextRendered] == static_cast<uint32_t>(i);
                nextRendered += isRendered;
                values.push_back(isRendered ? "true" : "false");
            }
            report.row(values);
        }
    });
    // What linked stylesheets ask for, each under the stylesheet's own address.
    for (const ResourceChecker::Stylesheet& sheet : checker ? checker->stylesheets() : kNoStylesheets) {
        for (const LinkRecord& link : sheet.links) {
            link.typeName(type);
            const std::string status = checkStatus(link, checker);
            report.row({sheet.url.text(), linkKindName(link.effectiveKind()), type.str(),
                        std::string(link.url.view()), link.text.str(), status.empty() ? "unchecked" : status,
                        checkVerdict(link, checker), ""});
        }
    }
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
        writeLinkReport(engine, checker, options.linksReport, options.format, error,
                        options.settings.renderPages ? RenderedField::Written : RenderedField::Omitted) !=
            0) {
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
