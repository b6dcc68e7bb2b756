#include "LinkBuilder.h"

#include <new>

namespace lurvik {

namespace {

constexpr size_t kPagesPerBatch = 256;
// Enough for the builder never to wait while the reader has work for it, and little memory.
constexpr size_t kBatchesAhead = 8;

} // namespace

LinkBuilder::LinkBuilder() : m_thread([this] { buildMain(); }) {}

LinkBuilder::~LinkBuilder() {
    waitForAll();
    {
        std::lock_guard guard(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void LinkBuilder::add(SiteNode& node, const std::vector<int>& kinds, std::vector<URL>& urls,
                      const std::vector<std::string_view>& texts) {
    m_filling.nodes.push_back(&node);
    m_filling.linkCounts.push_back(static_cast<uint32_t>(kinds.size()));
    m_filling.kinds.insert(m_filling.kinds.end(), kinds.begin(), kinds.end());
    for (URL& url : urls)
        m_filling.urls.push_back(std::move(url));
    // The texts view the reader's block, which the next page overwrites.
    for (std::string_view text : texts) {
        m_filling.texts.append(text);
        m_filling.textEnds.push_back(static_cast<uint32_t>(m_filling.texts.size()));
    }
    if (m_filling.nodes.size() == kPagesPerBatch)
        handOver();
}

void LinkBuilder::handOver() {
    if (m_filling.nodes.empty())
        return;
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_queue.size() < kBatchesAhead; });
    m_queue.push_back(std::move(m_filling));
    lock.unlock();
    m_changed.notify_all();
    m_filling = Batch();
}

void LinkBuilder::finish() {
    handOver();
    waitForAll();
    std::lock_guard guard(m_mutex);
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void LinkBuilder::waitForAll() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_queue.empty() && !m_building; });
}

void LinkBuilder::buildMain() {
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Batch batch = std::move(m_queue.front());
        m_queue.pop_front();
        m_building = true;
        lock.unlock();
        m_changed.notify_all();
        std::exception_ptr failure;
        try {
            build(batch);
        } catch (const std::bad_alloc&) {
            // The pages of the batch keep the records made so far; the reader learns of it.
            failure = std::current_exception();
        }
        lock.lock();
        if (!m_failure)
            m_failure = failure;
        m_building = false;
        lock.unlock();
        m_changed.notify_all();
    }
}

void LinkBuilder::build(Batch& batch) {
    size_t link = 0;
    uint32_t textStart = 0;
    for (size_t page = 0; page < batch.nodes.size(); ++page) {
        LinkList& links = batch.nodes[page]->links;
        const size_t end = link + batch.linkCounts[page];
        links.reserve(static_cast<int>(batch.linkCounts[page]));
        for (; link < end; ++link) {
            const uint32_t textEnd = batch.textEnds[link];
            LinkRecord& record =
                links.add(batch.kinds[link], std::move(batch.urls[link]),
                          Str(std::string_view(batch.texts).substr(textStart, textEnd - textStart)));
            m_texts.share(record.text);
            textStart = textEnd;
        }
    }
}

} // namespace lurvik
