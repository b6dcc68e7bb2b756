// lurvik-serve DIR [--port N]: serves DIR on 127.0.0.1 until SIGINT or SIGTERM, for
// scripts and benchmarks that crawl a fixture site from outside the test executables.
// The first line on stdout is the base URL, so a script can start it in the background
// and read where to point the crawler.

#include "SyntheticSite.h"
#include "TestServer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>

namespace {

int usage(std::FILE* out = stderr) {
    std::fprintf(out, "usage: lurvik-serve DIR [--port N] [--gzip]\n"
                      "       lurvik-serve --synthetic PAGES [--seed S] [--port N] [--gzip]\n"
                      "  DIR         directory to serve; \"/\" is DIR/index.html\n"
                      "  --synthetic a site of PAGES pages made as they are asked for\n"
                      "  --port N    port on 127.0.0.1 (default: any free port)\n"
                      "  --gzip      replies to HTTP/1.1 requests gzip-encoded and chunked\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string root;
    int port = 0;
    unsigned long long synthetic = 0;
    unsigned long long seed = 1;
    bool gzip = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            usage(stdout);
            return 0;
        }
        if (argument == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 0 || value > 65535)
                return usage();
            port = static_cast<int>(value);
        } else if (argument == "--gzip") {
            gzip = true;
        } else if ((argument == "--synthetic" || argument == "--seed") && i + 1 < argc) {
            (argument == "--seed" ? seed : synthetic) = std::strtoull(argv[++i], nullptr, 10);
        } else if (root.empty() && !argument.starts_with("-")) {
            root = argument;
        } else {
            return usage();
        }
    }
    if (root.empty() == (synthetic == 0))
        return usage();
    struct stat info {};
    if (synthetic == 0 && (stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
        std::fprintf(stderr, "lurvik-serve: cannot serve %s: not a directory\n", root.c_str());
        return 1;
    }

    // Blocked before the server's threads exist so they inherit the mask and the
    // signals wait for sigwait() below instead of killing a thread mid-reply.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    lurvik::test::TestServer server;
    lurvik::test::SyntheticSite site(seed, synthetic);
    if (synthetic > 0)
        server.serveGenerated(
            [&site](const std::string& path, lurvik::test::Page& page) { return site.page(path, page); });
    else
        server.serveDirectory(root);
    if (gzip)
        server.setCoding(lurvik::test::ReplyCoding::GzipChunked);
    if (const int error = server.start(port); error != 0) {
        std::fprintf(stderr, "lurvik-serve: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(error));
        return 1;
    }
    std::printf("%s\n", server.url("/").c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    return 0;
}
