#pragma once

#include "sitemap/MapLinkReader.h"
#include "sitemap/MapOutline.h"

#include <memory>
#include <string>

namespace lurvik::cli {

// The pages of a map read as an outline, made one at a time as a search comes to them: each a
// SiteNode of its own with what the search reads of it (address, title, size, state, status, how
// many pages it links to and how many link to it) and, when asked for, its links read again from
// the file (LinkAddresses::Resolve). The node of a page goes when the next is made, so a million-page search
// holds one.
class OutlinePages {
public:
    OutlinePages(const MapOutline& map, std::string fileName, LinkAddresses links,
                 MapLinkReader::Texts texts = MapLinkReader::Texts::Read);

    // Page i, or null past the last page or when the file cannot be read again (failed() says so).
    SiteNode* page(int i);
    bool failed() const { return m_failed; }

private:
    const MapOutline& m_map;
    std::string m_fileName;
    LinkAddresses m_links;
    MapLinkReader::Texts m_texts;
    MapLinkReader m_reader;
    // What a page's parents and children lists hold: a search only counts them. Declared before
    // the page, so that it is still there when the page leaves those lists.
    std::unique_ptr<SiteNode> m_elsewhere = std::make_unique<SiteNode>();
    std::unique_ptr<SiteNode> m_page;
    bool m_failed = false;
    URL m_like; // the address of the page before, most often of the same site
};

} // namespace lurvik::cli
