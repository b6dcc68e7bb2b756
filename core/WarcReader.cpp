#include "WarcReader.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lurvik {

namespace {

constexpr size_t kChunk = 64 * 1024;
// A record header longer than this is damage, not a header.
constexpr size_t kMaxHeader = 1 << 20;
// Enough of a record's start to tell a gzip member ("\x1f\x8b") from a plain record ("WARC/").
constexpr size_t kSignature = 5;

z_stream* stream(void* p) {
    return static_cast<z_stream*>(p);
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

bool isGzip(std::string_view bytes) {
    return bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b';
}

bool isRecordStart(std::string_view bytes) {
    return bytes.substr(0, kSignature) == "WARC/";
}

} // namespace

std::string_view WarcRecord::field(std::string_view name) const {
    for (const auto& [key, value] : fields)
        if (equalNoCase(key, name))
            return value;
    return {};
}

WarcReader::~WarcReader() {
    if (m_zstream) {
        inflateEnd(stream(m_zstream));
        delete stream(m_zstream);
    }
    if (m_file)
        std::fclose(m_file);
}

int WarcReader::open(const std::string& path) {
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file)
        return errno;
    m_zstream = new z_stream{};
    // 16 + MAX_WBITS: gzip members, whose ends the inflater reports.
    if (inflateInit2(stream(m_zstream), 16 + MAX_WBITS) != Z_OK)
        return ENOMEM;
    m_in.resize(kChunk);
    m_out.resize(kChunk);
    restart(0);
    return 0;
}

void WarcReader::restart(int64_t offset) {
    std::fseek(m_file, offset, SEEK_SET);
    m_inFileOffset = offset;
    m_inPos = m_inLen = 0;
    m_rawEnd = false;
    m_source = Source::Between;
    m_text.clear();
    m_textPos = 0;
    m_memberEnded = false;
    m_damage.clear();
    m_lastWasMember = false;
    m_inRecord = false;
    m_recordBroken = false;
}

std::string_view WarcReader::unreadRaw() const {
    return {m_in.data() + m_inPos, m_inLen - m_inPos};
}

int64_t WarcReader::fileOffset() const {
    return m_inFileOffset + static_cast<int64_t>(m_inPos);
}

bool WarcReader::moreRaw() {
    if (m_rawEnd)
        return false;
    if (m_inPos > 0) {
        std::memmove(m_in.data(), m_in.data() + m_inPos, m_inLen - m_inPos);
        m_inFileOffset += static_cast<int64_t>(m_inPos);
        m_inLen -= m_inPos;
        m_inPos = 0;
    }
    // Only a plain record's header needs more than a chunk ahead, and it is capped.
    if (m_inLen == m_in.size())
        m_in.resize(m_in.size() * 2);
    size_t got = std::fread(m_in.data() + m_inLen, 1, m_in.size() - m_inLen, m_file);
    if (got == 0) {
        m_rawEnd = true;
        return false;
    }
    m_inLen += got;
    return true;
}

std::string_view WarcReader::unread() const {
    if (m_source == Source::Member)
        return {m_text.data() + m_textPos, m_text.size() - m_textPos};
    if (m_source == Source::Plain)
        return unreadRaw();
    return {};
}

void WarcReader::consume(size_t n) {
    if (m_source == Source::Member) {
        m_textPos += n;
        m_memberConsumed += static_cast<int64_t>(n);
    } else {
        m_inPos += n;
    }
}

bool WarcReader::more() {
    if (m_source == Source::Plain)
        return moreRaw();
    if (m_source != Source::Member || m_memberEnded || !m_damage.empty())
        return false;
    if (m_textPos > 0 && (m_textPos == m_text.size() || m_textPos > kChunk)) {
        m_text.erase(0, m_textPos);
        m_textPos = 0;
    }
    z_stream* z = stream(m_zstream);
    for (;;) {
        if (unreadRaw().empty() && !moreRaw()) {
            m_damage = "the archive ends inside a gzip member";
            return false;
        }
        // Inflated aside and appended: a tiny record must not cost a chunk of zeroed text.
        z->next_in = reinterpret_cast<Bytef*>(m_in.data() + m_inPos);
        z->avail_in = static_cast<uInt>(m_inLen - m_inPos);
        z->next_out = reinterpret_cast<Bytef*>(m_out.data());
        z->avail_out = static_cast<uInt>(m_out.size());
        int result = inflate(z, Z_NO_FLUSH);
        m_inPos = m_inLen - z->avail_in;
        m_text.append(m_out.data(), m_out.size() - z->avail_out);
        bool produced = z->avail_out < m_out.size();
        if (result == Z_STREAM_END) {
            m_memberEnded = true;
            return produced;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            m_damage = z->msg ? z->msg : "it does not inflate";
            return produced;
        }
        if (produced)
            return true;
    }
}

