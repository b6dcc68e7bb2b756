#include "OutlinePages.h"

#include <utility>

namespace lurvik::cli {

OutlinePages::OutlinePages(const MapOutline& map, std::string fileName, LinkAddresses links,
                           MapLinkReader::Texts texts)
    : m_map(map), m_fileName(std::move(fileName)), m_links(links), m_texts(texts) {}

SiteNode* OutlinePages::page(int i) {
    m_page.reset();
    if (m_failed || i >= m_map.pageCount())
        return nullptr;
    auto page = std::make_unique<SiteNode>();
    if (i < m_map.savedCount() && m_links == LinkAddresses::Resolve) {
        if ((i == 0 && m_reader.open(m_fileName, m_map.resourceKinds, m_texts) != 0) ||
            m_reader.next(*page) != 0 || page->url.view() != m_map.url(i)) {
            m_failed = true;
            return nullptr;
        }
    } else {
        // An address as a map holds it parses back to itself (the outline's test says so): a
        // search that looks at no link need not inflate the map again.
        page->url.setNormalisedURL(m_map.url(i), m_like);
        m_like = page->url;
        page->title = m_map.title(i);
        page->size = m_map.size(i);
    }
    page->state = m_map.state(i);
    page->httpStatus = m_map.httpStatus(i);
    page->children.assign(m_map.childCount(i), m_elsewhere.get());
    page->parents.assign(m_map.parentCount(i), m_elsewhere.get());
    m_page = std::move(page);
    return m_page.get();
}

} // namespace lurvik::cli
