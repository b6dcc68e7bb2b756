#pragma once

#include "ReportWriter.h"
#include "TlsOptions.h"
#include "retrieval/Settings.h"

#include <string>
#include <vector>

namespace lurvik {
class SiteEngine;
}

namespace lurvik::cli {

// What `lurvik-cli crawl` was asked to do. Every retrieval setting of the saved options can be
// overridden for one run; nothing given here is saved.
struct CrawlOptions {
    std::string url;
    Settings settings; // the saved options with this run's overrides applied
    int limitMode = -1;
    int levels = -1;
    int pages = -1;
    bool useSharedCache = false; // the page cache of the saved options instead of a private one
    int obeyRobots = 0;
    bool checkLinks = false;
    bool checkExternal = false;
    std::string save;
    bool withHtml = false;
    std::string warc; // every request and response archived here, as a WARC file
    std::string report;
    std::string linksReport;
    ReportFormat format = ReportFormat::Tsv;
    std::string user;
    TlsOptions tls;
    // 0: the map is written at the end only; unless given, the saved setting's, with --save.
    int checkpointSeconds = -1;
    std::string resume; // a map of an unfinished crawl to go on with
    // What defines the crawl (its address and options, not where its results go nor any password),
    // kept in a checkpoint so that a resumed crawl is the same crawl.
    std::vector<std::string> arguments;
};

// Reads the saved options, then the arguments over them. 0 on success; 1 after printing what
// is wrong.
int parseCrawlOptions(int argc, char** argv, CrawlOptions& options);
// The saved settings with this run's limits over them, into the engine.
void applyToEngine(const CrawlOptions& options, SiteEngine& engine);
// One line per option, with the value each takes when not given.
void printCrawlHelp(const Settings& settings);

} // namespace lurvik::cli
