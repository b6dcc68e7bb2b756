// Opens a saved site map and saves it again, timing each, so the map's load and save can be
// measured apart from a crawl and from a command's start-up and exit.
//   bench_map MAP [COPY]     (COPY defaults to MAP.copy.web)
#include "sitemap/SiteMapFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_map MAP [COPY]\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point from) {
        return std::chrono::duration<double>(Clock::now() - from).count();
    };
    lurvik::SiteEngine engine;
    lurvik::SiteMapFile loading;
    loading.fileName = lurvik::Str(argv[1]);
    auto start = Clock::now();
    if (int result = loading.open(engine); result != 0) {
        std::fprintf(stderr, "%s\n",
                     loading.errorText.isEmpty() ? lurvik::siteMapErrorText(result)
                                                 : loading.errorText.text());
        return 1;
    }
    const double load = seconds(start);
    lurvik::SiteMapFile saving;
    saving.fileName = lurvik::Str(argc > 2 ? argv[2] : std::string(argv[1]) + ".copy.web");
    saving.checkedLinks = loading.checkedLinks;
    start = Clock::now();
    if (int result = saving.save(engine, nullptr, false); result != 0) {
        std::fprintf(stderr, "%s\n",
                     saving.errorText.isEmpty() ? lurvik::siteMapErrorText(result) : saving.errorText.text());
        return 1;
    }
    std::printf("%d nodes, load %.2f s, save %.2f s\n", engine.nodeCount(), load, seconds(start));
    std::fflush(stdout);
    // The site goes with the process, as in the commands.
    std::_Exit(0);
}
