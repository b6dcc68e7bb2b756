#include "CrawlOptions.h"

#include "CliCommon.h"
#include "ConnectionOptions.h"
#include "retrieval/SiteEngine.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace lurvik::cli {

namespace {

const char* const kLimitNames[] = {"domain", "host", "path", "none"};

int parseCount(const std::string& text, int& out, int least) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return 1;
    out = std::stoi(text);
    return out < least ? 1 : 0;
}

struct Option {
    const char* name;
    const char* value; // null for a flag
    std::function<int(const std::string&, CrawlOptions&)> apply;
};

const std::vector<Option>& options() {
    static const std::vector<Option> table = {
        {"--limit", "domain|host|path|none",
         [](const std::string& v, CrawlOptions& o) {
             for (int m = 0; m < 4; ++m)
                 if (v == kLimitNames[m])
                     return o.limitMode = m, 0;
             return 1;
         }},
        {"--levels", "N", [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.levels, 0); }},
        {"--pages", "N", [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.pages, 0); }},
        {"--agents", "N",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.settings.numBGAgents, 1); }},
        {"--fg-agents", "N",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.settings.numFGAgents, 0); }},
        {"--user", "user:password", [](const std::string& v, CrawlOptions& o) { return o.user = v, 0; }},
        {"--no-credentials", nullptr,
         [](const std::string&, CrawlOptions& o) { return o.settings.useUserPass = 0, 0; }},
        {"--cache", nullptr, [](const std::string&, CrawlOptions& o) { return o.useSharedCache = true, 0; }},
        {"--cache-dir", "DIR",
         [](const std::string& v, CrawlOptions& o) {
             o.useSharedCache = true;
             o.settings.cacheDir = v.empty() || v.back() == '/' ? v : v + "/";
             return v.empty() ? 1 : 0;
         }},
        {"--cache-size", "MB",
         [](const std::string& v, CrawlOptions& o) {
             o.useSharedCache = true;
             return parseCount(v, o.settings.cacheSize, 1);
         }},
        {"--persistent-cache", nullptr,
         [](const std::string&, CrawlOptions& o) {
             return o.useSharedCache = true, o.settings.persistentCache = 1, 0;
         }},
        {"--no-persistent-cache", nullptr,
         [](const std::string&, CrawlOptions& o) {
             return o.useSharedCache = true, o.settings.persistentCache = 0, 0;
         }},
        {"--verify-cache", nullptr,
         [](const std::string&, CrawlOptions& o) {
             return o.useSharedCache = true, o.settings.smartCache = 1, 0;
         }},
        {"--no-verify-cache", nullptr,
         [](const std::string&, CrawlOptions& o) { return o.settings.smartCache = 0, 0; }},
        {"--host-connections", "N",
         [](const std::string& v, CrawlOptions& o) {
             return parseCount(v, o.settings.maxHostConnections, 1);
         }},
        {"--host-delay", "MS",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.settings.hostDelay, 0); }},
        {"--retry-wait", "S",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.settings.maxRetryWait, 0); }},
        {"--page-time-limit", "S",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.settings.pageTimeLimit, 0); }},
        {"--render", nullptr,
         [](const std::string&, CrawlOptions& o) { return o.settings.renderPages = 1, 0; }},
        {"--no-render", nullptr,
         [](const std::string&, CrawlOptions& o) { return o.settings.renderPages = 0, 0; }},
        {"--render-tabs", "N",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.settings.renderTabs, 1); }},
        {"--render-timeout", "S",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.settings.renderTimeout, 1); }},
        {"--robots", nullptr, [](const std::string&, CrawlOptions& o) { return o.obeyRobots = 1, 0; }},
        {"--no-robots", nullptr, [](const std::string&, CrawlOptions& o) { return o.obeyRobots = 0, 0; }},
        {"--check-links", nullptr,
         [](const std::string&, CrawlOptions& o) { return o.checkLinks = true, 0; }},
        {"--check-external", nullptr,
         [](const std::string&, CrawlOptions& o) { return o.checkExternal = true, 0; }},
        {"--no-check-external", nullptr,
         [](const std::string&, CrawlOptions& o) { return o.checkExternal = false, 0; }},
        {"--save", "site.web",
         [](const std::string& v, CrawlOptions& o) { return o.save = v, v.empty() ? 1 : 0; }},
        {"--with-html", nullptr, [](const std::string&, CrawlOptions& o) { return o.withHtml = true, 0; }},
        {"--warc", "FILE.warc.gz",
         [](const std::string& v, CrawlOptions& o) { return o.warc = v, v.empty() ? 1 : 0; }},
        {"--report", "FILE",
         [](const std::string& v, CrawlOptions& o) { return o.report = v, v.empty() ? 1 : 0; }},
        {"--links-report", "FILE",
         [](const std::string& v, CrawlOptions& o) { return o.linksReport = v, v.empty() ? 1 : 0; }},
        {"--format", "tsv|csv|jsonl",
         [](const std::string& v, CrawlOptions& o) { return parseReportFormat(v, o.format); }},
        {"--checkpoint", "S",
         [](const std::string& v, CrawlOptions& o) { return parseCount(v, o.checkpointSeconds, 0); }},
        {"--resume", "MAP",
         [](const std::string& v, CrawlOptions& o) { return o.resume = v, v.empty() ? 1 : 0; }},
    };
    return table;
}

} // namespace

