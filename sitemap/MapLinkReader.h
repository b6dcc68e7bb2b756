#pragma once

#include "MapAddresses.h"
#include "MapBlocks.h"
#include "StatusExtension.h"
#include "core/InputFrogFile.h"
#include "core/MemBlock.h"
#include "retrieval/SiteNode.h"

#include <memory>
#include <string>
#include <vector>

namespace lurvik {

// Reads a site map's pages again, page by page, with their links, for a command that holds the
// map as an outline (MapOutline): a command going through a million pages holds the links of the
// page it is at, not those of the whole site. Pages come in file order.
class MapLinkReader {
public:
    // Opens fileName and reads up to its first page. resourceKinds are those the outline read
    // (MapOutline::resourceKinds). 0, or 1 when the file cannot be read.
    // With LinkAddresses::Keep the pages come without their links, which are not even resolved.
    [[nodiscard]] int open(const std::string& fileName, std::vector<ResourceLinkKind> resourceKinds,
                           LinkAddresses links = LinkAddresses::Resolve);
    // Reads the next page into page: its address, title, size and links (replacing any it holds),
    // the links with the kinds the statuses gave them. 0; 1 when the file ends early or is damaged.
    [[nodiscard]] int next(SiteNode& page);
    // The number of pages the map holds, once open.
    int pageCount() const { return m_count; }

private:
    InputFrogFile m_file;
    int m_idWidth = 2;
    LinkAddresses m_linkAddresses = LinkAddresses::Resolve;
    int m_count = 0;
    int m_index = 0;
    URL m_base;
    // Remade now and then: it would otherwise come to hold every address of the site.
    std::unique_ptr<MapAddresses> m_addresses;
    MemBlock m_block;
    MemBlock m_htmlBlock; // apart: the links read view m_block
    LinkFields m_links;
    std::vector<int> m_childIds;
    std::vector<ResourceLinkKind> m_resourceKinds;
    size_t m_nextKind = 0;
};

} // namespace lurvik
