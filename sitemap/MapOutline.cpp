#include "MapOutline.h"

#include "MapBlocks.h"
#include "SiteMapFile.h"
#include "SiteTree.h"
#include "core/BatchesAhead.h"
#include "core/InputFrogFile.h"
#include "core/PageCache.h"
#include "core/SystemTime.h"
#include "retrieval/HttpReply.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace lurvik {

namespace {

// Pages read with one set of known addresses: a page's address is seldom the one of another
// page, so the set is only worth what neighbouring pages share; a small one stays in the core's
// cache and lets its addresses go a few at a time (see MapLinkReader).
constexpr int kPagesPerAddressSet = 1 << 8;
constexpr size_t kTextBlockBytes = 1 << 20;

} // namespace

const std::vector<RedirectHop>* MapOutline::redirects(int page) const {
    auto found = std::lower_bound(m_redirects.begin(), m_redirects.end(), page,
                                  [](const auto& entry, int at) { return entry.first < at; });
    return found != m_redirects.end() && found->first == page ? &found->second : nullptr;
}

void MapOutline::learnReplyTypes(SiteEngine& engine) {
    // What the reply headers say of the pages' types, as a loaded map teaches the engine. The
    // addresses are made as the outline's test says they parse, most from the one before.
    SiteNode page;
    URL like;
    for (size_t i = 0; i < m_headers.size(); ++i) {
        page.url.setNormalisedURL(m_pages[i].url, like);
        like = page.url;
        page.replyHeader = SharedText(m_headers[i]);
        engine.noteReplyType(page);
    }
    decltype(m_headers)().swap(m_headers);
    m_statusBlock = MemBlock();
}

std::string MapOutline::failureText(int result) const {
    return result == 1 && !errorText.isEmpty() ? errorText.str() : siteMapErrorText(result);
}

int MapOutline::find(std::string_view key) const {
    return find(key, hashOf(key));
}

void MapOutline::prefetch(uint64_t hash) const {
    m_byKey.prefetchSlot(hash);
}

void MapOutline::prefetchEntry(uint64_t hash) const {
    m_byKey.prefetchValue(hash, [](const Key& entry) { prefetchLine(entry.key); });
}

int MapOutline::find(std::string_view key, uint64_t hash) const {
    const Key* found = m_byKey.find(key, hash);
    return found ? static_cast<int>(found->page) : -1;
}

std::string_view MapOutline::keep(std::string_view text) {
    if (text.size() > m_textLeft) {
        const size_t bytes = std::max(kTextBlockBytes, text.size());
        m_textBlocks.push_back(std::make_unique<char[]>(bytes));
        m_textAt = m_textBlocks.back().get();
        m_textLeft = bytes;
    }
    char* at = m_textAt;
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    m_textAt += text.size();
    m_textLeft -= text.size();
    return {at, text.size()};
}

int MapOutline::addPage(const Page& page) {
    const int index = static_cast<int>(m_pages.size());
    m_pages.push_back(page);
    m_byKey.insert({page.url.data(), page.keyLength, static_cast<uint32_t>(index)});
    return index;
}

int MapOutline::open(const std::string& fileName, SiteEngine& engine) {
    errorText.clear();
    InputFrogFile file;
    bool wide = false;
    if (file.openCompressed(fileName) != 0 || readMapMagic(file, wide) != 0) {
        errorText = file.errorText().isEmpty() ? Str(fileName + " is not a site map") : file.errorText();
        return 1;
    }
    MemBlock header;
    Str text;
    SystemTime savedAt;
    if (file.read(header) != 0 || header.get(text) != 0 || header.get(text) != 0 ||
        getSystemTime(header, savedAt) != 0 || header.get(text) != 0) {
        errorText = Str(fileName + " is damaged: its header is incomplete");
        return 1;
    }
    MemBlock trailing;
    std::vector<int> linkCounts;
    {
        std::vector<int> fileIds;
        std::vector<int> childIds;
        std::vector<size_t> childrenEnd;
        const int result =
            readPages(file, wide, engine, trailing, linkCounts, fileIds, childIds, childrenEnd);
        if (result != 0) {
            if (result == 1)
                errorText = Str(fileName + " is damaged or cut short");
            return result;
        }
        joinSavedPages(fileIds, childIds, childrenEnd);
    }
    MapStatuses statuses;
    if (trailing.len() > 0) {
        if (parseStatusExtension(trailing, linkCounts, statuses) != 0)
            extensionWarning =
                Str(fileName + ": the page statuses after the site map are damaged and were ignored");
        else
            applyStatuses(statuses, engine);
    }
    if (replyTypes == ReplyTypes::Later && !m_headers.empty())
        m_statusBlock = std::move(trailing); // the headers view it
    else
        m_headers.clear();
    while (m_childrenBegin.size() < m_pages.size() + 1)
        m_childrenBegin.push_back(m_childrenBegin.back());
    return 0;
}

