#include "Download.h"

#include "Agent.h"
#include "HttpReply.h"
#include "platform/BlockingHook.h"

#include <atomic>
#include <cstdlib>

namespace lurvik {

namespace {

std::atomic<int> g_active{0};

} // namespace

Download::Download(AgentPool& pool, const URL& url, std::string fileName)
    : m_pool(pool), m_url(url), m_fileName(std::move(fileName)) {}

Download::~Download() {
    stop();
    if (m_registered)
        --g_active;
}

int Download::activeCount() {
    return g_active.load();
}

int Download::start() {
    if (m_file.open(m_fileName) != 0)
        return 1;
    m_agent = std::make_unique<Agent>(m_pool);
    ++g_active;
    m_registered = true;
    if (m_thread.start([this] { run(); }) != 0) {
        m_file.discard();
        m_finished = true;
        return 1;
    }
    return 0;
}

void Download::run() {
    // The agent is this thread's alone: a stop cancels the call it waits in, without any lock.
    setBlockingHook([this] {
        if (m_stopped)
            cancelBlockingCall();
    });
    int result = m_stopped ? 1 : m_agent->fetchNow(m_url, &Download::sink, this);
    unhookBlockingHook();
    // A server that closes before the length it announced has sent only part of the file.
    bool cut = m_lengthIsExact && m_contentLength > 0 && m_written != m_contentLength;
    bool complete = result == 0 && m_agent->state == AGENT_FINISHED && !m_stopped && m_inBody && !cut;
    // Only a whole body is put in place; anything else leaves no file at all.
    if (complete && m_file.close() == 0)
        m_succeeded = true;
    else
        m_file.discard();
    m_finished = true;
}

void Download::sink(void* context, const char* bytes, int count) {
    static_cast<Download*>(context)->take(bytes, static_cast<size_t>(count));
}

void Download::take(const char* bytes, size_t count) {
    if (m_stopped)
        return;
    if (!m_inBody) {
        m_head.append(bytes, count);
        size_t end = replyHeadEnd(m_head);
        if (end == std::string::npos) {
            // A reply without a head at all: the early web's bare body.
            if (m_head.size() >= 5 && m_head.compare(0, 5, "HTTP/") != 0)
                end = 0;
            else
                return;
        }
        Str head(m_head.substr(0, end));
        int status = 200;
        Str ignored;
        if (end > 0)
            parseStatus(head, ignored, status);
        if (status != 0 && (status < 200 || status > 299)) {
            m_stopped = true;
            m_agent->requestCancel();
            return;
        }
        Str length, coding;
        if (headerValue("Content-Length", head, length) == 0)
            m_contentLength = std::strtoll(length.text(), nullptr, 10);
        // A compressed body arrives inflated, so its length says nothing about what is written.
        m_lengthIsExact = headerValue("Content-Encoding", head, coding) != 0 || coding.icmp("identity") == 0;
        m_inBody = true;
        std::string body = m_head.substr(end);
        m_head.clear();
        m_head.shrink_to_fit();
        bytes = body.data();
        count = body.size();
        if (count > 0 && m_file.write(bytes, static_cast<int>(count)) != 0) {
            m_stopped = true;
            m_agent->requestCancel();
            return;
        }
        m_written += static_cast<int64_t>(count);
        return;
    }
    if (m_file.write(bytes, static_cast<int>(count)) != 0) {
        m_stopped = true;
        m_agent->requestCancel();
        return;
    }
    m_written += static_cast<int64_t>(count);
}

void Download::stop() {
    if (!m_thread.isStarted())
        return;
    if (!m_finished) {
        m_stopped = true;
        if (m_agent)
            m_agent->requestCancel();
    }
    m_thread.join();
    m_agent.reset();
}

} // namespace lurvik
