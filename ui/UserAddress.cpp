#include "UserAddress.h"

#include <cctype>

namespace lurvik {

int parseUserAddress(const std::string& input, URL& url) {
    size_t first = input.find_first_not_of(" \t");
    size_t last = input.find_last_not_of(" \t");
    std::string text = first == std::string::npos ? std::string() : input.substr(first, last - first + 1);
    size_t colon = text.find(':');
    bool hasScheme =
        text.find("://") != std::string::npos || (colon != std::string::npos && colon + 1 < text.size() &&
                                                  !std::isdigit(static_cast<unsigned char>(text[colon + 1])));
    // "mailto:x" and "news:y" have schemes without "//"; "host:8080" is a port, not a scheme.
    if (!text.empty() && !hasScheme)
        text = "http://" + text;
    return url.setURL(text);
}

std::string whyNotStartable(const std::string& text, const URL& url) {
    const std::string quoted = "\"" + text + "\"";
    if (!url.isValid())
        return quoted + " is not a web address.";
    if (!url.isHttp())
        return quoted + " is a " + std::string(url.getScheme()) +
               ": address; a site is retrieved from an http or https address.";
    if (!url.isHtml())
        return quoted + " is not a web page; a site is retrieved from a page of HTML.";
    return {};
}

} // namespace lurvik
