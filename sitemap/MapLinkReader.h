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

// Reads the links of a site map's pages again, page by page, for a map opened without them
// (SiteMapFile::Links::Skip): a command that goes through a million pages holds the links of the
// page it is at, not those of the whole site. Pages come in file order, which is the order the
// open put them in the engine's done list.
class MapLinkReader {
public:
    // Opens fileName and reads up to its first page. resourceKinds are those the open that skipped
    // the links gave (SiteMapFile::resourceKinds). 0, or 1 when the file cannot be read.
    [[nodiscard]] int open(const std::string& fileName, std::vector<ResourceLinkKind> resourceKinds);
    // Gives page, the map's next page as the open loaded it, its links (replacing any it holds).
    // 0; 1 when the file ends early or is damaged, or no longer holds that page there (it was
    // written again since it was opened).
    [[nodiscard]] int next(SiteNode& page);
    // The number of pages the map holds, once open.
    int pageCount() const { return m_count; }

private:
    InputFrogFile m_file;
    int m_idWidth = 2;
    int m_count = 0;
    int m_index = 0;
    URL m_base;
    // Remade now and then: it would otherwise come to hold every address of the site.
    std::unique_ptr<MapAddresses> m_addresses;
    MemBlock m_block;
    MemBlock m_htmlBlock; // apart: the links read view m_block
    LinkFields m_links;
    SiteNode m_read;
    std::vector<int> m_childIds;
    std::vector<ResourceLinkKind> m_resourceKinds;
    size_t m_nextKind = 0;
};

} // namespace lurvik
