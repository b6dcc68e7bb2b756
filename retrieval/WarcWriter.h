#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace lurvik {

class URL;

// Records a retrieval as a web archive (WARC/1.1): a warcinfo record first, then for every
// exchange its request and the response as it came over the wire, each record a gzip member of
// its own and on disk before the next, so an interrupted crawl leaves a valid file up to its last
// record. Agents on any thread write through one writer.
class WarcWriter {
public:
    WarcWriter() = default;
    ~WarcWriter();
    WarcWriter(const WarcWriter&) = delete;
    WarcWriter& operator=(const WarcWriter&) = delete;

    // Creates the file and writes the warcinfo record; 0, or the errno value.
    [[nodiscard]] int open(const std::string& path, std::string_view software);
    // truncated: the response was cut at the reply cap.
    void recordExchange(const URL& target, std::string_view request, std::string_view response,
                        bool truncated);
    // Non-zero once a write failed (a full disk): later records are not written.
    int error() const;
    int close();

private:
    void writeRecord(const std::string& header, std::string_view block);

    mutable std::mutex m_mutex;
    std::FILE* m_file = nullptr;
    std::string m_infoId;
    int m_error = 0;
};

} // namespace lurvik
