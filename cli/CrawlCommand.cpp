#include "CrawlCommand.h"

#include "CliCommon.h"
#include "CrawlProgress.h"
#include "analysis/RatingEvaluation.h"
#include "analysis/RatingSettings.h"
#include "core/PageCache.h"
#include "retrieval/RetrievalScheduler.h"
#include "retrieval/Settings.h"
#include "sitemap/SiteMapFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace lurvik::cli {

namespace {

constexpr const char* kUsage =
    "usage: lurvik-cli crawl URL [--limit domain|host|path|none] [--levels N] [--pages N] [--agents N]\n"
    "                        [--proxy host:port] [--user user:password] [--save site.web] [--with-html]\n"
    "                        [--classic-http]\n";

struct CrawlOptions {
    std::string url;
    int limit = -1;
    int levels = -1;
    int pages = -1;
    int agents = -1;
    std::string proxy;
    std::string user;
    std::string save;
    bool withHtml = false;
    bool classic = false;
};

int parseNumber(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return 1;
    out = std::stoi(text);
    return 0;
}

int parseOptions(int argc, char** argv, CrawlOptions& options) {
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        auto next = [&] {
            if (i + 1 >= argc)
                return 1;
            value = argv[++i];
            return 0;
        };
        int bad = 0;
        if (arg == "--limit") {
            bad = next();
            const char* modes[] = {"domain", "host", "path", "none"};
            options.limit = -1;
            for (int m = 0; m < 4; ++m)
                if (value == modes[m])
                    options.limit = m;
            bad = bad || options.limit < 0;
        } else if (arg == "--levels") {
            bad = next() || parseNumber(value, options.levels);
        } else if (arg == "--pages") {
            bad = next() || parseNumber(value, options.pages);
        } else if (arg == "--agents") {
            bad = next() || parseNumber(value, options.agents) || options.agents < 1 || options.agents > 64;
        } else if (arg == "--proxy") {
            bad = next();
            options.proxy = value;
        } else if (arg == "--user") {
            bad = next();
            options.user = value;
        } else if (arg == "--save") {
            bad = next() || value.empty();
            options.save = value;
        } else if (arg == "--with-html") {
            options.withHtml = true;
        } else if (arg == "--classic-http") {
            options.classic = true;
        } else if (!arg.empty() && arg[0] == '-') {
            bad = 1;
        } else if (options.url.empty()) {
            options.url = arg;
        } else {
            bad = 1;
        }
        if (bad) {
            printError("unexpected, incomplete or invalid option '" + arg +
                       (value.empty() ? "" : " " + value) + "'");
            return 1;
        }
    }
    if (options.url.empty()) {
        printError("no address given");
        return 1;
    }
    return 0;
}

// The crawl keeps its pages in a cache of its own that goes when it ends: a command-line run
// reports what the site serves now, never what an earlier run left behind. Only a map saved with
// its HTML needs the pages; without one, the crawl does without the cache and its disk writes.
class PrivateCache {
public:
    explicit PrivateCache(bool wanted) {
        if (!wanted)
            return;
        char pattern[] = "/tmp/lurvik-crawl-XXXXXX";
        if (mkdtemp(pattern))
            m_dir = pattern;
        CacheConfigure(1, Str(m_dir + "/"), int64_t(1) << 40, 0);
        m_ok = !m_dir.empty() && CacheBegin() == 0;
    }
    ~PrivateCache() {
        if (m_dir.empty())
            return;
        CacheEnd();
        std::error_code ignored;
        if (!m_dir.empty())
            std::filesystem::remove_all(m_dir, ignored);
    }
    bool ok() const { return m_ok; }

private:
    std::string m_dir;
    bool m_ok = false;
};

int countFailed(const SiteEngine& engine) {
    int failed = 0;
    engine.doneNodes.forEach([&](SiteNode* node) { failed += node->state == NODE_ERROR; });
    return failed;
}

} // namespace

