#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "WarcRecords.h"

namespace lurvik {

class URL;

// Records a retrieval as a web archive (WARC/1.1): a warcinfo record first, then for every
// exchange the response as it came over the wire and its request, each record a gzip member of
// its own. Agents on any thread hand their exchanges over and go on: worker threads digest and
// compress them, and the records reach the file in the order the exchanges were handed over.
// What waits is bounded; an agent that hands over past the bound waits for the file to catch up.
// Each batch of records is on disk before the next, so an interrupted crawl leaves a valid file.
class WarcWriter {
public:
    WarcWriter() = default;
    ~WarcWriter();
    WarcWriter(const WarcWriter&) = delete;
    WarcWriter& operator=(const WarcWriter&) = delete;

    // Creates the file, writes the warcinfo record and starts the workers; 0, or the errno value.
    [[nodiscard]] int open(const std::string& path, std::string_view software);
    // truncated: the response stopped part-way, or only its head was read.
    void recordExchange(const URL& target, std::string_view request, std::string_view response,
                        bool truncated);
    // Non-zero once a write failed (a full disk): later records are not written.
    int error() const;
    // Writes every record handed over, stops the workers and closes the file; 0, or the errno.
    int close();

private:
    struct Job {
        uint64_t sequence = 0;
        WarcExchange exchange;
    };
    void work();
    // Writes the members that are next in order, by whichever worker finds them ready.
    void writeReady(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_room;
    std::FILE* m_file = nullptr;
    std::string m_infoId;
    int m_error = 0;
    bool m_stopping = false;
    bool m_writing = false;
    std::deque<Job> m_jobs;
    // Compressed members waiting for their turn, with the bytes they were made from.
    std::map<uint64_t, std::pair<size_t, std::string>> m_done;
    uint64_t m_nextSequence = 0;
    uint64_t m_nextToWrite = 0;
    // Bytes handed over and not yet written: what the bound counts.
    size_t m_pendingBytes = 0;
    std::vector<std::thread> m_workers;
};

} // namespace lurvik
