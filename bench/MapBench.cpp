// Opens a saved site map and saves it again, timing each, so the map's load and save can be
// measured apart from a crawl and from a command's start-up and exit.
//   bench_map MAP [COPY]     (COPY defaults to MAP.copy.web)
#include "sitemap/SiteMapFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_map MAP [COPY]\n");
        return 2;
    }
    // Wall time moves with whatever else the machine runs; the process's CPU time moves less.
    auto cpuSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
        return seconds(usage.ru_utime) + seconds(usage.ru_stime);
    };
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point from) {
        return std::chrono::duration<double>(Clock::now() - from).count();
    };
    lurvik::SiteEngine engine;
    lurvik::SiteMapFile loading;
    loading.fileName = lurvik::Str(argv[1]);
    auto start = Clock::now();
    double cpuStart = cpuSeconds();
    if (int result = loading.open(engine); result != 0) {
        std::fprintf(stderr, "%s\n",
                     loading.errorText.isEmpty() ? lurvik::siteMapErrorText(result)
                                                 : loading.errorText.text());
        return 1;
    }
    const double load = seconds(start);
    const double loadCpu = cpuSeconds() - cpuStart;
    lurvik::SiteMapFile saving;
    saving.fileName = lurvik::Str(argc > 2 ? argv[2] : std::string(argv[1]) + ".copy.web");
    saving.checkedLinks = loading.checkedLinks;
    start = Clock::now();
    cpuStart = cpuSeconds();
    if (int result = saving.save(engine, nullptr, false); result != 0) {
        std::fprintf(stderr, "%s\n",
                     saving.errorText.isEmpty() ? lurvik::siteMapErrorText(result) : saving.errorText.text());
        return 1;
    }
    std::printf("%d nodes, load %.2f s (CPU %.2f s), save %.2f s (CPU %.2f s)\n", engine.nodeCount(), load,
                loadCpu, seconds(start), cpuSeconds() - cpuStart);
    std::fflush(stdout);
    // The site goes with the process, as in the commands.
    std::_Exit(0);
}
