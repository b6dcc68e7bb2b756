#include "CliCommon.h"
#include "CrawlCommand.h"
#include "FetchCommand.h"
#include "FindCommand.h"
#include "MapCommands.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kHelp =
    "Lurvik: investigate web sites from the command line.\n"
    "\n"
    "usage: lurvik-cli <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  fetch URL [--proxy host:port] [--user user:password] [--user-agent TEXT]\n"
    "            [--no-user-agent] [--classic-http]\n"
    "      fetch one page and print its status line, reply header and body size\n"
    "  crawl URL [--limit domain|host|path|none] [--levels N] [--pages N] [--agents N]\n"
    "            [--proxy host:port] [--user user:password] [--save site.web] [--with-html]\n"
    "            [--classic-http]\n"
    "      retrieve a whole site within the limits (default: the start page's domain,\n"
    "      no level or page limit, 4 agents) and optionally save its site map\n"
    "  tree site.web\n"
    "      print the saved site tree\n"
    "  links site.web [--broken]\n"
    "      list every link: page, kind, URL, status (--broken: pages the map lacks)\n"
    "  find site.web [criteria options] [--criteria file.ifc] [--save-criteria file.ifc]\n"
    "                [--format text|tsv|json]\n"
    "      search a saved site map by type, text, counts, content, ratings or reference\n"
    "      (lurvik-cli find --help lists the criteria options)\n";
}

int main(int argc, char** argv) {
    using namespace lurvik::cli;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kHelp, argc < 2 ? stderr : stdout);
        return argc < 2 ? ExitUsage : ExitOk;
    }
    if (std::strcmp(argv[1], "fetch") == 0)
        return runFetch(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "crawl") == 0)
        return runCrawl(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "tree") == 0)
        return runTree(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "links") == 0)
        return runLinks(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "find") == 0)
        return runFind(argc - 2, argv + 2);
    printError(std::string("unknown command '") + argv[1] + "' (try --help)");
    return ExitUsage;
}