int parseCrawlOptions(int argc, char** argv, CrawlOptions& options) {
    options.settings.loadRepairedSettings();
    options.obeyRobots = options.settings.obeySRE;
    options.checkExternal = options.settings.checkExternal != 0;
    // Where the results go, and passwords, are no part of what the crawl is.
    static const std::vector<std::string> kNotKept = {"--save",       "--with-html",    "--warc",
                                                      "--report",     "--links-report", "--format",
                                                      "--checkpoint", "--resume",       "--user"};
    auto keep = [&](int first, int last) {
        if (std::find(kNotKept.begin(), kNotKept.end(), argv[first]) == kNotKept.end())
            options.arguments.insert(options.arguments.end(), argv + first, argv + last + 1);
    };
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        const int first = i;
        if (arg.empty() || arg[0] != '-') {
            if (!options.url.empty()) {
                printError("only one start address may be given: " + arg);
                return 1;
            }
            options.url = arg;
            continue;
        }
        if (int taken = takeTlsOption(argc, argv, i, options.tls)) {
            if (taken < 0)
                return 1;
            keep(first, i);
            continue;
        }
        if (int taken = takeConnectionOption(argc, argv, i, options.settings)) {
            if (taken < 0)
                return 1;
            keep(first, i);
            continue;
        }
        const Option* option = nullptr;
        for (const Option& candidate : cli::options())
            if (arg == candidate.name)
                option = &candidate;
        if (!option) {
            printError("unknown option '" + arg + "' (try --help)");
            return 1;
        }
        std::string value;
        if (option->value) {
            if (i + 1 >= argc) {
                printError(arg + " needs a value: " + option->value);
                return 1;
            }
            value = argv[++i];
        }
        if (option->apply(value, options) != 0) {
            printError("invalid value for " + arg + ": '" + value + "'");
            return 1;
        }
        keep(first, i);
    }
    if (options.url.empty()) {
        printError("no address given");
        return 1;
    }
    if (options.checkpointSeconds < 0)
        options.checkpointSeconds = options.save.empty() ? 0 : options.settings.checkpointSeconds;
    return 0;
}