namespace {

// A saved page as the reading thread leaves it for the outline.
struct ReadPage {
    URL url;
    Str title;
    Str html;
    int size = 0;
    int id = 0;
    int linkCount = 0;
    size_t childIdsEnd = 0; // in its batch's childIds
};

struct PageBatch {
    std::vector<ReadPage> pages;
    size_t count = 0;
    std::vector<int> childIds;
    // What stopped the reading after the pages filled: the block of the next page, or the HTML
    // block after the last page filled, which is then checked as a page before it is refused.
    enum class Failure { None, PageBlock, HtmlBlock } failure = Failure::None;
};

constexpr size_t kPagesPerBatch = 256;

// Reads the saved pages of a map, on the thread of a BatchesAhead.
class SavedPagesReader {
public:
    SavedPagesReader(InputFrogFile& file, const URL& base, int idWidth, int count, bool withHtml)
        : m_file(file), m_base(base), m_idWidth(idWidth), m_count(count), m_withHtml(withHtml) {}

    bool fill(PageBatch& batch) {
        batch.count = 0;
        batch.childIds.clear();
        batch.failure = PageBatch::Failure::None;
        if (batch.pages.size() < kPagesPerBatch)
            batch.pages.resize(kPagesPerBatch);
        while (batch.count < kPagesPerBatch && m_read < m_count) {
            if (m_read++ % kPagesPerAddressSet == 0)
                m_addresses.forget();
            ReadPage& page = batch.pages[batch.count];
            if (readPageBlock(m_file, m_block, m_node, m_base, m_idWidth, m_addresses, m_links,
                              LinkAddresses::Keep, page.id, batch.childIds) != 0) {
                batch.failure = PageBatch::Failure::PageBlock;
                return false;
            }
            page.url = std::move(m_node.url);
            page.title = std::move(m_node.title);
            page.size = m_node.size;
            page.linkCount = m_links.count;
            page.childIdsEnd = batch.childIds.size();
            ++batch.count;
            page.html.clear();
            if (readHtmlBlock(m_file, m_htmlBlock, m_withHtml ? &page.html : nullptr) != 0) {
                batch.failure = PageBatch::Failure::HtmlBlock;
                return false;
            }
        }
        return m_read < m_count;
    }

private:
    InputFrogFile& m_file;
    const URL& m_base;
    int m_idWidth;
    int m_count;
    bool m_withHtml;
    int m_read = 0;
    MapAddresses m_addresses;
    PageHead m_node;
    LinkFields m_links;
    MemBlock m_block;
    MemBlock m_htmlBlock;
};

} // namespace

