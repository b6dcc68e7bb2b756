#include "CliCommon.h"

#include "TextEscapes.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace lurvik::cli {

namespace {
std::atomic<bool> g_interrupted{false};

void onSignal(int) {
    g_interrupted = true;
}
} // namespace

void printError(const std::string& message) {
    // Messages quote what servers and files said, which must not steer the terminal.
    std::fprintf(stderr, "lurvik-cli: %s\n", shownText(message).c_str());
}

int parseUserURL(const std::string& text, URL& out, std::string& userInfo) {
    std::string withScheme = text.find("://") == std::string::npos && text.find(':') == std::string::npos
                                 ? "http://" + text
                                 : text;
    // "localhost:8080/x" reads as a scheme to a URL parser, but a user means a host and port.
    if (withScheme == text && text.find("://") == std::string::npos && !text.empty() &&
        std::isdigit(static_cast<unsigned char>(text[text.find(':') + 1])))
        withScheme = "http://" + text;
    if (out.setURL(withScheme) != 0)
        return 1;
    userInfo = out.takeUserInfo();
    return 0;
}

int parseRetrievedURL(const std::string& text, Retrieved what, URL& out, std::string& userInfo) {
    if (parseUserURL(text, out, userInfo) != 0) {
        printError("not a valid address: " + text);
        return 1;
    }
    if (what == Retrieved::Page && !out.isHtml()) {
        printError("the start address must be an http: or https: page: " + text);
        return 1;
    }
    if (!out.isHttp()) {
        printError("only http: and https: addresses can be fetched: " + text);
        return 1;
    }
    return 0;
}

int refuseClassicSecure(const URL& url, int classicHttp) {
    if (!classicHttp || !url.isSecure())
        return 0;
    // The original request form has no TLS: sent to an https: port it would only wait for an
    // answer that never comes.
    printError("--classic-http speaks plain HTTP only; an https: address needs --modern-http: " + url.text());
    return 1;
}

int parseHostPort(const std::string& text, Str& host, int& port) {
    size_t colon = text.rfind(':');
    std::string name = colon == std::string::npos ? text : text.substr(0, colon);
    port = 80;
    if (colon != std::string::npos) {
        std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return 1;
        port = std::stoi(digits);
        if (port < 1 || port > 65535)
            return 1;
    }
    if (name.empty())
        return 1;
    host = name;
    return 0;
}

void answerCredentials(AgentPool& pool, const std::string& userColonPassword, const Str& site) {
    size_t colon = userColonPassword.find(':');
    std::string user = userColonPassword.substr(0, colon);
    std::string password = colon == std::string::npos ? "" : userColonPassword.substr(colon + 1);
    // Nobody is there to ask for another pair: a refused one, or another site, fails the page.
    pool.onNeedPassword = nullptr;
    pool.giveSiteCredentials(site, Str(user), Str(password));
}

bool asksForHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

bool interrupted() {
    return g_interrupted;
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace lurvik::cli
