#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik {

// One WARC record: its named fields as written and its block (for a response record, the HTTP
// reply as the crawler received it).
struct WarcRecord {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string block;
    // Where the record starts in the file: for a compressed file, the start of its gzip member,
    // and skip the bytes of that member's text before the record (0 with a member per record).
    int64_t offset = 0;
    int64_t skip = 0;

    // The value of a field (names compare without case); empty when absent.
    std::string_view field(std::string_view name) const;
};

// Reads the records of a WARC file one after another, plain or gzip-compressed (one member per
// record, as the format recommends, or the whole file as one stream). It holds one record at a
// time, so an archive of any size streams through. A damaged record is reported with its offset;
// reading goes on at the next record that can be found.
class WarcReader {
public:
    WarcReader() = default;
    ~WarcReader();
    WarcReader(const WarcReader&) = delete;
    WarcReader& operator=(const WarcReader&) = delete;

    // 0 on success, else the errno value.
    [[nodiscard]] int open(const std::string& path);
    // 1 a record was read; 0 the end of the file; -1 a damaged record (errorText and errorOffset
    // say what and where), after which next() may be called again.
    int next(WarcRecord& record);
    // Reads the one record found at offset and skip (as next() reported them); 1 when read.
    int readAt(int64_t offset, int64_t skip, WarcRecord& record);

    const std::string& errorText() const { return m_errorText; }
    int64_t errorOffset() const { return m_errorOffset; }

private:
    // Makes at least n bytes unread in m_buffer, or all that is left; false when fewer remain.
    bool fill(size_t n);
    // Inflates the next piece; false at the end of the file or on damage.
    bool inflateMore();
    bool readMore(char* data, size_t n, size_t& got);
    void restart(int64_t offset);
    // The member start and skip of the unread byte at m_bufferPos.
    void position(int64_t& offset, int64_t& skip) const;
    int fail(const std::string& text, int64_t offset);

    std::FILE* m_file = nullptr;
    bool m_compressed = false;
    void* m_zstream = nullptr;
    bool m_inMember = false;
    std::vector<char> m_in;
    size_t m_inPos = 0;
    size_t m_inLen = 0;
    int64_t m_inFileOffset = 0; // file offset of m_in[0]
    std::string m_buffer;
    size_t m_bufferPos = 0;
    int64_t m_dropped = 0; // text bytes dropped from the front of m_buffer
    // Where each gzip member's text begins in the text stream (counting m_dropped), and where
    // the member begins in the file; a plain file is one "member" starting at 0.
    std::vector<std::pair<int64_t, int64_t>> m_members;
    bool m_end = false;
    std::string m_errorText;
    int64_t m_errorOffset = 0;
};

} // namespace lurvik
