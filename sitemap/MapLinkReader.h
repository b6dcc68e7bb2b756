#pragma once

#include "MapAddresses.h"
#include "MapBlocks.h"
#include "MapOutline.h"
#include "StatusExtension.h"
#include "core/BatchesAhead.h"
#include "core/InputFrogFile.h"
#include "core/MemBlock.h"
#include "retrieval/SiteNode.h"

#include <memory>
#include <string>
#include <vector>

namespace lurvik {

// Reads a site map's pages again, page by page, with their links, for a command that holds the
// map as an outline (MapOutline): a command going through a million pages holds the links of the
// page it is at, not those of the whole site. Pages come in file order. The file is read and the
// links' addresses resolved on a thread of its own, a few batches of pages ahead; the records
// are made where they are asked for, since making one teaches the engine's type table.
class MapLinkReader {
public:
    ~MapLinkReader();
    // Opens fileName and reads up to its first page. resourceKinds are those the outline read
    // (MapOutline::resourceKinds). Without texts, the links come with empty texts, for a command
    // that shows none. With targets, each link comes with the page of that outline its address
    // names (target()), looked up on the reading thread. 0, or 1 when the file cannot be read.
    enum class Texts { Read, Skip };
    [[nodiscard]] int open(const std::string& fileName, std::vector<ResourceLinkKind> resourceKinds,
                           Texts texts = Texts::Read, const MapOutline* targets = nullptr);
    // Reads the next page into page: its address, title, size and links (replacing any it holds),
    // the links with the kinds the statuses gave them. 0; 1 when the file ends early or is damaged.
    [[nodiscard]] int next(SiteNode& page);
    // With targets given to open(): the page the link at place i of the page last read leads to,
    // else -1.
    int target(int i) const { return m_targets[i]; }
    // The number of pages the map holds, once open.
    int pageCount() const { return m_count; }

private:
    // A page as the reading thread leaves it: the texts of its links end to end.
    struct Page {
        URL url;
        SharedText title;
        int size = 0;
        int state = 0;
        std::vector<int> kinds;
        std::vector<URL> urls; // empty where the address is the one at its place on the page before
        std::vector<uint8_t> asBefore;
        std::string texts;
        std::vector<uint32_t> textEnds;
        std::vector<int> targets;
    };
    struct Batch {
        std::vector<Page> pages;
        size_t count = 0;
        // The page after the last one filled could not be read.
        bool failed = false;
    };
    bool fill(Batch& batch);
    int readPage(Page& page);
    void findTargets(Batch& batch);

    // The reading thread's, once open.
    InputFrogFile m_file;
    int m_idWidth = 2;
    Texts m_texts = Texts::Read;
    int m_count = 0;
    int m_read = 0;
    URL m_base;
    // Emptied now and then, at the first page too: it would otherwise come to hold every address
    // of the site.
    MapAddresses m_addresses;
    MemBlock m_block;
    MemBlock m_htmlBlock; // apart: the links read view m_block
    LinkFields m_links;
    PageHead m_node;
    std::vector<int> m_childIds;
    const MapOutline* m_outline = nullptr;
    // The hashes of the addresses a batch looks up, and the targets of the links the addresses
    // were last looked up for, by place: what a link marked as before leads to.
    std::vector<uint64_t> m_hashes;
    std::vector<int> m_placeTargets;

    // The taker's.
    std::unique_ptr<BatchesAhead<Batch>> m_ahead;
    Batch* m_batch = nullptr;
    size_t m_inBatch = 0;
    int m_index = 0;
    std::vector<ResourceLinkKind> m_resourceKinds;
    size_t m_nextKind = 0;
    // The addresses of the page before, the kinds it read them as and their texts, by place.
    std::vector<URL> m_placeURLs;
    std::vector<int> m_placeKinds;
    std::vector<SharedText> m_placeTexts;
    std::vector<int> m_targets;
};

} // namespace lurvik