bool WarcReader::skipLineEnds() {
    for (;;) {
        std::string_view text = unread();
        size_t n = 0;
        while (n < text.size() && (text[n] == '\r' || text[n] == '\n'))
            ++n;
        consume(n);
        if (n < text.size())
            return true;
        if (!more())
            return false;
    }
}

void WarcReader::ensure(size_t n) {
    while (unread().size() < n && more()) {
    }
}

void WarcReader::startMember() {
    inflateReset(stream(m_zstream));
    m_source = Source::Member;
    m_memberStart = fileOffset();
    m_memberConsumed = 0;
    m_memberEnded = false;
    m_damage.clear();
    m_text.clear();
    m_textPos = 0;
}

void WarcReader::resync(int64_t from) {
    m_source = Source::Between;
    while (fileOffset() < from) {
        std::string_view raw = unreadRaw();
        size_t n =
            static_cast<size_t>(std::min<int64_t>(from - fileOffset(), static_cast<int64_t>(raw.size())));
        m_inPos += n;
        if (n == 0 && !moreRaw())
            return;
    }
    // A damaged member's compressed bytes can hold the magic by chance; a false start costs one
    // more report, never a lost record.
    static constexpr std::string_view kMember("\x1f\x8b\x08", 3);
    static constexpr std::string_view kRecord("WARC/1.");
    for (;;) {
        std::string_view raw = unreadRaw();
        size_t at = std::min(raw.find(kMember), raw.find(kRecord));
        if (at != std::string_view::npos) {
            m_inPos += at;
            return;
        }
        // A mark may straddle two reads: its first bytes stay for the next look.
        if (raw.size() > kRecord.size())
            m_inPos += raw.size() - kRecord.size();
        if (!moreRaw()) {
            m_inPos = m_inLen;
            return;
        }
    }
}

void WarcReader::resyncText() {
    static constexpr std::string_view kRecord("WARC/1.");
    for (;;) {
        std::string_view text = unread();
        size_t at = text.find(kRecord);
        if (at != std::string_view::npos) {
            consume(at);
            return;
        }
        if (text.size() > kRecord.size())
            consume(text.size() - kRecord.size());
        if (!more())
            break;
    }
    consume(unread().size());
    leaveMember();
}

void WarcReader::leaveMember() {
    m_lastWasMember = m_damage.empty();
    if (m_damage.empty())
        m_source = Source::Between;
    else
        resync(std::max(fileOffset(), m_memberStart + 1));
}

int WarcReader::damaged(const std::string& text, int64_t offset) {
    m_errorText = text;
    m_errorOffset = offset;
    return -1;
}

int WarcReader::toRecordStart() {
    for (;;) {
        if (m_source == Source::Member) {
            if (skipLineEnds())
                return 1;
            std::string why = m_damage;
            int64_t at = m_memberStart;
            leaveMember();
            if (!why.empty())
                return damaged("a damaged gzip member: " + why, at);
        }
        // Between records the raw bytes say what comes next, plain record or gzip member alike.
        m_source = Source::Plain;
        bool more = skipLineEnds();
        m_source = Source::Between;
        if (!more)
            return 0;
        while (unreadRaw().size() < kSignature && moreRaw()) {
        }
        std::string_view raw = unreadRaw();
        if (isGzip(raw)) {
            startMember();
            continue;
        }
        if (isRecordStart(raw)) {
            m_source = Source::Plain;
            if (m_lastWasMember) {
                m_lastWasMember = false;
                return damaged("a plain record among gzip members", fileOffset());
            }
            return 1;
        }
        int64_t at = fileOffset();
        resync(at);
        return damaged("bytes that are no WARC record", at);
    }
}

int WarcReader::badHead(const std::string& text, WarcRecord& record) {
    if (m_source == Source::Member) {
        // A header cut short by a member that stopped inflating: the member is what broke.
        if (!m_damage.empty()) {
            std::string why = "a damaged gzip member: " + m_damage;
            leaveMember();
            return damaged(why, m_memberStart);
        }
        consume(std::min<size_t>(1, unread().size()));
        resyncText();
    } else {
        resync(std::max(fileOffset(), record.offset + 1));
    }
    return damaged(text, record.offset);
}

