#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik {

// The head of one WARC record: its named fields as written and where it lies. Its block (for a
// response record, the HTTP reply as the crawler received it) is read piece by piece through the
// reader, never held whole: a record may be larger than the memory of the machine reading it.
struct WarcRecord {
    std::vector<std::pair<std::string, std::string>> fields;
    // The block's length as the record declares it.
    int64_t length = 0;
    // Where the record starts in the file: for a compressed record, the start of its gzip member,
    // and skip the bytes of that member's text before the record (0 with a member per record).
    int64_t offset = 0;
    int64_t skip = 0;

    // The value of a field (names compare without case); empty when absent.
    std::string_view field(std::string_view name) const;
};

// Reads the records of a WARC file one after another: plain, gzip-compressed (a member per record,
// as the format recommends, or the whole file as one stream), or a mix of both. Memory stays
// bounded by the longest record header, whatever the size of a record or of the archive.
//
// Damage does not end the file: a gzip member that does not inflate, bytes between records that
// are no record, a record whose length does not match its member, are each reported once with
// their offset, and reading goes on at the next gzip member or "WARC/1." line.
class WarcReader {
public:
    WarcReader() = default;
    ~WarcReader();
    WarcReader(const WarcReader&) = delete;
    WarcReader& operator=(const WarcReader&) = delete;

    // 0 on success, else the errno value.
    [[nodiscard]] int open(const std::string& path);
    // 1 the head of a record was read and its block is ready for readBlock(); 0 the end of the
    // file; -1 damage or a plain record among gzip members (errorText and errorOffset say what and
    // where), after which next() may be called again. The rest of the previous record is read
    // first, and its damage, if any, is what -1 reports.
    int next(WarcRecord& record);
    // Up to size bytes of the current record's block; 0 at its end; -1 when the block is damaged
    // (reported as next() reports it), after which next() goes on past it.
    int64_t readBlock(char* out, size_t size);
    // Reads the rest of the current record and what follows it up to the next record: 0 when the
    // record was whole, with its declared length and its gzip member intact; -1 when damaged.
    int finishRecord();
    // Reads the head of the one record found at offset and skip (as next() reported them); 1 when
    // read, its block then ready for readBlock().
    int readAt(int64_t offset, int64_t skip, WarcRecord& record);

    const std::string& errorText() const { return m_errorText; }
    int64_t errorOffset() const { return m_errorOffset; }

private:
    // Where the unread text comes from: a gzip member being inflated, the raw bytes of a plain
    // record, or neither (between two records, where the raw bytes say which comes next).
    enum class Source { Between, Member, Plain };

    // The unread text of the current source.
    std::string_view unread() const;
    void consume(size_t n);
    // Adds text from the current source; false at its end (a member's end, the file's end) or on
    // damage, which m_damage then names.
    bool more();
    // Adds raw bytes from the file; false at its end.
    bool moreRaw();
    std::string_view unreadRaw() const;
    // Passes over line ends; false when the source ended first.
    bool skipLineEnds();
    // At least n unread bytes, or all that the source has left.
    void ensure(size_t n);
    void startMember();
    // The member's text ended (or broke): back to the raw bytes after it.
    void leaveMember();
    void restart(int64_t offset);
    // Finds where the next record starts; 1 found, 0 the end of the file, -1 reported.
    int toRecordStart();
    // After damage: passes over raw bytes from the offset from up to the next gzip member or
    // "WARC/1."; resyncText does the same within a member's text, up to the member's end.
    void resync(int64_t from);
    void resyncText();
    int readHead(WarcRecord& record);
    int badHead(const std::string& text, WarcRecord& record);
    int blockBroken();
    int64_t fileOffset() const;
    int damaged(const std::string& text, int64_t offset);

    std::FILE* m_file = nullptr;
    void* m_zstream = nullptr;
    Source m_source = Source::Between;
    std::vector<char> m_in;
    size_t m_inPos = 0;
    size_t m_inLen = 0;
    int64_t m_inFileOffset = 0; // file offset of m_in[0]
    bool m_rawEnd = false;
    std::vector<char> m_out;
    std::string m_text; // inflated text of the current member
    size_t m_textPos = 0;
    int64_t m_memberStart = 0;
    int64_t m_memberConsumed = 0; // text bytes of the member consumed so far
    bool m_memberEnded = false;
    std::string m_damage; // why the current member stopped inflating
    bool m_lastWasMember = false;
    // The record whose block is being read: its start, the block bytes left, and whether it broke.
    bool m_inRecord = false;
    bool m_recordBroken = false;
    int64_t m_recordOffset = 0;
    int64_t m_blockStart = 0; // file offset of a plain record's block
    int64_t m_blockLeft = 0;
    std::string m_errorText;
    int64_t m_errorOffset = 0;
};

} // namespace lurvik
