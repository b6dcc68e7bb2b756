#pragma once

#include "CrawlFixture.h"
#include "retrieval/PageRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace lurvik::test {

inline std::string page(const std::string& body) {
    return "<!doctype html><html><head><title>t</title></head><body>" + body + "</body></html>";
}

// A script that adds a link to href once its data or its time has come.
inline std::string addLink(const std::string& href) {
    return "const a = document.createElement('a'); a.href = '" + href +
           "'; a.textContent = 'made'; document.body.appendChild(a);";
}

// A crawl whose HTML pages a headless browser renders, limited to the start page's path unless a
// test says otherwise. START_RENDERER skips the test where the browser is not installed.
class RenderedCrawl : public CrawlFixture {
protected:
    void SetUp() override {
        CrawlFixture::SetUp();
        engine.limitMode = LIMIT_PATH;
    }
    void TearDown() override {
        scheduler.stopRetrieval();
        scheduler.setRenderer(nullptr);
        renderer.reset();
        CrawlFixture::TearDown();
    }
    // false when there is no browser to start.
    bool startRenderer(int tabs, int timeoutMs, RendererOptions options = {}) {
        options.tabs = tabs;
        options.timeoutMs = timeoutMs;
        renderer = std::make_unique<PageRenderer>(engine, pool, options);
        const RenderError error = renderer->start();
        if (error == RenderError::NotInstalled)
            return false;
        EXPECT_EQ(error, RenderError::None);
        scheduler.setRenderer(renderer.get());
        return true;
    }
    bool isDone(const std::string& path) {
        SiteNode* found = engine.findNode(URL(server.url(path)), true, true);
        return found && found->state == NODE_DONE;
    }
    const LinkRecord* linkTo(SiteNode* page, const std::string& path, int* index = nullptr) {
        for (int i = 0; i < page->links.len(); ++i) {
            if (page->links.get(i)->url.view() == server.url(path)) {
                if (index)
                    *index = i;
                return page->links.get(i);
            }
        }
        return nullptr;
    }
    bool isRendered(SiteNode* page, int index) {
        const auto* marks = page->renderedLinks.get();
        return marks && std::find(marks->begin(), marks->end(), static_cast<uint32_t>(index)) != marks->end();
    }

    std::unique_ptr<PageRenderer> renderer;
};

#define START_RENDERER(...)                                                                                  \
    if (!startRenderer(__VA_ARGS__))                                                                         \
    GTEST_SKIP() << "chromium-headless-shell is not installed: rendering is not tested"

} // namespace lurvik::test
