#pragma once

#include "StatusExtension.h"
#include "core/InputFrogFile.h"
#include "core/MemBlock.h"
#include "core/Prefetch.h"
#include "core/Str.h"
#include "core/TextIndex.h"
#include "retrieval/SiteEngine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik {

// A site map's pages as the commands that go through a big map need them: addresses, titles,
// states and statuses, and which page links to which, in about a hundred bytes a page and no
// SiteNode (a loaded million-page map took gigabytes). The pages' links are left in the file, for
// MapLinkReader to read page by page.
//
// Pages are numbered as an open into an empty engine puts them in its done list: the saved pages
// in file order, then the pages that failed, as the map's statuses give them. What open() refuses,
// and what it warns of, is what SiteMapFile::open refuses and warns of, in the same words.
class MapOutline {
public:
    // As SiteMapFile::open: 0; 1 (errorText says why), 4004 or 4005. engine learns the types its
    // reply headers give the pages, as a loaded map teaches it; it holds no page before or after.
    [[nodiscard]] int open(const std::string& fileName, SiteEngine& engine);

    int pageCount() const { return static_cast<int>(m_pages.size()); }
    // Pages below this are the saved ones, in file order; the failed ones follow.
    int savedCount() const { return m_savedCount; }
    std::string_view url(int page) const { return m_pages[page].url; }
    // The address without its bookmark (URL::resourceKey), as the page is known by.
    std::string_view key(int page) const { return m_pages[page].url.substr(0, m_pages[page].keyLength); }
    std::string_view title(int page) const { return m_pages[page].title; }
    int state(int page) const { return m_pages[page].state; }
    int httpStatus(int page) const { return m_pages[page].httpStatus; }
    int size(int page) const { return m_pages[page].size; }
    int parentCount(int page) const { return static_cast<int>(m_pages[page].parentCount); }
    // The first page that links to page (the first of a loaded page's parents), else -1.
    int firstParent(int page) const { return m_pages[page].firstParent; }
    // The level the map kept (kUnknownLevel when it kept none), and Last-Modified.
    int level(int page) const { return m_pages[page].level; }
    std::string_view lastModified(int page) const { return m_pages[page].lastModified; }
    // The redirects that led to page, null when none did.
    const std::vector<RedirectHop>* redirects(int page) const;
    // The pages page links to, in the order a loaded map's children have.
    int childCount(int page) const {
        return static_cast<int>(m_childrenBegin[page + 1] - m_childrenBegin[page]);
    }
    int child(int page, int i) const { return static_cast<int>(m_children[m_childrenBegin[page] + i]); }
    // For a walk that goes from page to page out of file order, where nearly every step waits on
    // memory: asks for what a page's line and its children read (prefetchPage), and then, once
    // that has come, for its texts (prefetchTexts), so that the waits of pages to come overlap.
    void prefetchPage(int page) const {
        // A record lies across two cache lines more often than not.
        prefetchLine(&m_pages[page]);
        prefetchLine(reinterpret_cast<const char*>(&m_pages[page] + 1) - 1);
        prefetchLine(&m_childrenBegin[page]);
    }
    void prefetchTexts(int page) const {
        prefetchLine(m_pages[page].title.data());
        prefetchLine(m_pages[page].url.data());
        prefetchLine(&m_children[m_childrenBegin[page]]);
    }
    // The page whose address has this resource key (URL::resourceKey), else -1.
    int find(std::string_view key) const;
    // The same in two steps, for many keys at once: ask for each (hashOf, prefetch), then find
    // each with its hash; the trips to memory overlap instead of queueing.
    static uint64_t hashOf(std::string_view key) { return TextIndex<Key, KeyOf>::hashOf(key); }
    void prefetch(uint64_t hash) const;
    // Then, once the slots have come, for the addresses they hold.
    void prefetchEntry(uint64_t hash) const;
    int find(std::string_view key, uint64_t hash) const;

    // What SiteMapFile gives the same names.
    Str errorText;
    std::string failureText(int result) const;
    Str extensionWarning;
    bool storesPages = true;
    // What open() does with the types the reply headers give the pages. A loaded map teaches them
    // to the engine after the file types its links name: Later keeps the headers for
    // learnReplyTypes, for a command that first reads every link for their types, so that the
    // engine's list of types comes out in the same order. A command that shows no type need not
    // parse two million addresses again for them (Ignore).
    enum class ReplyTypes { Learn, Later, Ignore };
    ReplyTypes replyTypes = ReplyTypes::Learn;
    // After open() with ReplyTypes::Later: teaches them now, and lets the headers go.
    void learnReplyTypes(SiteEngine& engine);
    std::vector<CheckedLink> checkedLinks;
    std::vector<ResourceLinkKind> resourceKinds;
    // The saved pages that were rendered (by number, rising), with the indexes of the links only the
    // rendered page held; empty for a map of a crawl that rendered nothing.
    std::vector<std::pair<int, std::vector<uint32_t>>> renderedLinks;

private:
    struct Page {
        std::string_view url;
        std::string_view title;
        std::string_view lastModified;
        uint32_t keyLength = 0;
        int firstParent = -1;
        int level = kUnknownLevel;
        uint32_t parentCount = 0;
        int size = 0;
        int httpStatus = 0;
        uint8_t state = 0;
    };
    // A page's resource key, by its first byte and length: a million-page map has two million.
    struct Key {
        const char* key;
        uint32_t length;
        uint32_t page;
    };
    struct KeyOf {
        std::string_view operator()(const Key& entry) const { return {entry.key, entry.length}; }
    };

    int readPages(InputFrogFile& file, bool wide, const SiteEngine& engine, MemBlock& trailing,
                  std::vector<int>& linkCounts, std::vector<int>& fileIds, std::vector<int>& childIds,
                  std::vector<size_t>& childrenEnd);
    void joinSavedPages(const std::vector<int>& fileIds, const std::vector<int>& childIds,
                        const std::vector<size_t>& childrenEnd);
    void applyStatuses(MapStatuses& statuses, SiteEngine& engine);
    std::string_view keep(std::string_view text);
    int addPage(const Page& page);

    std::vector<Page> m_pages;
    int m_savedCount = 0;
    TextIndex<Key, KeyOf> m_byKey;
    std::vector<uint32_t> m_childrenBegin{0};
    std::vector<uint32_t> m_children;
    std::vector<std::pair<int, std::vector<RedirectHop>>> m_redirects; // by page, in order
    // With ReplyTypes::Later, the status block and its saved pages' headers, which view it.
    MemBlock m_statusBlock;
    std::vector<std::string_view> m_headers;
    // The texts of the pages, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> m_textBlocks;
    char* m_textAt = nullptr;
    size_t m_textLeft = 0;
};

} // namespace lurvik
