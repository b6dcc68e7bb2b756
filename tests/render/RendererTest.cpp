#include "render/Renderer.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <map>

using namespace lurvik;

namespace {

// Results by id, waiting at most timeoutMs for count of them.
std::map<uint64_t, RenderResult> results(Renderer& renderer, size_t count, int timeoutMs) {
    std::map<uint64_t, RenderResult> out;
    const int64_t deadline = tickCount() + timeoutMs;
    while (out.size() < count && tickCount() < deadline) {
        RenderResult result;
        if (renderer.takeResult(result))
            out[result.id] = std::move(result);
        else
            sleepMs(10);
    }
    return out;
}

// A tab whose renderer crashes fails its own page; the next page gets a new tab. The document is
// the job's body: no server is needed, and none is asked.
TEST(Renderer, ACrashedTabFailsItsPageOnly) {
    RendererOptions options;
    options.tabs = 1;
    Renderer renderer(options);
    const RenderError started = renderer.start();
    if (started == RenderError::NotInstalled)
        GTEST_SKIP() << "chromium-headless-shell is not installed: rendering is not tested";
    ASSERT_EQ(started, RenderError::None);
    RenderJob crash;
    crash.url = "chrome://crash";
    RenderJob page;
    page.url = "http://127.0.0.1:9/page.html";
    page.contentType = "text/html";
    page.body = "<p id=p></p><script>document.getElementById('p').textContent = 'ran';</script>";
    const uint64_t crashed = renderer.submit(crash);
    const uint64_t rendered = renderer.submit(page);
    auto got = results(renderer, 2, 30000);
    ASSERT_EQ(got.size(), 2u);
    // Told to crash, the browser may answer the navigation with an error before it says the
    // tab crashed: either way the page failed, and the tab is not used again.
    EXPECT_TRUE(got[crashed].error == RenderError::TabCrashed ||
                got[crashed].error == RenderError::LoadFailed)
        << renderErrorText(got[crashed].error);
    EXPECT_EQ(got[rendered].error, RenderError::None);
    EXPECT_NE(got[rendered].html.find("<p id=\"p\">ran</p>"), std::string::npos) << got[rendered].html;
    EXPECT_EQ(got[rendered].finalUrl, page.url);
    EXPECT_EQ(renderer.restarts(), 0);
}

} // namespace