int runCrawl(int argc, char** argv) {
    CrawlOptions options;
    if (parseOptions(argc, argv, options) != 0) {
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }
    URL url;
    if (parseUserURL(options.url, url) != 0) {
        printError("not a valid address: " + options.url);
        return ExitUsage;
    }
    if (!url.isHtml()) {
        printError("the start address must be an http: or https: page: " + options.url);
        return ExitUsage;
    }

    Settings settings;
    settings.loadSettings();
    SiteEngine engine;
    AgentPool pool;
    settings.applyToEngine(engine);
    if (options.limit >= 0)
        engine.limitMode = options.limit;
    if (options.levels >= 0)
        engine.maxLevels = options.levels;
    if (options.pages >= 0)
        engine.maxPages = options.pages;
    if (options.agents > 0)
        settings.numBGAgents = options.agents;
    // The queue is served by background agents only; settings that have none would never finish.
    if (settings.numBGAgents < 1)
        settings.numBGAgents = 4;
    if (options.classic)
        settings.classicHttp = 1;
    settings.useProxy = 0;
    if (!options.proxy.empty()) {
        Str host;
        int port = 0;
        if (parseHostPort(options.proxy, host, port) != 0) {
            printError("not a valid proxy (host:port): " + options.proxy);
            return ExitUsage;
        }
        settings.useProxy = 1;
        settings.proxyServer = host;
        settings.proxyPort = port;
    }
    settings.applyToPool(pool);
    if (!options.proxy.empty() && pool.proxyAddress == 0) {
        printError("cannot resolve the proxy " + options.proxy);
        return ExitUsage;
    }
    if (!options.user.empty()) {
        size_t colon = options.user.find(':');
        std::string user = options.user.substr(0, colon);
        std::string password = colon == std::string::npos ? "" : options.user.substr(colon + 1);
        pool.onNeedPassword = [user, password](const Str&, Str& outUser, Str& outPassword) {
            outUser = user;
            outPassword = password;
            return 0;
        };
    }

    // The user's content ratings mark pages as the desktop program would; without a rating
    // system the pages are simply not rated.
    RatingSettings ratings;
    (void)ratings.load();
    engine.onRatePage = makeRatePage(ratings);

    PrivateCache cache(options.withHtml);
    if (options.withHtml && !cache.ok())
        printError("warning: no page cache; the site map will hold no HTML");
    RetrievalScheduler scheduler(engine, pool);
    SiteNode* start = engine.findOrAddNode(url, 0);
    installInterruptHandler();
    CrawlProgress progress;
    int failed = 0;
    engine.onNodeChanged = [&failed](SiteNode* node, int) { failed += node->state == NODE_ERROR; };
    bool stopped = false;
    while (engine.isBusy()) {
        if (interrupted()) {
            scheduler.stopRetrieval();
            engine.discardPending();
            stopped = true;
            break;
        }
        if (scheduler.idleHook() == 0)
            scheduler.waitForWork(5);
        progress.update(engine, failed);
    }
    progress.finish();
    double seconds = progress.elapsedSeconds();
    failed = countFailed(engine);
    int pages = engine.doneNodes.len() - failed;
    std::fprintf(stderr, "%s %d pages (%d failed) in %.2f s, %.0f pages/s\n",
                 stopped ? "Stopped after" : "Crawled", pages, failed, seconds,
                 seconds > 0 ? engine.doneNodes.len() / seconds : 0.0);

    int result = failed > 0 ? ExitFailed : ExitOk;
    if (start->state == NODE_ERROR) {
        printError("cannot fetch the start page " + url.text() + ": " + start->title.str());
        result = ExitUsage;
    }
    if (!options.save.empty()) {
        SiteMapFile map;
        map.fileName = options.save;
        int saved = map.save(engine, nullptr, options.withHtml);
        if (saved != 0) {
            printError(
                "cannot save " + options.save + ": " +
                (saved == 1 && !map.errorText.isEmpty() ? map.errorText.str() : siteMapErrorText(saved)));
            result = ExitFailed;
        } else {
            std::fprintf(stderr, "Saved the site map to %s\n", options.save.c_str());
        }
    }
    return stopped ? 130 : result;
}

} // namespace lurvik::cli
