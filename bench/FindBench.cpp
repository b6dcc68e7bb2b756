// Search throughput over a site of 50,000 finished pages held in memory: a title search, which
// must take well under 50 ms for the whole site, a search of every link, and a body search whose
// pages all come from the page cache.
#include "core/PageCache.h"
#include "find/FindEngine.h"
#include "find/ObjectTypes.h"
#include "retrieval/AgentPool.h"
#include "retrieval/SiteEngine.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace lurvik;

constexpr int kPages = 50000;
constexpr int kLinksPerPage = 12;

const char* const kTopics[] = {"harbour", "market", "station", "library", "museum", "garden", "bridge",
                               "theatre", "school", "bakery",  "hotel",   "river",  "castle", "tower"};

// The site and its cache live for the whole run: building them takes longer than every
// measurement together.
class Site {
public:
    Site() {
        char pattern[] = "/tmp/lurvik-findbench-XXXXXX";
        if (mkdtemp(pattern))
            m_dir = pattern;
        CacheConfigure(1, Str(m_dir + "/"), int64_t(1) << 32, 0);
        m_cached = CacheBegin() == 0;
        CacheBlock();
        for (int i = 0; i < kPages; ++i) {
            std::string path =
                "http://www.site.example/s" + std::to_string(i % 97) + "/p" + std::to_string(i) + ".html";
            auto node = std::make_unique<SiteNode>(URL(path));
            std::string topic = kTopics[i % 14];
            node->title = "Page " + std::to_string(i) + " about the " + topic + " and its neighbours";
            node->size = 1500 + (i * 37) % 40000;
            node->state = NODE_DONE;
            for (int l = 0; l < kLinksPerPage; ++l) {
                int target = (i * 7 + l * 131) % kPages;
                int kind = l == 3 ? LINK_IMAGE : l == 7 ? LINK_FRAME : LINK_HYPERLINK;
                std::string url = l == 5   ? "mailto:desk" + std::to_string(target) + "@site.example"
                                  : l == 3 ? "http://www.site.example/img/i" + std::to_string(target) + ".gif"
                                  : l == 11 ? "http://elsewhere.example/x" + std::to_string(target) + ".html"
                                            : "http://www.site.example/s" + std::to_string(target % 97) +
                                                  "/p" + std::to_string(target) + ".html";
                node->links.add(kind, URL(url), Str("Link to the " + std::string(kTopics[target % 14])));
            }
            std::string body = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><title>" +
                               node->title.str() + "</title></head><body>";
            for (int p = 0; p < 12; ++p)
                body += "<p>Notes on the " + std::string(kTopics[(i + p) % 14]) +
                        " district, with opening hours, directions and a short history.</p>";
            body += i % 1000 == 0 ? "<p>lighthouse</p></body></html>" : "</body></html>";
            if (m_cached)
                CacheSavePage(node->url, "", Str(body));
            engine.adoptDoneNode(std::move(node));
        }
        CacheUnblock();
    }
    ~Site() {
        engine.clearSite();
        CacheEnd();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    SiteEngine engine;
    AgentPool pool;

private:
    std::string m_dir;
    bool m_cached = false;
};

Site& site() {
    static Site instance;
    return instance;
}

FindCriteria criteria(const char* text, int inTitle, int inBody, int type) {
    FindCriteria c;
    c.setObjectTypeIndex(type);
    c.setTextCriteria(text, 0, inTitle, inBody, 1, 0, 0, 0);
    c.setSizeCriterion(-1, 0);
    c.setLinksCriterion(-1, 0);
    c.setChildrenCriterion(-1, 0);
    c.setParentsCriterion(-1, 0);
    c.setExternalCriterion(-1, 0);
    return c;
}

void runSearch(benchmark::State& state, const FindCriteria& c) {
    Site& s = site();
    FindEngine find(&s.engine, s.pool);
    find.criteria = c;
    int results = 0;
    for (auto _ : state) {
        find.searchNow();
        results = find.resultCount();
    }
    state.SetItemsProcessed(state.iterations() * kPages);
    state.counters["results"] = results;
}

void BM_FindTitle(benchmark::State& state) {
    runSearch(state, criteria("harbour", 1, 0, OBJECT_ALL_PAGES));
}
BENCHMARK(BM_FindTitle)->Unit(benchmark::kMillisecond);

void BM_FindLinkText(benchmark::State& state) {
    runSearch(state, criteria("castle", 1, 0, OBJECT_ALL_LINKS));
}
BENCHMARK(BM_FindLinkText)->Unit(benchmark::kMillisecond);

void BM_FindCachedBody(benchmark::State& state) {
    runSearch(state, criteria("lighthouse", 0, 1, OBJECT_ALL_PAGES));
}
BENCHMARK(BM_FindCachedBody)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
