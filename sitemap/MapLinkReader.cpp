#include "MapLinkReader.h"

#include <utility>

namespace lurvik {

namespace {

// Pages between two fresh address look-ups: enough for a site's menus to be parsed once per
// stretch, few enough that the addresses held stay a small part of the site's.
constexpr int kPagesPerAddressSet = 1 << 14;

} // namespace

int MapLinkReader::open(const std::string& fileName, std::vector<ResourceLinkKind> resourceKinds,
                        LinkAddresses links) {
    m_linkAddresses = links;
    bool wide = false;
    MemBlock header;
    Str baseHost;
    if (m_file.openCompressed(fileName) != 0 || readMapMagic(m_file, wide) != 0 || m_file.read(header) != 0)
        return 1;
    m_idWidth = wide ? 4 : 2;
    if (m_file.read(header) != 0 || header.get(m_count, m_idWidth) != 0 || header.get(baseHost) != 0)
        return 1;
    m_base = mapBase(baseHost);
    m_index = 0;
    m_resourceKinds = std::move(resourceKinds);
    m_nextKind = 0;
    return 0;
}

int MapLinkReader::next(SiteNode& page) {
    if (m_index >= m_count)
        return 1;
    const int index = m_index++;
    if (index % kPagesPerAddressSet == 0)
        m_addresses = std::make_unique<MapAddresses>();
    int id = 0;
    m_childIds.clear();
    if (readPageBlock(m_file, m_block, page, m_base, m_idWidth, *m_addresses, m_links, m_linkAddresses, id,
                      m_childIds) != 0 ||
        readHtmlBlock(m_file, m_htmlBlock, nullptr) != 0)
        return 1;
    LinkList& links = page.links;
    links.clear();
    if (m_linkAddresses == LinkAddresses::Keep)
        return 0;
    links.reserve(static_cast<int>(m_links.kinds.size()));
    for (size_t i = 0; i < m_links.kinds.size(); ++i)
        links.add(m_links.kinds[i], std::move(m_links.urls[i]), Str(m_links.texts[i]));
    for (; m_nextKind < m_resourceKinds.size() && m_resourceKinds[m_nextKind].page == index; ++m_nextKind) {
        const ResourceLinkKind& resource = m_resourceKinds[m_nextKind];
        if (resource.at < links.len())
            (links.begin() + resource.at)->kind = resource.kind;
    }
    return 0;
}

} // namespace lurvik
