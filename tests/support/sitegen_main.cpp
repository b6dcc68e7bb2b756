// lurvik-sitegen OUTDIR --pages N [--seed S]: writes a generated site and its manifest into
// OUTDIR, for the crawl benchmark and for crawling a known site by hand (serve it with
// lurvik-serve or any web server). The same arguments always write the same bytes.

#include "SiteGenerator.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage(std::FILE* out = stderr) {
    std::fprintf(out, "usage: lurvik-sitegen OUTDIR --pages N [--seed S]\n"
                      "  OUTDIR      directory to write; created if missing, must be empty\n"
                      "  --pages N   pages that exist, /index.html included (1 or more)\n"
                      "  --seed S    picks the site; the same seed and N give the same bytes (default 1)\n");
    return out == stderr ? 2 : 0;
}

bool parseNumber(const char* text, unsigned long long& value) {
    if (*text == '\0' || *text == '-')
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return *end == '\0' && errno == 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string directory;
    unsigned long long pages = 0;
    unsigned long long seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
            return usage(stdout);
        if (argument == "--pages" && i + 1 < argc) {
            if (!parseNumber(argv[++i], pages) || pages == 0 || pages > 10'000'000)
                return usage();
        } else if (argument == "--seed" && i + 1 < argc) {
            if (!parseNumber(argv[++i], seed))
                return usage();
        } else if (directory.empty() && !argument.starts_with("-")) {
            directory = argument;
        } else {
            return usage();
        }
    }
    if (directory.empty() || pages == 0)
        return usage();

    lurvik::test::SiteOptions options;
    options.seed = seed;
    options.pageCount = pages;
    const lurvik::test::SiteGenerator site(options);
    if (const int error = site.writeTo(directory); error != 0) {
        std::fprintf(stderr, "lurvik-sitegen: cannot write the site to %s: %s\n", directory.c_str(),
                     std::strerror(error));
        return 1;
    }
    const lurvik::test::SiteManifest& manifest = site.manifest();
    std::fprintf(stderr,
                 "lurvik-sitegen: %zu pages, %zu broken page links, %zu images (%zu missing), "
                 "%zu downloads (%zu missing) in %s\n",
                 manifest.pages.size(), manifest.brokenPages.size(), manifest.images.size(),
                 manifest.missingImages.size(), manifest.downloads.size(), manifest.missingDownloads.size(),
                 directory.c_str());
    return 0;
}
