#include "WarcImport.h"

#include "HttpReply.h"
#include "ReplyReader.h"
#include "core/PageCache.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

namespace lurvik {

namespace {

// The same caps and hops as a fetch from the web.
constexpr size_t kMaxReplyBytes = 64 << 20;
constexpr int kMaxRedirects = 20;
// A reply's head must come within the first 64 KiB, as a fetch requires.
constexpr size_t kHeadBytes = 64 * 1024;
// Records are read in pieces of this size, like replies from the network.
constexpr size_t kPiece = 16 * 1024;
constexpr int kOffsetBits = 48;
// Flags above the file's number in an entry's place. Entries sort by place, so for one address
// a response comes before one a crawler asks for again (a 401 answered with credentials, a 429
// or 503 waited out), and both before a revisit.
constexpr uint64_t kRevisit = uint64_t(1) << 63;
constexpr uint64_t kAskedAgain = uint64_t(1) << 62;

std::string keyOf(std::string_view address) {
    // Crawlers write the address bare or in angle brackets (WARC/1.0 examples did).
    if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
        address = address.substr(1, address.size() - 2);
    URL url(address);
    return url.isValid() ? std::string(url.resourceKey()) : std::string();
}

uint64_t hashOf(std::string_view text) {
    // 0 stands for "none".
    uint64_t hash = std::hash<std::string_view>()(text);
    return hash == 0 ? 1 : hash;
}

uint64_t placeOf(int file, int64_t offset) {
    return (static_cast<uint64_t>(file) << kOffsetBits) | static_cast<uint64_t>(offset);
}

int fileOf(uint64_t place) {
    return static_cast<int>((place & ~(kRevisit | kAskedAgain)) >> kOffsetBits);
}

int64_t offsetOf(uint64_t place) {
    return static_cast<int64_t>(place & ((uint64_t(1) << kOffsetBits) - 1));
}

// The start of a record's block: enough for the reply's head.
std::string blockHead(WarcReader& reader) {
    std::string head;
    char piece[kPiece];
    while (head.size() < kHeadBytes && replyHeadEnd(head) == std::string::npos) {
        int64_t got = reader.readBlock(piece, std::min(sizeof piece, kHeadBytes - head.size()));
        if (got <= 0)
            break;
        head.append(piece, static_cast<size_t>(got));
    }
    return head;
}

// A reply a crawler answers by asking again: what it got the second time is the page.
bool isAskedAgain(const std::string& head) {
    int status = head.size() >= 12 ? std::atoi(head.substr(9, 3).c_str()) : 0;
    return status == 401 || status == 407 || status == 429 || status == 503;
}

bool isHtmlReply(const std::string& head) {
    Str contentType;
    size_t end = replyHeadEnd(head);
    return headerField("Content-Type",
                       std::string_view(head).substr(0, end == std::string::npos ? head.size() : end),
                       contentType) != 0 ||
           contentType.find("html", 0, false) >= 0;
}

} // namespace

WarcImport::WarcImport(SiteEngine& engine, RetrievalScheduler& scheduler)
    : m_engine(engine), m_scheduler(scheduler) {}

void WarcImport::problem(int file, int64_t offset, const std::string& text) {
    m_problems.push_back({m_files[file], offset, text});
}

bool WarcImport::hasEntry(uint64_t key) const {
    Entry probe;
    probe.key = key;
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), probe);
    return it != m_entries.end() && it->key == key;
}

void WarcImport::noteRecord(int file, WarcReader& reader, const WarcRecord& record,
                            std::vector<Revisit>& revisits) {
    std::string_view type = record.field("WARC-Type");
    std::string key = keyOf(record.field("WARC-Target-URI"));
    bool isResponse =
        type == "response" && record.field("Content-Type").find("application/http") != std::string_view::npos;
    std::string head = isResponse ? blockHead(reader) : std::string();
    // Only a record read whole goes in: a damaged one is reported, and its address is not in the
    // archive rather than half in it.
    if (reader.finishRecord() != 0) {
        problem(file, reader.errorOffset(), reader.errorText());
        return;
    }
    if (key.empty())
        return;
    if (isResponse && head.compare(0, 5, "HTTP/") == 0) {
        Entry entry;
        entry.key = hashOf(key);
        std::string_view id = record.field("WARC-Record-ID");
        entry.id = id.empty() ? 0 : hashOf(id);
        entry.place = placeOf(file, record.offset) | (isAskedAgain(head) ? kAskedAgain : 0);
        entry.skip = record.skip;
        m_entries.push_back(entry);
        ++m_responseCount;
        if (m_firstPage.empty() && URL(key).isHtml() && isHtmlReply(head))
            m_firstPage = key;
    } else if (type == "revisit") {
        std::string_view refersTo = record.field("WARC-Refers-To");
        std::string target = keyOf(record.field("WARC-Refers-To-Target-URI"));
        if (!refersTo.empty())
            revisits.push_back({hashOf(key), hashOf(refersTo), true});
        else if (!target.empty())
            revisits.push_back({hashOf(key), hashOf(target), false});
    }
}

int WarcImport::addFile(const std::string& path) {
    auto reader = std::make_unique<WarcReader>();
    if (int error = reader->open(path))
        return error;
    int file = static_cast<int>(m_files.size());
    m_files.push_back(path);
    WarcRecord record;
    std::vector<Revisit> revisits;
    for (int got; (got = reader->next(record)) != 0;) {
        if (got < 0)
            problem(file, reader->errorOffset(), reader->errorText());
        else
            noteRecord(file, *reader, record, revisits);
    }
    // Sorted by address and then by place, so the first answer to an address comes first: a
    // crawler that fetched an address twice gives the page a crawl would have taken once, and one
    // that asked again after a 401 or a 429 gives the answer it asked again for.
    std::sort(m_entries.begin(), m_entries.end());
    resolveRevisits(revisits);
    m_readers.push_back(std::move(reader));
    return 0;
}