void printCrawlHelp(const Settings& s) {
    auto onOff = [](int v) { return v ? "on" : "off"; };
    std::printf(
        "usage: lurvik-cli crawl URL [options]\n"
        "Retrieves a site from URL within the limits. Defaults are your saved options.\n\n"
        "  --limit domain|host|path|none  which links to follow (now: %s)\n"
        "  --levels N            follow links at most N steps from the start; 0 = no limit (now: %d)\n"
        "  --pages N             stop at N pages; 0 = no limit (now: %d)\n"
        "  --agents N            background agents: pages fetched at once (now: %d)\n"
        "  --fg-agents N         foreground agents (now: %d)\n"
        "  --proxy host:port     send requests through a proxy (now: %s)\n"
        "  --no-proxy            connect directly\n"
        "  --user-agent TEXT     the User-Agent header (now: %s \"%s\")\n"
        "  --no-user-agent       send no User-Agent header\n"
        "  --user user:password  answer basic-authentication challenges\n"
        "  --no-credentials      never send credentials (now: %s)\n"
        "  --cache               use the page cache of your options instead of a private one\n"
        "  --cache-dir DIR       page cache folder (implies --cache; now: %s)\n"
        "  --cache-size MB       page cache size (implies --cache; now: %d)\n"
        "  --persistent-cache, --no-persistent-cache   keep the cache between runs (now: %s)\n"
        "  --verify-cache, --no-verify-cache   re-request cached pages with If-Modified-Since (now: %s)\n"
        "  --classic-http, --modern-http   the original request form, or today's (now: %s)\n"
        "  --no-http2, --http2   speak HTTP/1.1 only, or offer HTTP/2 to https: servers (now: %s)\n"
        "  --host-connections N  connections open at once to one host; over HTTP/2, requests in\n"
        "                        flight to one host (now: %d)\n"
        "  --host-delay MS       pause between requests to one host (now: %d)\n"
        "  --retry-wait S        how long a page may wait on 429/503 replies in all (now: %d)\n"
        "  --page-time-limit S   give a page up after this long; 0 = no limit (now: %d)\n"
        "%s"
        "  --render, --no-render  read HTML pages after a browser (chromium-headless-shell) ran\n"
        "                        their scripts (now: %s)\n"
        "  --render-tabs N       pages rendered at once (now: %s)\n"
        "  --render-timeout S    give a page whose scripts never settle up after S seconds (now: %d)\n"
        "  --robots, --no-robots  obey robots.txt (now: %s)\n"
        "  --check-links         also request images, downloads and other non-page links and\n"
        "                        report their status (default: off, reported as \"unchecked\")\n"
        "  --check-external, --no-check-external   request each link outside the limits once\n"
        "                        (HEAD, then GET), never following it further (now: %s)\n"
        "  --save site.web       save the site map; --with-html includes each page's HTML\n"
        "  --report FILE         every page, failed ones included (- for stdout)\n"
        "  --links-report FILE   every link with its target's status (- for stdout)\n"
        "  --format tsv|csv|jsonl   report format (default: tsv)\n"
        "  --checkpoint S        rewrite the --save map every S seconds with what is still to do,\n"
        "                        so that a crawl killed or crashed can be taken up again\n"
        "                        (0: never; now: %d with --save)\n"
        "  --resume MAP          go on with the unfinished crawl MAP holds (its address and options,\n"
        "                        which options given here override); saves to MAP unless --save\n\n"
        "Each page and checked link gets a verdict: ok, broken (missing or wrong) or blocked (the\n"
        "server refused the crawler: 401/403, 429 after every wait, robots.txt).\n"
        "Exit status: 0 nothing broken, 1 a page or checked link is broken, 2 bad usage or the\n"
        "start page could not be retrieved, 130 interrupted.\n",
        kLimitNames[s.numDomains >= 0 && s.numDomains < 4 ? s.numDomains : 0],
        s.limitLevels ? s.numLevels : 0, s.limitPages ? s.numPages : 0, s.numBGAgents, s.numFGAgents,
        s.useProxy == 1 ? (s.proxyServer.str() + ":" + std::to_string(s.proxyPort)).c_str() : "none",
        onOff(s.useUserAgent == 1), s.userAgent.text(), onOff(!s.useUserPass), s.cacheDir.text(), s.cacheSize,
        onOff(s.persistentCache), onOff(s.smartCache), s.classicHttp ? "classic" : "modern",
        onOff(s.useHttp2), s.maxHostConnections, s.hostDelay, s.maxRetryWait, s.pageTimeLimit,
        tlsOptionsHelp(s.caFile.str()).c_str(), onOff(s.renderPages),
        s.renderTabs > 0 ? std::to_string(s.renderTabs).c_str() : "one per core", s.renderTimeout,
        onOff(s.obeySRE), onOff(s.checkExternal), s.checkpointSeconds);
}

void applyToEngine(const CrawlOptions& options, SiteEngine& engine) {
    Settings settings = options.settings;
    settings.applyToEngine(engine);
    if (options.limitMode >= 0)
        engine.limitMode = options.limitMode;
    if (options.levels >= 0)
        engine.maxLevels = options.levels;
    if (options.pages >= 0)
        engine.maxPages = options.pages;
}

} // namespace lurvik::cli