int MapOutline::readPages(InputFrogFile& file, bool wide, const SiteEngine& engine, MemBlock& trailing,
                          std::vector<int>& linkCounts, std::vector<int>& fileIds, std::vector<int>& childIds,
                          std::vector<size_t>& childrenEnd) {
    const int idWidth = wide ? 4 : 2;
    int count = 0;
    URL base;
    if (int result = readPagesHeader(file, idWidth, count, base))
        return result;
    // Room for every page at once: grown as they came, the lists and the index were copied and
    // touched twice over, the kernel clearing each new page of memory.
    const size_t likely = pagesToReserve(file, count);
    m_pages.reserve(likely);
    m_byKey.reserve(likely);
    fileIds.reserve(likely);
    childrenEnd.reserve(likely);
    linkCounts.reserve(likely);
    {
        SavedPagesReader reader(file, base, idWidth, count, storesPages);
        BatchesAhead<PageBatch> ahead([&reader](PageBatch& batch) { return reader.fill(batch); });
        int pagesRead = 0;
        // Each page's address is looked up twice (is it there, then added), both in the same slot,
        // which is asked for a few pages ahead.
        constexpr size_t kAhead = 16;
        std::vector<uint64_t> hashes;
        while (PageBatch* batch = ahead.next()) {
            hashes.resize(batch->count);
            for (size_t i = 0; i < batch->count; ++i) {
                hashes[i] = hashOf(batch->pages[i].url.resourceKey());
                if (i < kAhead)
                    prefetch(hashes[i]);
            }
            size_t childAt = 0;
            for (size_t i = 0; i < batch->count; ++i) {
                if (i + kAhead < batch->count)
                    prefetch(hashes[i + kAhead]);
                ReadPage& read = batch->pages[i];
                fileIds.push_back(read.id);
                childIds.insert(childIds.end(),
                                batch->childIds.begin() + static_cast<std::ptrdiff_t>(childAt),
                                batch->childIds.begin() + static_cast<std::ptrdiff_t>(read.childIdsEnd));
                childAt = read.childIdsEnd;
                childrenEnd.push_back(childIds.size());
                linkCounts.push_back(read.linkCount);
                if ((engine.nodeCount() > 0 && engine.findNode(read.url, true, true)) ||
                    m_byKey.find(read.url.resourceKey(), hashes[i]))
                    return 4005;
                if (i + 1 == batch->count && batch->failure == PageBatch::Failure::HtmlBlock)
                    return 1;
                if (!read.html.isEmpty()) {
                    Str date;
                    headerValue("Last-Modified", read.html, date);
                    CacheSavePage(read.url, date, read.html);
                }
                Page page;
                page.url = keep(read.url.view());
                page.keyLength = static_cast<uint32_t>(read.url.resourceKey().size());
                page.title = keep(read.title.view());
                page.size = read.size;
                page.state = NODE_DONE;
                addPage(page);
                ++pagesRead;
            }
            if (batch->failure != PageBatch::Failure::None)
                return 1;
        }
        if (pagesRead < count)
            return 1;
    }
    m_savedCount = count;
    return readAfterPages(file, trailing);
}

void MapOutline::joinSavedPages(const std::vector<int>& fileIds, const std::vector<int>& childIds,
                                const std::vector<size_t>& childrenEnd) {
    // The writer numbers pages 1 to count in file order; an id past that names no page, and the
    // first page with an id is the one it names.
    const size_t ids = fileIds.size() + 1;
    std::vector<int> pageOf(ids, -1);
    for (size_t i = 0; i < fileIds.size(); ++i) {
        const int id = fileIds[i];
        if (id >= 1 && static_cast<size_t>(id) < ids && pageOf[id] < 0)
            pageOf[id] = static_cast<int>(i);
    }
    // The parent each child was last joined to: a child a page names twice is joined once.
    std::vector<int> joinedTo(ids, -1);
    m_children.reserve(childIds.size());
    // The children are all over the site: what a child's join reads is asked for ahead, its ids'
    // entries first and its record once its number has come.
    constexpr size_t kIdsAhead = 64;
    constexpr size_t kRecordsAhead = 32;
    auto validId = [ids](int id) { return id >= 1 && static_cast<size_t>(id) < ids; };
    size_t k = 0;
    for (size_t i = 0; i < fileIds.size(); ++i) {
        for (; k < childrenEnd[i]; ++k) {
            if (k + kIdsAhead < childIds.size() && validId(childIds[k + kIdsAhead])) {
                prefetchLine(&pageOf[childIds[k + kIdsAhead]]);
                prefetchLine(&joinedTo[childIds[k + kIdsAhead]]);
            }
            if (k + kRecordsAhead < childIds.size() && validId(childIds[k + kRecordsAhead]) &&
                pageOf[childIds[k + kRecordsAhead]] >= 0) {
                const Page& ahead = m_pages[pageOf[childIds[k + kRecordsAhead]]];
                prefetchLine(&ahead.firstParent);
                prefetchLine(&ahead.parentCount);
            }
            const int id = childIds[k];
            if (!validId(id) || pageOf[id] < 0 || joinedTo[id] == static_cast<int>(i))
                continue;
            joinedTo[id] = static_cast<int>(i);
            m_children.push_back(static_cast<uint32_t>(pageOf[id]));
            Page& child = m_pages[pageOf[id]];
            if (child.parentCount++ == 0)
                child.firstParent = static_cast<int>(i);
        }
        m_childrenBegin.push_back(static_cast<uint32_t>(m_children.size()));
    }
}

