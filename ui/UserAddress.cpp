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

} // namespace lurvik
