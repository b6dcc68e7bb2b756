#include "CrawlCommand.h"

#include "CliCommon.h"
#include "CrawlOptions.h"
#include "CrawlProgress.h"
#include "CrawlReports.h"
#include "SiteMapFiles.h"
#include "SiteOfThisRun.h"
#include "TemporaryCache.h"
#include "analysis/RatingEvaluation.h"
#include "analysis/RatingSettings.h"
#include "core/MemoryReserve.h"
#include "core/PageCache.h"
#include "platform/ThreadPolicy.h"
#include "retrieval/PageRenderer.h"
#include "retrieval/ResourceChecker.h"
#include "retrieval/RetrievalScheduler.h"
#include "retrieval/Verdict.h"
#include "retrieval/WarcWriter.h"
#include "sitemap/CheckpointWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace lurvik::cli {

namespace {

// Unless the run asks for the cache of the saved options, a crawl keeps its pages in a temporary
// cache of its own. Only a map saved with its HTML needs the pages at all; without one the crawl
// does without a cache and its disk writes.
class CrawlCache {
public:
    explicit CrawlCache(const CrawlOptions& options) {
        if (options.useSharedCache) {
            options.settings.applyToCache();
            m_sharedRunning = CacheBegin() == 0;
        } else if (options.withHtml) {
            m_temporary = std::make_unique<TemporaryCache>();
        }
    }
    ~CrawlCache() {
        if (m_sharedRunning)
            CacheEnd();
    }
    bool ok() const { return m_sharedRunning || (m_temporary && m_temporary->ok()); }

private:
    bool m_sharedRunning = false;
    std::unique_ptr<TemporaryCache> m_temporary;
};

// The exit status counts what a fix to the site would change: blocked pages and links are reported
// but are not the site's fault.
int countBroken(const SiteEngine& engine, const ResourceChecker& checker) {
    int broken = 0;
    engine.doneNodes.forEach([&](SiteNode* node) {
        broken += std::strcmp(pageVerdict(*node), "broken") == 0;
        for (const LinkRecord& link : node->links)
            broken += link.url.isUnparsed();
    });
    checker.forEachResult([&](const std::string&, const ResourceChecker::Result& result) {
        broken += verdictOf(result.failed, result.status, result.errorText.view()) == Verdict::Broken;
    });
    return broken;
}

void setUpEngineAndPool(const CrawlOptions& options, const URL& start, SiteEngine& engine, AgentPool& pool) {
    Settings settings = options.settings;
    applyToEngine(options, engine);
    engine.obeyRobots = options.obeyRobots;
    settings.applyToPool(pool);
    applyTlsOptions(options.tls);
    if (!options.user.empty())
        answerCredentials(pool, options.user, credentialSite(start));
    if (std::string note = pool.agentsWaitingNote(); !note.empty())
        printError("note: " + note);
}

// Kept aside for stopping cleanly when memory runs out: the map and the reports of a large site
// need some room of their own.
constexpr size_t kMemoryReserve = 64u << 20;

// For --resume MAP: reads the map into engine and its unfinished crawl into frontier, and puts the
// crawl's own arguments before those given (which then override them); --save defaults to MAP.
int openResumedCrawl(std::vector<std::string>& given, SiteEngine& engine, CrawlFrontier& frontier) {
    auto resume = std::find(given.begin(), given.end(), "--resume");
    if (resume == given.end())
        return ExitOk;
    if (resume + 1 == given.end()) {
        printError("--resume needs a value: MAP");
        return ExitUsage;
    }
    SiteMapFile map;
    map.fileName = *(resume + 1);
    if (openSiteMap(map, engine) != 0)
        return ExitUsage;
    if (map.frontier.arguments.empty()) {
        printError(map.fileName.str() +
                   " holds no unfinished crawl to go on with (written without --checkpoint, "
                   "or by a crawl that ended)");
        return ExitUsage;
    }
    frontier = std::move(map.frontier);
    std::vector<std::string> arguments = frontier.arguments;
    if (std::find(given.begin(), given.end(), "--save") == given.end()) {
        arguments.push_back("--save");
        arguments.push_back(map.fileName.str());
    }
    given.erase(resume, resume + 2);
    arguments.insert(arguments.end(), given.begin(), given.end());
    given = std::move(arguments);
    return ExitOk;
}

// Rendering is an addition to the crawl: without a browser the pages are read as served.
std::unique_ptr<PageRenderer> startRenderer(const CrawlOptions& options, SiteEngine& engine,
                                            AgentPool& pool) {
    const Settings& settings = options.settings;
    if (!settings.renderPages)
        return nullptr;
    if (settings.classicHttp) {
        printError("note: pages are rendered in the modern form only; this crawl reads them as served");
        return nullptr;
    }
    auto renderer = std::make_unique<PageRenderer>(engine, pool, rendererOptions(settings, pool));
    const RenderError error = renderer->start();
    if (error == RenderError::NotInstalled) {
        printError("rendering needs chromium-headless-shell; the crawl goes on without rendering");
        return nullptr;
    }
    if (error != RenderError::None) {
        printError("the browser for rendering did not start; the crawl goes on without rendering");
        return nullptr;
    }
    return renderer;
}

bool mustStop() {
    return interrupted() || memoryRanOut();
}

// A checkpoint that cannot be written is said each time and leaves the previous one in place.
void reportCheckpoint(ForkedTask::State state, const CheckpointWriter& checkpoints) {
    if (state != ForkedTask::State::Failed)
        return;
    printError(checkpoints.errorText());
    printError("note: the crawl goes on; the last checkpoint written stays in place");
}

// Runs idle steps until the retrieval ends, Ctrl-C or memory runs out; true when it was stopped.
bool runRetrieval(SiteEngine& engine, RetrievalScheduler& scheduler, CrawlProgress& progress,
                  CheckpointWriter& checkpoints) {
    // Nobody watches this thread's every step: its progress line can wait for a turn's end.
    markAsBatchWork();
    // Without the reserve a failed allocation on this thread lands here; what was retrieved so
    // far is still worth saving.
    try {
        while (engine.isBusy()) {
            if (mustStop()) {
                scheduler.stopRetrieval();
                return true;
            }
            if (scheduler.idleHook() == 0)
                scheduler.waitForWork(5);
            progress.update(engine, [&engine] { return countFailed(engine); });
            reportCheckpoint(checkpoints.step(), checkpoints);
        }
    } catch (const std::bad_alloc&) {
        scheduler.stopRetrieval();
        return true;
    }
    return false;
}

bool runChecks(ResourceChecker& checker, RetrievalScheduler& scheduler) {
    checker.collect();
    while (checker.isBusy()) {
        if (mustStop()) {
            checker.stop();
            return true;
        }
        if (checker.step() == 0)
            scheduler.waitForWork(5);
    }
    return false;
}

} // namespace

