#pragma once

#include "Reply.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lurvik::test {

// A site of any size made page by page as it is asked for, the same bytes for the same seed, so
// a million pages need no disk. Page n is "/p<n>.html" ("/" is page 0). Like the pages of a real
// site it repeats a menu (twenty links to the same section pages everywhere), links to its
// children 10n+1 to 10n+10 (a tree that reaches every page), to three other pages chosen by the
// seed, back to "/", to an image and to one page that does not exist: about 27 links a page.
// Bodies are 2 to 4 KB.
class SyntheticSite {
public:
    SyntheticSite(std::uint64_t seed, std::size_t pages) : m_seed(seed), m_pages(pages ? pages : 1) {}

    // The page at path; false for a path that is not one of the site's pages.
    bool page(const std::string& path, Page& out) const;

private:
    std::uint64_t pick(std::size_t n, int which) const;

    std::uint64_t m_seed;
    std::size_t m_pages;
};

} // namespace lurvik::test
