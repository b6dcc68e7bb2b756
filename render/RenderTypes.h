#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lurvik {

// Why a page could not be rendered; None when it was.
enum class RenderError : int {
    None = 0,
    NotInstalled, // no browser to start
    LaunchFailed, // the browser would not start or answer
    TimedOut,     // the page's scripts or requests never settled within the time limit
    TabCrashed,   // the tab's renderer process ended while the page was in it
    BrowserEnded, // the browser ended twice while the page was in it
    LoadFailed,   // the browser could not load the page or read its document
    Stopped,      // the renderer was stopped before the page's turn
};

// The "Error - " text a page that failed for error shows.
const char* renderErrorText(RenderError error);

// One request a rendered page made, as the browser saw it.
struct RenderedRequest {
    std::string url;
    // The browser's name for what asked: "Script", "Fetch", "XHR", "Image", "Document"...
    std::string type;
    int status = 0;       // of the reply; 0 when none came
    std::string error;    // the browser's reason when it failed ("net::ERR_...")
    bool blocked = false; // refused by allowRequest: never sent
};

// What the crawl says of a request a rendered page makes.
enum class RequestVerdict {
    Allow,
    Refuse,
    // Not yet known (the host's robots.txt is on its way): the request waits and is asked about
    // again, within the page's time limit.
    Wait,
};

// A page to render. The document is answered with the reply the crawl already has, so the
// browser never asks the server for it a second time; everything else the page asks for is
// put to allowRequest first.
struct RenderJob {
    std::string url;
    int status = 200;
    std::string contentType;
    std::string body;
    // Called on the renderer's thread for each request the page makes, again while it says Wait.
    std::function<RequestVerdict(const std::string& url)> allowRequest;
    // Called on the renderer's thread when a server asks for credentials; true with a pair to
    // answer with.
    std::function<bool(const std::string& url, const std::string& realm, std::string& user,
                       std::string& password)>
        credentials;
};

struct RenderResult {
    uint64_t id = 0;
    RenderError error = RenderError::None;
    // The document's address when it was read: a script may have changed it (hash routes,
    // history.pushState).
    std::string finalUrl;
    std::string html;
    std::vector<RenderedRequest> requests;
};

struct RendererOptions {
    // The browser program; empty: chromium-headless-shell from the usual places.
    std::string browser;
    int tabs = 1;
    int timeoutMs = 15000;
    // How long the page's network must stay quiet after its load event before it counts as
    // settled.
    int quietMs = 500;
    // "host:port", or empty for a direct connection.
    std::string proxy;
    // Empty: the browser's own.
    std::string userAgent;
    // The least time between two requests the pages make to one host.
    int hostDelayMs = 0;
    // The most requests the pages may have in flight to one host at once; 0: no bound.
    int hostRequestsMost = 0;

    bool operator==(const RendererOptions&) const = default;
};

} // namespace lurvik
