#pragma once

#include "RetrievalScheduler.h"
#include "core/WarcReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lurvik {

// Builds a site tree from the responses that WARC files archived, as a retrieval from the web
// would: from a start page, the same scanner, limits, statuses and redirects, with the archive
// standing in for the network. The files are read twice, once to note where each address's
// response lies and once per page to read it, so memory follows the tree, not the archive: each
// record streams through, and a reply is read through the same decoding and caps as a fetch.
class WarcImport {
public:
    // A record that could not be read; the import goes on without it.
    struct Problem {
        std::string file;
        int64_t offset = 0;
        std::string text;
    };

    WarcImport(SiteEngine& engine, RetrievalScheduler& scheduler);

    // Notes the responses of one file. 0, or the errno value when it cannot be opened.
    [[nodiscard]] int addFile(const std::string& path);
    // The first archived response that is an HTML page: the start when none is given.
    const std::string& firstPage() const { return m_firstPage; }
    int responseCount() const { return m_responseCount; }

    // Retrieves start and every page within the limits from the archive, each page stored in the
    // page cache when keepPages. stop is asked between pages.
    void run(const URL& start, bool keepPages, const std::function<bool()>& stop);

    const std::vector<Problem>& problems() const { return m_problems; }

private:
    // One archived response, or a revisit standing for one, in 32 bytes: an archive of millions of
    // records costs this much per record, the rest of the memory follows the tree that is built.
    struct Entry {
        uint64_t key = 0; // hash of the address, without a fragment
        uint64_t id = 0;  // hash of the record id
        uint64_t place = 0;
        int64_t skip = 0;
        bool operator<(const Entry& other) const {
            return key != other.key       ? key < other.key
                   : place != other.place ? place < other.place
                                          : skip < other.skip;
        }
    };
    struct Revisit {
        uint64_t key = 0;
        uint64_t refersTo = 0; // hash of the record id, or of the address, it repeats
        bool byId = false;
    };
    void noteRecord(int file, WarcReader& reader, const WarcRecord& record, std::vector<Revisit>& revisits);
    void resolveRevisits(const std::vector<Revisit>& revisits);
    bool hasEntry(uint64_t key) const;
    // The reply archived for url, decoded as a fetch decodes it, and the bytes it took on the wire:
    // 0 when read, 1 when the archive has none, 2 when it fails as a fetch of it would (failure
    // says how).
    int readReply(const URL& url, std::string& reply, size_t& wireBytes, std::string& failure);
    void retrieve(SiteNode* node, bool keepPages);
    void problem(int file, int64_t offset, const std::string& text);

    SiteEngine& m_engine;
    RetrievalScheduler& m_scheduler;
    std::vector<std::string> m_files;
    std::vector<std::unique_ptr<WarcReader>> m_readers;
    std::vector<Entry> m_entries; // sorted: the first response for an address comes first
    int m_responseCount = 0;
    std::string m_firstPage;
    std::vector<Problem> m_problems;
};

} // namespace lurvik
