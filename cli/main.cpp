#include "CliCommon.h"
#include "FetchCommand.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kHelp = "Lurvik: investigate web sites from the command line.\n"
                              "\n"
                              "usage: lurvik-cli <command> [arguments]\n"
                              "\n"
                              "commands:\n"
                              "  fetch URL [--proxy host:port] [--user user:password] [--user-agent TEXT]\n"
                              "            [--no-user-agent] [--classic-http]\n"
                              "      fetch one page and print its status line, reply header and body size\n";
}

int main(int argc, char** argv) {
    using namespace lurvik::cli;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kHelp, argc < 2 ? stderr : stdout);
        return argc < 2 ? ExitUsage : ExitOk;
    }
    if (std::strcmp(argv[1], "fetch") == 0)
        return runFetch(argc - 2, argv + 2);
    printError(std::string("unknown command '") + argv[1] + "' (try --help)");
    return ExitUsage;
}