void MapOutline::applyStatuses(MapStatuses& statuses, SiteEngine& engine) {
    for (int i = 0; i < m_savedCount; ++i) {
        m_pages[i].httpStatus = statuses.statuses[i];
        m_pages[i].lastModified = keep(statuses.dates[i]);
        if (static_cast<size_t>(i) < statuses.levels.size())
            m_pages[i].level = statuses.levels[i];
    }
    m_redirects = std::move(statuses.redirects);
    renderedLinks = std::move(statuses.renderedLinks);
    m_headers = std::move(statuses.headers);
    if (replyTypes == ReplyTypes::Learn)
        learnReplyTypes(engine);
    else if (replyTypes == ReplyTypes::Ignore)
        decltype(m_headers)().swap(m_headers);
    // Room for every failed page at once: grown page by page, the lists would be copied while the
    // whole status block is held.
    m_pages.reserve(m_pages.size() + statuses.failed.size());
    m_byKey.reserve(m_pages.size() + statuses.failed.size());
    // The failed pages join their parents after every saved page has its children, so that they
    // come last among them; each parent once.
    std::vector<std::pair<uint32_t, uint32_t>> joins; // parent, failed page
    std::vector<bool> joined(m_savedCount + 1);
    // Each failed page's address is made and asked of the memory a few failed pages ahead of its
    // look-up: a site's failed pages can be as many as its saved ones, and each look-up is a miss.
    constexpr size_t kAhead = 16;
    std::array<URL, kAhead> ahead;
    std::array<uint64_t, kAhead> hashes{};
    URL like; // the failed page before, most often of the same site
    auto makeAhead = [&](size_t k) {
        URL& url = ahead[k % kAhead];
        hashes[k % kAhead] = 0;
        // A text that does not parse leaves its page out.
        if (url.setNormalisedURL(statuses.failed[k].url, like) != 0 || !url.isValid()) {
            url.clear();
            return;
        }
        like = url;
        hashes[k % kAhead] = hashOf(url.resourceKey());
        prefetch(hashes[k % kAhead]);
    };
    const size_t failedCount = statuses.failed.size();
    for (size_t k = 0; k < std::min(kAhead, failedCount); ++k)
        makeAhead(k);
    size_t idsBegin = 0;
    URL url;
    for (size_t f = 0; f < failedCount; ++f) {
        url = std::move(ahead[f % kAhead]);
        const uint64_t hash = hashes[f % kAhead];
        if (f + kAhead < failedCount)
            makeAhead(f + kAhead);
        const MapStatuses::FailedPage& failed = statuses.failed[f];
        const size_t from = std::exchange(idsBegin, failed.parentIdsEnd);
        if (!url.isValid() || find(url.resourceKey(), hash) >= 0)
            continue;
        Page page;
        page.url = keep(url.view());
        page.keyLength = static_cast<uint32_t>(url.resourceKey().size());
        page.title = keep(failed.errorText);
        page.httpStatus = failed.status;
        page.level = failed.level;
        page.state = NODE_ERROR;
        const int index = addPage(page);
        for (size_t k = from; k < failed.parentIdsEnd; ++k) {
            const int id = statuses.failedParentIds[k];
            if (joined[id])
                continue;
            joined[id] = true;
            joins.emplace_back(static_cast<uint32_t>(id - 1), static_cast<uint32_t>(index));
            if (m_pages[index].parentCount++ == 0)
                m_pages[index].firstParent = id - 1;
        }
        for (size_t k = from; k < failed.parentIdsEnd; ++k)
            joined[statuses.failedParentIds[k]] = false;
    }
    if (!joins.empty()) {
        // Each parent's failed children after its saved ones, in the order the failures came.
        std::vector<uint32_t> begin(m_savedCount + 1);
        for (const auto& [parent, page] : joins)
            ++begin[parent + 1];
        for (int i = 0; i < m_savedCount; ++i)
            begin[i + 1] += begin[i] + (m_childrenBegin[i + 1] - m_childrenBegin[i]);
        std::vector<uint32_t> children(m_children.size() + joins.size());
        std::vector<uint32_t> next(begin.begin(), begin.end() - 1);
        for (int i = 0; i < m_savedCount; ++i)
            for (uint32_t k = m_childrenBegin[i]; k < m_childrenBegin[i + 1]; ++k)
                children[next[i]++] = m_children[k];
        for (const auto& [parent, page] : joins)
            children[next[parent]++] = page;
        m_children = std::move(children);
        m_childrenBegin = std::move(begin);
    }
    checkedLinks = std::move(statuses.checked);
    resourceKinds = std::move(statuses.resourceKinds);
}

} // namespace lurvik
