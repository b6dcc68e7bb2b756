#include "FetchCommand.h"

#include "CliCommon.h"
#include "ConnectionOptions.h"
#include "TextEscapes.h"
#include "TlsOptions.h"
#include "platform/Clock.h"
#include "retrieval/AgentPool.h"
#include "retrieval/HttpReply.h"
#include "retrieval/Settings.h"
#include "retrieval/SiteNode.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace lurvik::cli {

namespace {

constexpr const char* kUsage =
    "usage: lurvik-cli fetch URL [options]   (lurvik-cli fetch --help lists them)\n";

void printHelp(const Settings& s) {
    std::printf("usage: lurvik-cli fetch URL [options]\n"
                "Fetches one page as a crawl would and prints the final address, the status line and reply\n"
                "header, and the body size. Defaults are your saved options. Exit status: 0 fetched, 1 not,\n"
                "2 bad usage.\n\n"
                "  --proxy host:port     send the request through a proxy (now: %s)\n"
                "  --no-proxy            connect directly\n"
                "  --user user:password  answer a basic-authentication challenge\n"
                "  --user-agent TEXT     the User-Agent header (now: %s \"%s\")\n"
                "  --no-user-agent       send no User-Agent header\n"
                "  --classic-http, --modern-http   the original request form, or today's (now: %s)\n"
                "  --no-http2, --http2   speak HTTP/1.1 only, or offer HTTP/2 to https: servers (now: %s)\n"
                "%s",
                s.useProxy == 1 ? (s.proxyServer.str() + ":" + std::to_string(s.proxyPort)).c_str() : "none",
                s.useUserAgent == 1 ? "on" : "off", s.userAgent.text(), s.classicHttp ? "classic" : "modern",
                s.useHttp2 ? "on" : "off", tlsOptionsHelp(s.caFile.str()).c_str());
}

struct FetchOptions {
    std::string url;
    Settings settings; // the saved options with this fetch's overrides applied
    std::string user;
    TlsOptions tls;
};

int parseOptions(int argc, char** argv, FetchOptions& options) {
    Settings& settings = options.settings;
    settings.loadRepairedSettings();
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return 1;
            out = argv[++i];
            return 0;
        };
        if (int taken = takeTlsOption(argc, argv, i, options.tls)) {
            if (taken < 0)
                return 1;
            continue;
        }
        if (int taken = takeConnectionOption(argc, argv, i, settings)) {
            if (taken < 0)
                return 1;
            continue;
        }
        int bad = 0;
        if (arg == "--user") {
            bad = value(options.user);
        } else if (!arg.empty() && arg[0] == '-') {
            bad = 1;
        } else if (options.url.empty()) {
            options.url = arg;
        } else {
            bad = 1;
        }
        if (bad) {
            printError("unexpected or incomplete option '" + arg + "'");
            return 1;
        }
    }
    if (options.url.empty()) {
        printError("no address given");
        return 1;
    }
    return 0;
}

// Runs the agent on its own thread and turns Ctrl-C into a cancel through its blocking hook.
void runAgent(Agent& agent, const URL& url, SiteNode& node) {
    if (agent.startFetchThread(url, &node) != 0)
        return;
    while (agent.state == AGENT_RUNNING) {
        if (interrupted())
            agent.requestCancel();
        sleepMs(10);
    }
}

void printReply(const Agent& agent) {
    Str head;
    replyHeader(agent.response, head);
    std::string_view shown = head.view();
    while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n'))
        shown.remove_suffix(1);
    Str finalUrl;
    agent.url.getURLString(finalUrl);
    std::printf("URL: %s\n", shownText(finalUrl.view()).c_str());
    if (shown.empty())
        std::printf("(no reply header)\n");
    // The header is the server's text: each line is shown as tree shows a title.
    while (!shown.empty()) {
        const size_t end = shown.find('\n');
        std::string_view line = shown.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::printf("%s\n", shownText(line).c_str());
        shown.remove_prefix(end == std::string_view::npos ? shown.size() : end + 1);
    }
    std::printf("\nBody: %d bytes\n", agent.response.len() - head.len());
}

} // namespace

int runFetch(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        Settings settings;
        settings.loadRepairedSettings();
        printHelp(settings);
        return ExitOk;
    }
    FetchOptions options;
    if (parseOptions(argc, argv, options) != 0) {
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }
    URL url;
    std::string userInfo;
    if (parseRetrievedURL(options.url, Retrieved::Any, url, userInfo) != 0 ||
        refuseClassicSecure(url, options.settings.classicHttp) != 0)
        return ExitUsage;

    AgentPool pool;
    options.settings.applyToPool(pool);
    pool.setAgentCounts(1, 0);
    if (options.settings.useProxy == 1 && pool.proxyAddress == 0) {
        printError("cannot resolve the proxy " + options.settings.proxyServer.str());
        return ExitFailed;
    }
    if (options.user.empty())
        options.user = userInfo;
    // Credentials typed for this one fetch are meant to be sent, whatever the saved options say
    // about the ones the desktop program asks for.
    if (!options.user.empty()) {
        pool.setUseCredentials(1);
        answerCredentials(pool, options.user, credentialSite(url));
    }
    applyTlsOptions(options.tls);
    installInterruptHandler();

    SiteNode node(url);
    Agent* agent = pool.getForegroundAgent();
    runAgent(*agent, url, node);
    // A challenge for a realm the user has credentials for is answered once, as the retrieval does.
    if (agent->state == AGENT_FAILED && agent->status == 401 && !agent->realm.isEmpty() &&
        node.authRealm.isEmpty() && pool.askCredentials(credentialSite(agent->url), agent->realm) == 0) {
        node.authRealm = agent->realm;
        agent->resetAgent();
        runAgent(*agent, url, node);
    }

    Str text;
    url.getURLString(text);
    switch (agent->state.load()) {
    case AGENT_FINISHED:
        printReply(*agent);
        return ExitOk;
    case AGENT_CANCELLED:
        printError("cancelled: " + text.str());
        return ExitFailed;
    default:
        printError("cannot fetch " + text.str() + ": " + agent->errorText.str());
        return ExitFailed;
    }
}

} // namespace lurvik::cli
