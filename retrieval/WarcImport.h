#pragma once

#include "RetrievalScheduler.h"
#include "core/WarcReader.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace lurvik {

// Builds a site tree from the responses that WARC files archived, as a retrieval from the web
// would: from a start page, the same scanner, limits, statuses and redirects, with the archive
// standing in for the network. The files are read twice, once to note where each address's
// response lies and once per page to read it, so memory follows the tree, not the archive.
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
    int responseCount() const { return static_cast<int>(m_responses.size()); }

    // Retrieves start and every page within the limits from the archive, each page stored in the
    // page cache when keepPages. stop is asked between pages.
    void run(const URL& start, bool keepPages, const std::function<bool()>& stop);

    const std::vector<Problem>& problems() const { return m_problems; }

private:
    struct Location {
        int file = 0;
        int64_t offset = 0;
        int64_t skip = 0;
    };
    // The reply archived for url, decoded as a fetch decodes it; false when the archive has none.
    bool readReply(const URL& url, std::string& reply);
    void retrieve(SiteNode* node, bool keepPages);

    SiteEngine& m_engine;
    RetrievalScheduler& m_scheduler;
    std::vector<std::string> m_files;
    std::vector<std::unique_ptr<WarcReader>> m_readers;
    std::unordered_map<std::string, Location> m_responses; // by address, without a fragment
    std::unordered_map<std::string, Location> m_byRecordId;
    std::string m_firstPage;
    std::vector<Problem> m_problems;
};

} // namespace lurvik
