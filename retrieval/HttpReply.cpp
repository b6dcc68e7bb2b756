#include "HttpReply.h"

#include <cstdint>
#include <ctime>

namespace lurvik {

namespace {

struct TitleMessage {
    const char* title;
    const char* message;
};

// Servers of the time sent bare error pages without a status line; their titles tell.
constexpr TitleMessage kErrorTitles[] = {
    {"Not Found", "Page Not Found"},         {"Forbidden", "Access Forbidden"},
    {"Unauthorized", "Unauthorized Access"}, {"404 Not Found", "Page Not Found"},
    {"403 Forbidden", "Access Forbidden"},   {"401 Unauthorized", "Unauthorized Access"},
    {"File Not Found", "Page Not Found"},
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int parseStatus(const Str& response, Str& errorText, int& status) {
    status = 0;
    if (response.ncmp("HTTP/", 5) == 0 && response.len() >= 12) {
        Str digits;
        response.substr(9, 3, digits);
        if (isDigit(digits[0]) && isDigit(digits[1]) && isDigit(digits[2])) {
            int code = digits.toInt();
            if (code >= 400 && code <= 599) {
                int nl = response.find('\n');
                response.substr(0, nl < 0 ? 12 : nl, errorText);
                errorText.strip();
                status = code;
                return 1;
            }
            if (code >= 100)
                status = code;
        }
    }

    int end = response.find('\n');
    if (end < 0)
        end = response.len();
    if (end < 4)
        return 0;
    // An error title stands on the status line: the body beyond it is no business of this.
    const size_t titleEnd = response.view().substr(0, static_cast<size_t>(end)).find("</TITLE>");
    const int close = titleEnd == std::string_view::npos ? -1 : static_cast<int>(titleEnd);
    if (close < 4 || close >= 255)
        return 0;
    int open = response.findr('>', close - 1);
    if (open < 0)
        return 0;
    Str title;
    response.substr(open + 1, close - open - 1, title);
    for (const auto& entry : kErrorTitles) {
        if (title.icmp(entry.title) == 0) {
            errorText = entry.message;
            return 1;
        }
    }
    return 0;
}

int parseRealm(const Str& response, Str& realm) {
    static constexpr std::string_view kChallenge = "WWW-authenticate: basic realm=\"";
    int at = response.find(kChallenge, 0, false);
    if (at < 0)
        return 1;
    int start = at + static_cast<int>(kChallenge.size());
    int quote = response.find('"', start);
    int length = quote - start;
    if (quote < 0 || length < 1 || length > 128)
        return 1;
    response.substr(start, length, realm);
    return 0;
}

int headerValue(const Str& name, const Str& response, Str& value) {
    if (response.ncmp("HTTP/", 5) != 0)
        return 1;
    int at = response.find(name.view(), 0, false);
    if (at < 0)
        return 1;
    int start = at + name.len() + 2;
    int nl = response.find('\n', start);
    int end = nl < 0 ? response.len() : nl;
    if (end > start && response[end - 1] == '\r')
        --end;
    int length = end - start;
    if (length < 1 || length > 512)
        return 1;
    response.substr(start, length, value);
    return 0;
}

int headerField(std::string_view name, std::string_view reply, Str& value) {
    if (reply.substr(0, 5) != "HTTP/")
        return 1;
    const size_t headEnd = replyHeadEnd(reply);
    const std::string_view head = reply.substr(0, headEnd == std::string_view::npos ? reply.size() : headEnd);
    constexpr size_t kMostValue = 8192;
    for (size_t line = head.find('\n'); line != std::string_view::npos; line = head.find('\n', line + 1)) {
        const size_t start = line + 1;
        if (head.size() - start <= name.size() || Str(head.substr(start, name.size())).icmp(name) != 0)
            continue;
        size_t colon = start + name.size();
        while (colon < head.size() && (head[colon] == ' ' || head[colon] == '\t'))
            ++colon;
        if (colon >= head.size() || head[colon] != ':')
            continue;
        const size_t end = head.find('\n', colon);
        std::string_view text =
            head.substr(colon + 1, (end == std::string_view::npos ? head.size() : end) - colon - 1);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
            text.remove_suffix(1);
        if (text.empty() || text.size() > kMostValue)
            return 1;
        value.cpy(text);
        return 0;
    }
    return 1;
}

void replyHeader(const Str& response, Str& out) {
    out.clear();
    out.cat(response.view().substr(0, replyHeaderLength(response.view())));
}

bool isBotChallenge(const Str& response) {
    Str value;
    if (headerValue("cf-mitigated", response, value) == 0 && value.find("challenge") >= 0)
        return true;
    for (const char* marker : {"/cdn-cgi/challenge-platform/", "_Incapsula_Resource", "captcha"})
        if (response.find(marker, 0, false) >= 0)
            return true;
    return false;
}

int parseRetryAfter(const Str& response) {
    Str value;
    if (headerValue("Retry-After", response, value) != 0)
        return -1;
    value.strip();
    const std::string text = value.str();
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
        return text.size() > 6 ? INT32_MAX : std::stoi(text) * 1000;
    std::tm time{};
    const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S", &time);
    if (!end)
        return -1;
    const std::time_t when = timegm(&time);
    const std::time_t now = std::time(nullptr);
    if (when <= now)
        return 0;
    return when - now > INT32_MAX / 1000 ? INT32_MAX : static_cast<int>(when - now) * 1000;
}

} // namespace lurvik
