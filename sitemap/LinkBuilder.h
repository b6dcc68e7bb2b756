#pragma once

#include "core/TextPool.h"
#include "core/URL.h"
#include "retrieval/SiteNode.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace lurvik {

// Builds the link records of the pages a map is loading on a thread of its own, while the reader
// goes on with the next pages. A million-page map holds tens of millions of records; building
// them was a fifth of the load, on one core while the other had little to do. Pages are handed
// over in batches, so that the hand-over costs nothing beside the building.
class LinkBuilder {
public:
    LinkBuilder();
    // Waits for the records of every page handed over; they must outlive this object.
    ~LinkBuilder();
    LinkBuilder(const LinkBuilder&) = delete;
    LinkBuilder& operator=(const LinkBuilder&) = delete;

    // Queues the records of node's links (kinds, addresses and texts, as read) for its list.
    // node.links must not be touched until finish().
    void add(SiteNode& node, const std::vector<int>& kinds, std::vector<URL>& urls,
             const std::vector<std::string_view>& texts);
    // Waits until every page handed over has its records. Memory running out on the building
    // thread is thrown here, as if it had run out here.
    void finish();

private:
    struct Batch {
        std::vector<SiteNode*> nodes;
        std::vector<uint32_t> linkCounts;
        std::vector<int> kinds;
        std::vector<URL> urls;
        std::string texts;
        std::vector<uint32_t> textEnds;
    };

    void handOver();
    void waitForAll();
    void buildMain();
    void build(Batch& batch);

    Batch m_filling;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_queue;
    bool m_building = false;
    bool m_stopping = false;
    std::exception_ptr m_failure;
    // The texts of the map's links, each stored once. The building thread's own.
    TextPool m_texts;
    std::thread m_thread;
};

} // namespace lurvik