int runCrawl(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        Settings settings;
        settings.loadRepairedSettings();
        printCrawlHelp(settings);
        return ExitOk;
    }
    SiteEngine& engine = siteOfThisRun();
    CrawlFrontier resumed;
    std::vector<std::string> given(argv, argv + argc);
    if (int result = openResumedCrawl(given, engine, resumed))
        return result;
    std::vector<char*> arguments;
    for (std::string& argument : given)
        arguments.push_back(argument.data());
    CrawlOptions options;
    if (parseCrawlOptions(static_cast<int>(arguments.size()), arguments.data(), options) != 0) {
        std::fputs("usage: lurvik-cli crawl URL [options]   (lurvik-cli crawl --help lists them)\n", stderr);
        return ExitUsage;
    }
    if (options.checkpointSeconds > 0 && options.save.empty()) {
        printError("--checkpoint needs --save: the checkpoints are written to the map");
        return ExitUsage;
    }
    URL url;
    std::string userInfo;
    if (parseRetrievedURL(options.url, Retrieved::Page, url, userInfo) != 0 ||
        refuseClassicSecure(url, options.settings.classicHttp) != 0)
        return ExitUsage;
    // The address without a password written into it, as the checkpoints keep it.
    options.arguments.insert(options.arguments.begin(), url.text());
    AgentPool pool;
    if (options.user.empty())
        options.user = userInfo;
    setUpEngineAndPool(options, url, engine, pool);
    if (options.settings.useProxy == 1 && pool.proxyAddress == 0) {
        printError("cannot resolve the proxy " + options.settings.proxyServer.str());
        return ExitUsage;
    }
    // The user's content ratings mark pages as the desktop program would; without a rating
    // system the pages are simply not rated.
    RatingSettings ratings;
    (void)ratings.load();
    engine.onRatePage = makeRatePage(ratings);

    CrawlCache cache(options);
    if ((options.withHtml || options.useSharedCache) && !cache.ok())
        printError("warning: the page cache could not be opened; pages are not kept");
    WarcWriter archive;
    if (!options.warc.empty()) {
        if (int error = archive.open(options.warc, "Lurvik " LURVIK_VERSION)) {
            printError("cannot create " + options.warc + ": " + std::strerror(error));
            return ExitUsage;
        }
        pool.warcWriter = &archive;
    }
    // Made before the scheduler, which lets go of it when it ends.
    std::unique_ptr<PageRenderer> renderer;
    RetrievalScheduler scheduler(engine, pool);
    renderer = startRenderer(options, engine, pool);
    scheduler.setRenderer(renderer.get());
    SiteNode* start = engine.findOrAddNode(url, 0);
    restoreFrontier(resumed, engine,
                    [&scheduler](SiteNode* node, int waitMs) { scheduler.waitBeforeRetry(node, waitMs); });
    installInterruptHandler();
    installMemoryReserve(kMemoryReserve);
    CrawlProgress progress;
    CheckpointWriter checkpoints(
        engine, [&scheduler](const SiteNode* node) { return scheduler.retryWaitLeftMs(node); });
    checkpoints.configure(options.save, options.arguments, options.checkpointSeconds);
    bool stopped = runRetrieval(engine, scheduler, progress, checkpoints);
    // The crawl's own save below must not be overtaken by a checkpoint still being written.
    reportCheckpoint(checkpoints.finish(), checkpoints);
    ResourceChecker checker(engine, pool);
    checker.checkResources = options.checkLinks;
    checker.checkExternal = options.checkExternal;
    if (renderer) {
        for (const auto& [key, result] : renderer->requestResults())
            checker.record(key, result);
    }
    const bool checks = options.checkLinks || options.checkExternal;
    if (!stopped && checks)
        stopped = runChecks(checker, scheduler);
    progress.finish();
    // The agents and parse threads have stopped, so the memory held back for writing the reports
    // and the map can no longer go to them.
    releaseEndingReserve();

    // Reports list the pages that were still waiting when a crawl was stopped; a site map holds
    // finished pages only, so those go before it is saved.
    int reportResult = writeRequestedReports(options, engine, checks || renderer ? &checker : nullptr,
                                             insecureWarning(options.tls));
    // A start page still waiting when the crawl was stopped goes with the other pending nodes.
    bool startFailed = start->state == NODE_ERROR;
    std::string startError = start->title.str();
    // A crawl stopped half-way keeps what it had still to do, so that it can go on later.
    CrawlFrontier unfinished;
    if (stopped) {
        unfinished.arguments = options.arguments;
        captureFrontier(engine, unfinished.pages);
    }
    engine.discardPending();
    start = nullptr;

    double seconds = progress.elapsedSeconds();
    int failed = countFailed(engine);
    int pages = engine.doneNodes.len() - failed;
    std::fprintf(stderr, "%s %d pages (%d failed) in %.2f s, %.0f pages/s\n",
                 stopped ? "Stopped after" : "Crawled", pages, failed, seconds,
                 seconds > 0 ? engine.doneNodes.len() / seconds : 0.0);
    if (checks)
        std::fprintf(stderr, "Checked %d links (%d broken)\n", checker.checkedCount(), checker.failedCount());
    if (checkpoints.writtenCount() > 0)
        std::fprintf(stderr, "Wrote %d checkpoints; the crawl paused at most %.1f ms for one\n",
                     checkpoints.writtenCount(), checkpoints.longestPauseMs());
    if (renderer)
        std::fprintf(stderr, "Rendered %d pages in a browser (%d restarts)\n", renderer->renderedCount(),
                     renderer->renderer().restarts());
    bool outOfMemory = memoryRanOut();
    if (outOfMemory)
        printError(
            "out of memory: the crawl stopped early; the reports and the map hold the pages retrieved so "
            "far");

    int result = countBroken(engine, checker) > 0 || reportResult != 0 ? ExitFailed : ExitOk;
    if (startFailed) {
        printError("cannot fetch the start page " + url.text() + ": " + startError);
        result = ExitUsage;
    }
    if (!options.save.empty()) {
        SiteMapFile map;
        map.fileName = options.save;
        map.frontier = std::move(unfinished);
        map.checkedLinks = checkedLinksOf(checker);
        auto saveStarted = std::chrono::steady_clock::now();
        int saved = saveSiteMap(map, engine, options.withHtml);
        double saveSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - saveStarted).count();
        if (saved != 0) {
            // A start page that could not be fetched is the reason, and its status says so.
            if (result != ExitUsage)
                result = ExitFailed;
        } else {
            std::fprintf(stderr, "Saved the site map to %s in %.2f s\n", options.save.c_str(), saveSeconds);
        }
    }
    pool.warcWriter = nullptr;
    if (!options.warc.empty() && archive.close() != 0) {
        printError("cannot write " + options.warc + ": " + std::strerror(archive.error()));
        result = ExitFailed;
    }
    if (outOfMemory)
        return ExitFailed;
    return stopped ? 130 : result;
}

} // namespace lurvik::cli