int WarcReader::readHead(WarcRecord& record) {
    record.fields.clear();
    record.length = 0;
    if (m_source == Source::Member) {
        record.offset = m_memberStart;
        record.skip = m_memberConsumed;
    } else {
        record.offset = fileOffset();
        record.skip = 0;
    }
    ensure(kSignature);
    if (!isRecordStart(unread()))
        return badHead("not a WARC record", record);
    size_t headBytes = 0;
    bool firstLine = true;
    for (;;) {
        size_t newline = std::string_view::npos;
        for (;;) {
            std::string_view text = unread();
            newline = text.find('\n');
            if (newline != std::string_view::npos)
                break;
            if (headBytes + text.size() > kMaxHeader || !more())
                return badHead("a record header without an end", record);
        }
        std::string_view line = unread().substr(0, newline);
        headBytes += newline + 1;
        if (headBytes > kMaxHeader)
            return badHead("a record header without an end", record);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty()) {
            consume(newline + 1);
            break;
        }
        if (firstLine) {
            firstLine = false;
        } else if ((line.front() == ' ' || line.front() == '\t') && !record.fields.empty()) {
            record.fields.back().second += " " + trimmed(line);
        } else if (size_t colon = line.find(':'); colon != std::string_view::npos) {
            record.fields.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
        }
        consume(newline + 1);
    }
    std::string length(record.field("Content-Length"));
    char* parsedEnd = nullptr;
    errno = 0;
    long long size = std::strtoll(length.c_str(), &parsedEnd, 10);
    if (length.empty() || *parsedEnd != '\0' || size < 0 || errno == ERANGE)
        return badHead("a record without a usable Content-Length", record);
    record.length = size;
    m_inRecord = true;
    m_recordBroken = false;
    m_recordOffset = record.offset;
    m_blockStart = fileOffset();
    m_blockLeft = size;
    return 1;
}

int WarcReader::blockBroken() {
    m_inRecord = false;
    m_recordBroken = true;
    if (m_source == Source::Plain) {
        m_source = Source::Between;
        return damaged("the archive ends inside a record", m_recordOffset);
    }
    std::string why = m_damage;
    leaveMember();
    if (!why.empty())
        return damaged("a damaged gzip member: " + why, m_recordOffset);
    return damaged("the record's gzip member ends before its Content-Length", m_recordOffset);
}

int64_t WarcReader::readBlock(char* out, size_t size) {
    if (!m_inRecord)
        return m_recordBroken ? -1 : 0;
    if (m_blockLeft == 0 || size == 0)
        return 0;
    for (;;) {
        std::string_view text = unread();
        if (!text.empty()) {
            size_t n = static_cast<size_t>(std::min<int64_t>(
                {static_cast<int64_t>(size), static_cast<int64_t>(text.size()), m_blockLeft}));
            std::memcpy(out, text.data(), n);
            consume(n);
            m_blockLeft -= static_cast<int64_t>(n);
            return static_cast<int64_t>(n);
        }
        if (!more())
            return blockBroken();
    }
}

int WarcReader::finishRecord() {
    if (!m_inRecord)
        return m_recordBroken ? -1 : 0;
    char sink[16 * 1024];
    int64_t got;
    while ((got = readBlock(sink, sizeof sink)) > 0) {
    }
    if (got < 0)
        return -1;
    m_inRecord = false;
    // A block is followed by line ends; then, within a member, by the next record or the
    // member's end. Whatever follows a plain record's line ends is the next record's business.
    ensure(1);
    std::string_view after = unread();
    bool separated = after.empty() || after[0] == '\r' || after[0] == '\n';
    bool follows = skipLineEnds();
    if (follows || !separated) {
        ensure(kSignature);
        std::string_view text = unread();
        if (separated && (m_source == Source::Plain || isRecordStart(text)))
            return 0;
        if (m_source == Source::Member) {
            resyncText();
        } else {
            // The length swallowed what followed, perhaps the next record's header: the next
            // record is looked for from where this block began.
            restart(m_blockStart);
            resync(m_blockStart);
        }
        m_recordBroken = true;
        return damaged("the record does not end where its Content-Length says", m_recordOffset);
    }
    if (m_source == Source::Member) {
        std::string why = m_damage;
        leaveMember();
        if (!why.empty()) {
            m_recordBroken = true;
            return damaged("a damaged gzip member: " + why, m_recordOffset);
        }
    }
    return 0;
}

int WarcReader::next(WarcRecord& record) {
    if (m_inRecord && finishRecord() != 0)
        return -1;
    m_recordBroken = false;
    int found = toRecordStart();
    return found == 1 ? readHead(record) : found;
}

int WarcReader::readAt(int64_t offset, int64_t skip, WarcRecord& record) {
    restart(offset);
    while (unreadRaw().size() < kSignature && moreRaw()) {
    }
    if (isGzip(unreadRaw())) {
        startMember();
        while (skip > 0) {
            std::string_view text = unread();
            if (text.empty() && !more())
                return damaged("the archive ends before the record", offset);
            size_t n = static_cast<size_t>(std::min<int64_t>(skip, static_cast<int64_t>(text.size())));
            consume(n);
            skip -= static_cast<int64_t>(n);
        }
    } else {
        m_source = Source::Plain;
    }
    return readHead(record);
}

} // namespace lurvik
