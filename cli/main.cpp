#include "CliCommon.h"
#include "CrawlCommand.h"
#include "DiffCommand.h"
#include "ExportCommand.h"
#include "FetchCommand.h"
#include "FindCommand.h"
#include "ImportCommand.h"
#include "MapCommands.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
constexpr const char* kHelp =
    "Lurvik: investigate web sites from the command line.\n"
    "\n"
    "usage: lurvik-cli <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  fetch URL [--proxy host:port] [--user user:password] [--user-agent TEXT]\n"
    "            [--no-user-agent] [--classic-http] [--no-http2] [--ca-file FILE] [--insecure]\n"
    "      fetch one page and print its status line, reply header and body size\n"
    "  crawl URL [options]\n"
    "      retrieve a whole site within the limits, with reports and link checks, and\n"
    "      optionally save its site map (lurvik-cli crawl --help lists the options)\n"
    "  tree site.web\n"
    "      print the saved site tree, failed pages with their error\n"
    "  links site.web [--broken | --blocked]\n"
    "      list every link: page, kind, URL, target status (--broken: targets that are missing\n"
    "      or wrong; --blocked: targets whose server refused the crawler)\n"
    "  export site.web [--sitemap-xml FILE] [--csv FILE] [--html FILE]\n"
    "      write the saved pages as a sitemaps.org urlset, the page report as CSV, or the\n"
    "      site tree as a web page of nested lists\n"
    "  find site.web [criteria options] [--criteria file.ifc] [--save-criteria file.ifc]\n"
    "                [--format text|tsv|json]\n"
    "      search a saved site map by type, text, counts, content, ratings or reference\n"
    "      (lurvik-cli find --help lists the criteria options)\n"
    "  diff OLD.web NEW.web [--format tsv|jsonl|html] [--out FILE] [--links]\n"
    "      what changed between two crawls: pages added and removed, newly broken pages and\n"
    "      links first, status, title and link changes (exit status 1 when something broke)\n"
    "  import FILE.warc[.gz]... [--start URL] [crawl limits] --save site.web\n"
    "      build the site tree from the responses a crawler archived in WARC files, as if the\n"
    "      site had been crawled (same limits, reports and site map options as crawl)\n"
    "\n"
    "crawl, fetch and find (for the bodies a map lacks) take --ca-file FILE, to trust the\n"
    "certificates in FILE too, and --insecure, to check no certificate at all.\n";
}

namespace {

int runCommand(int argc, char** argv) {
    using namespace lurvik::cli;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kHelp, argc < 2 ? stderr : stdout);
        return argc < 2 ? ExitUsage : ExitOk;
    }
    if (std::strcmp(argv[1], "fetch") == 0)
        return runFetch(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "crawl") == 0)
        return runCrawl(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "export") == 0)
        return runExport(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "tree") == 0)
        return runTree(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "links") == 0)
        return runLinks(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "diff") == 0)
        return runDiff(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "find") == 0)
        return runFind(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "import") == 0)
        return runImport(argc - 2, argv + 2);
    printError(std::string("unknown command '") + argv[1] + "' (try --help)");
    return ExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    using namespace lurvik::cli;
    // A file past the size the system allows ends its write with an error the writers report
    // (and the previous map stays), instead of killing the crawl with everything it had.
    std::signal(SIGXFSZ, SIG_IGN);
    int result = runCommand(argc, argv);
    // A full disk or a closed reader behind stdout must not pass for success: a script would take
    // the half-written output for the whole.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        printError(std::string("cannot write to standard output: ") + std::strerror(errno ? errno : EIO));
        return result == ExitOk ? ExitFailed : result;
    }
    return result;
}
