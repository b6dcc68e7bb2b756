// What hostile pages cost: scanning and linking must grow in step with the page, never with its
// square. Each benchmark runs at doubling sizes and fits the complexity; see bench/README.md.
#include "analysis/HtmlScanner.h"
#include "retrieval/AgentPool.h"
#include "retrieval/RetrievalScheduler.h"
#include "retrieval/SiteEngine.h"

#include <benchmark/benchmark.h>

namespace {

using namespace lurvik;

void scanRepeated(benchmark::State& state, const std::string& head, const std::string& piece,
                  const std::string& tail) {
    LinkEnvironment environment;
    environment.maxPageLinks = 0;
    theLinkEnvironment = &environment;
    std::string text = head;
    for (int64_t i = 0; i < state.range(0); ++i)
        text += piece;
    Str page(text + tail);
    URL base("http://bench.example/page.html");
    Str title, labels;
    LinkList links;
    for (auto _ : state) {
        scanPage(page, base, title, links, labels);
        benchmark::DoNotOptimize(links.len());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * page.len());
    theLinkEnvironment = nullptr;
}

// "<b><!--" again and again: every comment opener searches for a "-->" that never comes.
void scanUnclosedComments(benchmark::State& state) {
    scanRepeated(state, "", "<b><!--", "");
}
BENCHMARK(scanUnclosedComments)
    ->RangeMultiplier(2)
    ->Range(1 << 14, 1 << 18)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

// One anchor around a forest of tags: its text is cleaned of every one of them.
void scanTagsInsideAnAnchor(benchmark::State& state) {
    scanRepeated(state, "<a href=x.html>", "<b>", "text</a>");
}
BENCHMARK(scanTagsInsideAnAnchor)
    ->RangeMultiplier(2)
    ->Range(1 << 14, 1 << 18)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

void scanManyLinks(benchmark::State& state) {
    scanRepeated(state, "", "<a href=p.html>x</a>", "");
}
BENCHMARK(scanManyLinks)
    ->RangeMultiplier(2)
    ->Range(1 << 14, 1 << 18)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

// A hub page whose every link leads to a page of its own: linking finds or makes each child once.
void linkManyChildren(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        SiteEngine engine;
        engine.limitMode = LIMIT_NONE;
        AgentPool pool;
        RetrievalScheduler scheduler(engine, pool);
        SiteNode* hub = engine.findOrAddNode(URL("http://bench.example/"), 0);
        for (int64_t i = 0; i < state.range(0); ++i)
            hub->links.add(LINK_HYPERLINK, URL("http://bench.example/p" + std::to_string(i) + ".html"),
                           Str("x"));
        state.ResumeTiming();
        scheduler.linkChildren(hub);
        benchmark::DoNotOptimize(hub->children.len());
        state.PauseTiming();
        engine.halted = 1;
        engine.clearSite();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(linkManyChildren)
    ->RangeMultiplier(2)
    ->Range(1 << 13, 1 << 16)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
