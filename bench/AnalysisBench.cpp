// Page analysis throughput: the scanner over real-world-shaped HTML, reported as bytes of HTML
// per second on one core, and the classification every link record goes through.
#include "analysis/FileTypeTable.h"
#include "analysis/HtmlScanner.h"
#include "analysis/LinkList.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace lurvik;

// The scanner corpus, concatenated into one page of about a megabyte: the same mix of tags,
// attributes and text a crawl meets, long enough that per-call costs do not dominate.
std::string corpusPage() {
    std::string corpus;
    for (const auto& entry : std::filesystem::directory_iterator(LURVIK_CORPUS_DIR)) {
        if (entry.path().extension() != ".html")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        corpus += buffer.str();
    }
    std::string page = "<html><head><title>Benchmark page</title></head><body>";
    while (page.size() < (1 << 20))
        page += corpus + "<p>Some ordinary paragraph text between the links, as pages have.</p>\n";
    return page;
}

// Argument 0: the original reading; 1: the modern one, as a browser reads the page.
void scanCorpus(benchmark::State& state) {
    LinkEnvironment environment;
    theLinkEnvironment = &environment;
    Str page(corpusPage());
    URL base("http://bench.example/dir/page.html");
    Str title, labels;
    LinkList links;
    const LinkReading reading = state.range(0) ? LinkReading::Browser : LinkReading::Classic;
    for (auto _ : state) {
        labels.clear();
        scanPage(page, base, title, links, labels, reading);
        benchmark::DoNotOptimize(links.len());
    }
    state.SetBytesProcessed(state.iterations() * page.len());
    state.counters["links"] = links.len();
    theLinkEnvironment = nullptr;
}
BENCHMARK(scanCorpus)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void classifyLinks(benchmark::State& state) {
    LinkEnvironment environment;
    theLinkEnvironment = &environment;
    const char* addresses[] = {"http://x.example/a/b.html",
                               "http://x.example/img/logo.gif",
                               "mailto:me@x.example",
                               "ftp://ftp.x.example/pub/f.zip",
                               "http://x.example/cgi-bin/q.cgi?x=1",
                               "http://x.example/docs/",
                               "http://x.example/page.shtml",
                               "news:alt.test"};
    std::vector<URL> urls;
    for (const char* address : addresses)
        urls.emplace_back(address);
    Str name;
    for (auto _ : state) {
        for (size_t i = 0; i < urls.size(); ++i) {
            LinkRecord link(i == 1 ? LINK_IMAGE : LINK_HYPERLINK, urls[i], "link text");
            link.typeName(name);
            benchmark::DoNotOptimize(link.iconIndex() + link.isHtmlLink());
        }
    }
    state.SetItemsProcessed(state.iterations() * urls.size());
    theLinkEnvironment = nullptr;
}
BENCHMARK(classifyLinks);

} // namespace

BENCHMARK_MAIN();
