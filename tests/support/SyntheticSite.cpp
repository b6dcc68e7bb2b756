#include "SyntheticSite.h"

namespace lurvik::test {

namespace {

constexpr std::size_t kMenuLinks = 20;

constexpr const char* kWords[] = {"archive", "river",   "lantern", "harbour", "meadow", "signal",
                                  "copper",  "orchard", "quarry",  "timber",  "violet", "ember"};

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    return x ^ (x >> 33);
}

std::string address(std::size_t n) {
    return n == 0 ? "/" : "/p" + std::to_string(n) + ".html";
}

} // namespace

std::uint64_t SyntheticSite::pick(std::size_t n, int which) const {
    return mix(m_seed * 1000003 + n * 16 + static_cast<std::uint64_t>(which));
}

bool SyntheticSite::page(const std::string& path, Page& out) const {
    std::size_t n = 0;
    if (path != "/" && path != "/index.html") {
        if (path.size() < 8 || path.compare(0, 2, "/p") != 0 ||
            path.compare(path.size() - 5, 5, ".html") != 0)
            return false;
        std::string digits = path.substr(2, path.size() - 7);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
            digits.size() > 12)
            return false;
        n = std::stoull(digits);
        if (n == 0 || n >= m_pages || address(n) != path)
            return false;
    }
    std::string words;
    for (int i = 0; i < 3; ++i)
        words += std::string(" ") + kWords[pick(n, i) % std::size(kWords)];
    std::string body = "<html><head><title>Page " + std::to_string(n) + words +
                       "</title></head><body>\n<h1>Page " + std::to_string(n) + "</h1>\n";
    // The menu every page of a real site repeats: the same twenty sections on every page.
    body += "<ul class=\"menu\">\n";
    for (std::size_t section = 1; section <= kMenuLinks; ++section)
        body += "<li><a href=\"" + address(section % m_pages) + "\">Section " + std::to_string(section) +
                "</a>\n";
    body += "</ul>\n";
    for (std::size_t child = 10 * n + 1; child <= 10 * n + 10 && child < m_pages; ++child)
        body += "<a href=\"" + address(child) + "\">Child " + std::to_string(child) + "</a>\n";
    for (int i = 0; i < 3; ++i)
        body += "<a href=\"" + address(pick(n, 10 + i) % m_pages) + "\">See also</a>\n";
    body += "<a href=\"/\">Home</a> <img src=\"/img/logo.gif\" alt=\"Logo\">\n";
    body += "<a href=\"/gone" + std::to_string(n) + ".html\">Old page</a>\n";
    std::size_t paragraphs = 2 + pick(n, 20) % 8;
    for (std::size_t i = 0; i < paragraphs; ++i)
        body += "<p>The" + words + " of page " + std::to_string(n) +
                " are described at some length here, as real pages do with their text.</p>\n";
    body += "</body></html>\n";
    out = Page();
    out.body = std::move(body);
    return true;
}

} // namespace lurvik::test
