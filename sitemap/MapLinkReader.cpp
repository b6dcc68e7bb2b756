#include "MapLinkReader.h"

#include <algorithm>
#include <utility>

namespace lurvik {

namespace {

// Pages between two fresh address look-ups: enough for what neighbouring pages share to be parsed
// once, few enough that the set stays in the core's cache and lets its addresses go a few at a
// time. With 16,384 pages a set held a hundred thousand addresses, its look-ups missed the cache,
// and letting them all go at once left the allocator sorting its bins for the next ones.
constexpr int kPagesPerAddressSet = 1 << 8;
// Pages handed over at a time: few enough to keep little memory ahead, enough that the hand-over
// costs nothing beside them.
constexpr size_t kPagesPerBatch = 256;

} // namespace

MapLinkReader::~MapLinkReader() = default;

int MapLinkReader::open(const std::string& fileName, std::vector<ResourceLinkKind> resourceKinds, Texts texts,
                        const MapOutline* targets) {
    m_ahead.reset();
    m_texts = texts;
    m_outline = targets;
    m_placeTargets.clear();
    m_links.marksAsBefore = true;
    m_placeURLs.clear();
    m_placeKinds.clear();
    m_placeTexts.clear();
    bool wide = false;
    MemBlock header;
    Str baseHost;
    if (m_file.openCompressed(fileName) != 0 || readMapMagic(m_file, wide) != 0 || m_file.read(header) != 0)
        return 1;
    m_idWidth = wide ? 4 : 2;
    if (m_file.read(header) != 0 || header.get(m_count, m_idWidth) != 0 || header.get(baseHost) != 0)
        return 1;
    m_base = mapBase(baseHost);
    m_read = 0;
    m_index = 0;
    m_batch = nullptr;
    m_inBatch = 0;
    m_resourceKinds = std::move(resourceKinds);
    m_nextKind = 0;
    m_ahead = std::make_unique<BatchesAhead<Batch>>([this](Batch& batch) { return fill(batch); });
    return 0;
}

bool MapLinkReader::fill(Batch& batch) {
    batch.count = 0;
    batch.failed = false;
    if (batch.pages.size() < kPagesPerBatch)
        batch.pages.resize(kPagesPerBatch);
    while (batch.count < kPagesPerBatch && m_read < m_count) {
        if (readPage(batch.pages[batch.count]) != 0) {
            batch.failed = true;
            return false;
        }
        ++batch.count;
    }
    if (m_outline)
        findTargets(batch);
    return m_read < m_count;
}

void MapLinkReader::findTargets(Batch& batch) {
    // A link whose address is the one at its place on the page before leads where that one led;
    // the others are looked up all at once, each asked of the memory a few look-ups ahead, since
    // nearly every one of them is a miss far from the last.
    m_hashes.clear();
    for (size_t p = 0; p < batch.count; ++p) {
        Page& page = batch.pages[p];
        const size_t count = page.kinds.size();
        page.targets.assign(count, -1);
        for (size_t i = 0; i < count; ++i)
            if (!page.asBefore[i] && page.urls[i].isValid())
                m_hashes.push_back(MapOutline::hashOf(page.urls[i].resourceKey()));
    }
    // Asking for an entry reads its slot, which must have come by then.
    constexpr size_t kSlotsAhead = 32;
    constexpr size_t kEntriesAhead = 12;
    const size_t lookUps = m_hashes.size();
    for (size_t j = 0; j < std::min(lookUps, kSlotsAhead); ++j)
        m_outline->prefetch(m_hashes[j]);
    for (size_t j = 0; j < std::min(lookUps, kEntriesAhead); ++j)
        m_outline->prefetchEntry(m_hashes[j]);
    // The keys are read again from the pages, in the order their hashes were listed.
    size_t j = 0;
    for (size_t p = 0; p < batch.count; ++p) {
        Page& page = batch.pages[p];
        const size_t count = page.kinds.size();
        if (m_placeTargets.size() < count)
            m_placeTargets.resize(count, -1);
        for (size_t i = 0; i < count; ++i) {
            if (page.asBefore[i]) {
                page.targets[i] = m_placeTargets[i];
                continue;
            }
            if (page.urls[i].isValid()) {
                if (j + kSlotsAhead < lookUps)
                    m_outline->prefetch(m_hashes[j + kSlotsAhead]);
                if (j + kEntriesAhead < lookUps)
                    m_outline->prefetchEntry(m_hashes[j + kEntriesAhead]);
                page.targets[i] = m_outline->find(page.urls[i].resourceKey(), m_hashes[j++]);
            }
            m_placeTargets[i] = page.targets[i];
        }
    }
}

int MapLinkReader::readPage(Page& page) {
    if (m_read++ % kPagesPerAddressSet == 0)
        m_addresses.forget();
    int id = 0;
    m_childIds.clear();
    if (readPageBlock(m_file, m_block, m_node, m_base, m_idWidth, m_addresses, m_links,
                      LinkAddresses::Resolve, id, m_childIds) != 0 ||
        readHtmlBlock(m_file, m_htmlBlock, nullptr) != 0)
        return 1;
    page.url = std::move(m_node.url);
    page.title = m_node.title.view();
    page.size = m_node.size;
    page.state = m_node.state;
    page.kinds.swap(m_links.kinds);
    page.urls.swap(m_links.urls);
    page.asBefore.swap(m_links.asBefore);
    page.texts.clear();
    page.textEnds.clear();
    if (m_texts == Texts::Skip)
        return 0;
    // The texts view the block the next page is read into.
    for (std::string_view text : m_links.texts) {
        page.texts += text;
        page.textEnds.push_back(static_cast<uint32_t>(page.texts.size()));
    }
    return 0;
}

int MapLinkReader::next(SiteNode& page) {
    if (!m_ahead || m_index >= m_count)
        return 1;
    if (!m_batch || m_inBatch == m_batch->count) {
        if (m_batch && m_batch->failed)
            return 1;
        m_batch = m_ahead->next();
        m_inBatch = 0;
        if (!m_batch || (m_batch->count == 0 && m_batch->failed))
            return 1;
    }
    Page& read = m_batch->pages[m_inBatch++];
    const int index = m_index++;
    page.url = std::move(read.url);
    page.title = std::move(read.title);
    page.size = read.size;
    page.state = read.state;
    LinkList& links = page.links;
    links.clear();
    const size_t count = read.kinds.size();
    if (m_outline) {
        m_targets.swap(read.targets);
        // The taker reads the records of the pages the links lead to, which are far apart: those
        // of the next page's are asked for now, to have come by the time it is taken.
        if (m_inBatch < m_batch->count)
            for (int target : m_batch->pages[m_inBatch].targets)
                if (target >= 0)
                    m_outline->prefetchPage(target);
    }
    links.reserve(static_cast<int>(count));
    m_placeURLs.resize(count);
    m_placeKinds.resize(count, -1);
    m_placeTexts.resize(count);
    uint32_t textBegin = 0;
    for (size_t i = 0; i < count; ++i) {
        std::string_view text;
        if (m_texts == Texts::Read) {
            text = std::string_view(read.texts.data() + textBegin, read.textEnds[i] - textBegin);
            textBegin = read.textEnds[i];
        }
        // A link as before was made at its place on the page before, with its type noted then.
        const LinkRecord::TypeNoted noted = read.asBefore[i] && m_placeKinds[i] == read.kinds[i]
                                                ? LinkRecord::TypeNoted::Already
                                                : LinkRecord::TypeNoted::Not;
        if (!read.asBefore[i])
            m_placeURLs[i] = std::move(read.urls[i]);
        m_placeKinds[i] = read.kinds[i];
        // A text that is the one the record at its place before holds is shared, not made again:
        // a search then knows it for the same text without reading it.
        if (m_placeTexts[i].view() == text)
            links.add(read.kinds[i], m_placeURLs[i], m_placeTexts[i], noted);
        else
            m_placeTexts[i] = links.add(read.kinds[i], m_placeURLs[i], Str(text), noted).text;
    }
    for (; m_nextKind < m_resourceKinds.size() && m_resourceKinds[m_nextKind].page == index; ++m_nextKind) {
        const ResourceLinkKind& resource = m_resourceKinds[m_nextKind];
        if (resource.at < links.len())
            (links.begin() + resource.at)->kind = resource.kind;
    }
    return 0;
}

} // namespace lurvik
