#include "WarcImport.h"

#include "HttpReply.h"
#include "ReplyReader.h"
#include "core/PageCache.h"

#include <climits>

namespace lurvik {

namespace {

// The same caps and hops as a fetch from the web.
constexpr size_t kMaxReplyBytes = 64 << 20;
constexpr int kMaxRedirects = 20;

std::string keyOf(std::string_view address) {
    // Crawlers write the address bare or in angle brackets (WARC/1.0 examples did).
    if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
        address = address.substr(1, address.size() - 2);
    URL url(address);
    return url.isValid() ? std::string(url.resourceKey()) : std::string();
}

bool isHttpResponse(const WarcRecord& record) {
    std::string_view type = record.field("Content-Type");
    return type.find("application/http") != std::string_view::npos &&
           record.block.compare(0, 5, "HTTP/") == 0;
}

} // namespace

WarcImport::WarcImport(SiteEngine& engine, RetrievalScheduler& scheduler)
    : m_engine(engine), m_scheduler(scheduler) {}

int WarcImport::addFile(const std::string& path) {
    auto reader = std::make_unique<WarcReader>();
    if (int error = reader->open(path))
        return error;
    int file = static_cast<int>(m_files.size());
    m_files.push_back(path);
    WarcRecord record;
    // Revisits name the response they repeat by record id or by address: address, id or address.
    std::vector<std::pair<std::string, std::string>> revisits;
    for (int got; (got = reader->next(record)) != 0;) {
        if (got < 0) {
            m_problems.push_back({path, reader->errorOffset(), reader->errorText()});
            continue;
        }
        std::string_view type = record.field("WARC-Type");
        std::string key = keyOf(record.field("WARC-Target-URI"));
        if (key.empty())
            continue;
        Location at{file, record.offset, record.skip};
        if (type == "response" && isHttpResponse(record)) {
            // A crawler that fetched an address twice: the first answer is the page, as a crawl
            // takes a page once.
            if (m_responses.emplace(key, at).second && m_firstPage.empty() && URL(key).isHtml()) {
                Str contentType;
                if (headerValue("Content-Type", Str(record.block.substr(0, replyHeadEnd(record.block))),
                                contentType) != 0 ||
                    contentType.find("html", 0, false) >= 0)
                    m_firstPage = key;
            }
            std::string_view id = record.field("WARC-Record-ID");
            if (!id.empty())
                m_byRecordId.emplace(std::string(id), at);
        } else if (type == "revisit") {
            std::string_view refersTo = record.field("WARC-Refers-To");
            std::string_view target = record.field("WARC-Refers-To-Target-URI");
            revisits.emplace_back(key, !refersTo.empty() ? std::string(refersTo) : keyOf(target));
        }
    }
    // A revisit is the page it repeats: the same reply under its own address.
    for (const auto& [key, refersTo] : revisits) {
        auto byId = m_byRecordId.find(refersTo);
        auto byAddress = m_responses.find(refersTo);
        if (byId != m_byRecordId.end())
            m_responses.emplace(key, byId->second);
        else if (byAddress != m_responses.end())
            m_responses.emplace(key, byAddress->second);
    }
    m_readers.push_back(std::move(reader));
    return 0;
}

bool WarcImport::readReply(const URL& url, std::string& reply) {
    auto it = m_responses.find(std::string(url.resourceKey()));
    if (it == m_responses.end())
        return false;
    const Location& at = it->second;
    WarcRecord record;
    WarcReader& reader = *m_readers[at.file];
    if (reader.readAt(at.offset, at.skip, record) != 1) {
        m_problems.push_back({m_files[at.file], at.offset, reader.errorText()});
        return false;
    }
    // The archive holds the reply as it came over the wire: chunks and gzip are undone as a fetch
    // undoes them.
    ReplyReader decoder(kMaxReplyBytes);
    reply.clear();
    decoder.feed(record.block.data(), record.block.size(), reply);
    if (decoder.state() != ReplyReader::State::Done && decoder.state() != ReplyReader::State::Failed)
        decoder.close(reply);
    return decoder.state() != ReplyReader::State::Failed;
}

void WarcImport::retrieve(SiteNode* node, bool keepPages) {
    URL url = node->url;
    std::string reply;
    for (int hops = 0;; ++hops) {
        if (!readReply(url, reply)) {
            node->failNode("Error - Not in the archive");
            return;
        }
        Str response(reply);
        Str errorText;
        int status = 0;
        if (parseStatus(response, errorText, status) != 0) {
            node->failNode(errorText);
            node->httpStatus = status;
            return;
        }
        Str location;
        bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (redirect && headerField("Location", response, location) == 0) {
            URL next;
            next.setURL(url, location.view());
            if (next.isHtml()) {
                if (hops >= kMaxRedirects) {
                    node->failNode("Error - Too many redirects");
                    return;
                }
                url = next;
                continue;
            }
        }
        m_scheduler.receivePage(node, response, url);
        if (keepPages && (status == 200 || status == 0)) {
            headerField("Last-Modified", response, node->lastModified);
            CacheSavePage(node->url, node->lastModified, response);
        }
        return;
    }
}

void WarcImport::run(const URL& start, bool keepPages, const std::function<bool()>& stop) {
    // Every page is scanned at once: there is no network to wait for, so no thread to hide it.
    int inlineLimit = m_engine.inlineParseLimit;
    m_engine.inlineParseLimit = INT_MAX;
    m_engine.findOrAddNode(start, 0);
    while (!(stop && stop())) {
        SiteNode* next =
            m_engine.pendingNodes.findFirst([](SiteNode* node) { return node->state == NODE_WAITING; });
        if (!next)
            break;
        retrieve(next, keepPages);
    }
    m_engine.inlineParseLimit = inlineLimit;
}

} // namespace lurvik