void WarcImport::resolveRevisits(const std::vector<Revisit>& revisits) {
    if (revisits.empty())
        return;
    std::vector<std::pair<uint64_t, size_t>> byId;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].id != 0 && !(m_entries[i].place & kRevisit))
            byId.emplace_back(m_entries[i].id, i);
    std::sort(byId.begin(), byId.end());
    std::vector<Entry> added;
    // A revisit is the page it repeats: the same reply under its own address.
    for (const Revisit& revisit : revisits) {
        if (hasEntry(revisit.key))
            continue;
        const Entry* repeated = nullptr;
        if (revisit.byId) {
            auto it = std::lower_bound(byId.begin(), byId.end(), std::make_pair(revisit.refersTo, size_t(0)));
            if (it != byId.end() && it->first == revisit.refersTo)
                repeated = &m_entries[it->second];
        } else {
            Entry probe;
            probe.key = revisit.refersTo;
            auto it = std::lower_bound(m_entries.begin(), m_entries.end(), probe);
            if (it != m_entries.end() && it->key == revisit.refersTo)
                repeated = &*it;
        }
        if (!repeated)
            continue;
        Entry entry = *repeated;
        entry.key = revisit.key;
        entry.id = 0;
        entry.place |= kRevisit;
        added.push_back(entry);
        ++m_responseCount;
    }
    m_entries.insert(m_entries.end(), added.begin(), added.end());
    std::sort(m_entries.begin(), m_entries.end());
}

int WarcImport::readReply(const URL& url, std::string& reply, size_t& wireBytes, std::string& failure) {
    std::string key(url.resourceKey());
    Entry probe;
    probe.key = hashOf(key);
    for (auto it = std::lower_bound(m_entries.begin(), m_entries.end(), probe);
         it != m_entries.end() && it->key == probe.key; ++it) {
        int file = fileOf(it->place);
        int64_t offset = offsetOf(it->place);
        WarcRecord record;
        WarcReader& reader = *m_readers[file];
        if (reader.readAt(offset, it->skip, record) != 1) {
            problem(file, offset, reader.errorText());
            continue;
        }
        // Two addresses with one hash: the record says which it is.
        if (!(it->place & kRevisit) && keyOf(record.field("WARC-Target-URI")) != key)
            continue;
        // The archive holds the reply as it came over the wire, read here in pieces as a fetch
        // reads it, so the head is found within its limit and chunks and gzip are undone alike,
        // with the same caps.
        ReplyReader decoder(kMaxReplyBytes);
        reply.clear();
        char piece[kPiece];
        ReplyReader::State state = decoder.state();
        for (int64_t got; state != ReplyReader::State::Done && state != ReplyReader::State::Failed &&
                          (got = reader.readBlock(piece, sizeof piece)) > 0;)
            state = decoder.feed(piece, static_cast<size_t>(got), reply);
        if (state == ReplyReader::State::Head || state == ReplyReader::State::Body)
            state = decoder.close(reply);
        wireBytes = decoder.wireBytes();
        if (state != ReplyReader::State::Failed)
            return 0;
        failure = ReplyReader::failureText(decoder.failure());
        // What a crawl would have refused is refused here too, but the archive held it.
        if (decoder.failure() == ReplyReader::Failure::TooLarge)
            problem(file, offset, "a reply larger than a page may be (64 MB): its page fails");
        return 2;
    }
    return 1;
}

void WarcImport::retrieve(SiteNode* node, bool keepPages) {
    URL url = node->url;
    std::string reply;
    size_t wireBytes = 0;
    std::string failure;
    for (int hops = 0;; ++hops) {
        if (int result = readReply(url, reply, wireBytes, failure)) {
            node->failNode(result == 1 ? "Error - Not in the archive" : failure.c_str());
            return;
        }
        Str response;
        response.str().swap(reply);
        Str errorText;
        int status = 0;
        if (parseStatus(response, errorText, status) != 0) {
            node->failNode(errorText);
            node->httpStatus = status;
            return;
        }
        Str location;
        bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (redirect && headerField("Location", response.view(), location) == 0) {
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
        // A page's size is what its reply took on the wire, in an import as in a crawl.
        if (status != 304 && wireBytes > 0)
            node->size = static_cast<int>(std::min<size_t>(wireBytes, INT_MAX));
        if (keepPages && (status == 200 || status == 0))
            CacheSavePage(node->url, node->takeLastModified(response, false), response);
        return;
    }
}

void WarcImport::run(const URL& start, bool keepPages, const std::function<bool()>& stop) {
    // Every page is scanned at once: there is no network to wait for, so no thread to hide it.
    const bool finishInTurn = m_engine.finishInTurn;
    m_engine.finishInTurn = false;
    m_engine.findOrAddNode(start, 0);
    while (!(stop && stop())) {
        SiteNode* next =
            m_engine.pendingNodes.findFirst([](SiteNode* node) { return node->state == NODE_WAITING; });
        if (!next)
            break;
        retrieve(next, keepPages);
    }
    m_engine.finishInTurn = finishInTurn;
}

} // namespace lurvik
