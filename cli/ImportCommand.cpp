#include "ImportCommand.h"

#include "CliCommon.h"
#include "CrawlOptions.h"
#include "CrawlReports.h"
#include "SiteMapFiles.h"
#include "SiteOfThisRun.h"
#include "TemporaryCache.h"
#include "retrieval/WarcImport.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace lurvik::cli {

namespace {

constexpr const char* kUsage =
    "usage: lurvik-cli import FILE.warc[.gz]... [--start URL] [--limit domain|host|path|none]\n"
    "                         [--levels N] [--pages N] [--save site.web [--with-html]]\n"
    "                         [--report FILE] [--links-report FILE] [--format tsv|csv|jsonl]\n";

int importArchives(int argc, char** argv) {
    std::vector<std::string> files;
    std::vector<char*> rest;
    bool startGiven = false;
    int i = 0;
    for (; i < argc && argv[i][0] != '-'; ++i)
        files.emplace_back(argv[i]);
    // "--start URL" is the crawl's start address, which its options take as a bare word.
    for (; i < argc; ++i) {
        if (std::strcmp(argv[i], "--start") == 0)
            startGiven = true;
        else
            rest.push_back(argv[i]);
    }
    if (files.empty()) {
        printError("no WARC file given");
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }

    SiteEngine& engine = siteOfThisRun();
    AgentPool pool;
    RetrievalScheduler scheduler(engine, pool);
    WarcImport archive(engine, scheduler);
    for (const std::string& file : files) {
        if (int error = archive.addFile(file)) {
            printError("cannot read " + file + ": " + std::strerror(error));
            return ExitFailed;
        }
    }
    // Problems are told as they are found: those of the index now, those of the pages after.
    size_t problemsTold = 0;
    auto tellProblems = [&] {
        for (; problemsTold < archive.problems().size(); ++problemsTold) {
            const WarcImport::Problem& problem = archive.problems()[problemsTold];
            printError(problem.file + ": offset " + std::to_string(problem.offset) + ": " + problem.text);
        }
    };
    tellProblems();
    std::string firstPage = archive.firstPage();
    if (!startGiven) {
        if (firstPage.empty()) {
            printError("the archive holds no HTML page to start from");
            return ExitFailed;
        }
        rest.push_back(firstPage.data());
    }
    CrawlOptions options;
    if (parseCrawlOptions(static_cast<int>(rest.size()), rest.data(), options) != 0) {
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }
    applyToEngine(options, engine);
    std::unique_ptr<TemporaryCache> cache;
    if (options.withHtml)
        cache = std::make_unique<TemporaryCache>();
    URL start;
    std::string userInfo;
    if (parseRetrievedURL(options.url, Retrieved::Page, start, userInfo) != 0)
        return ExitUsage;
    installInterruptHandler();
    archive.run(start, options.withHtml, [] { return interrupted(); });
    tellProblems();

    int result = archive.problems().empty() ? ExitOk : ExitFailed;
    if (writeRequestedReports(options, engine, nullptr, "") != 0)
        result = ExitFailed;
    engine.discardPending();
    int failed = countFailed(engine);
    std::fprintf(stderr, "Imported %d pages (%d failed) from %d archived responses\n",
                 engine.doneNodes.len() - failed, failed, archive.responseCount());
    if (!options.save.empty()) {
        SiteMapFile map;
        map.fileName = options.save;
        if (saveSiteMap(map, engine, options.withHtml) != 0)
            return ExitFailed;
        std::fprintf(stderr, "Saved the site map to %s\n", options.save.c_str());
    }
    return interrupted() ? 130 : result;
}

} // namespace

int runImport(int argc, char** argv) {
    // Memory follows the tree an import builds, and a tree can still outgrow the machine; what the
    // import held is freed on the way here, so the message has room.
    try {
        return importArchives(argc, argv);
    } catch (const std::bad_alloc&) {
        printError("out of memory: the import stopped; the site is bigger than this machine can hold");
        return ExitFailed;
    }
}

} // namespace lurvik::cli
