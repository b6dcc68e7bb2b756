#pragma once

#include "MemBlock.h"
#include "Prefetch.h"
#include "Str.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace lurvik {

// A parsed web address. The parts are kept in one normalised text (lower-case scheme and host,
// default port dropped, "." and ".." segments removed, percent-escapes kept as written) with their
// offsets, in one block that copies share: a crawl holds millions of addresses, most of them
// links to pages the site already knows, so a copy costs a pointer and a count, never a new text.
// The block never changes once made; setting a URL makes a new one. The accessors return views
// into it, valid until this URL changes.
//
// Type codes: -1 invalid (text that does not parse), 0 a scheme the program does not know,
// 1 HTTP (http: and https:), 2 file, 3 FTP, 4 Gopher, 5 news, 6 mail.
class URL {
public:
    enum Type { Invalid = -1, Other = 0, Http = 1, File = 2, Ftp = 3, Gopher = 4, News = 5, Mail = 6 };

    URL() = default;
    explicit URL(std::string_view text) { setURL(text); }
    URL(const URL& other) noexcept : m_data(other.m_data) { retain(); }
    URL(URL&& other) noexcept : m_data(other.m_data) { other.m_data = nullptr; }
    URL& operator=(const URL& other) noexcept;
    URL& operator=(URL&& other) noexcept;
    ~URL() { release(); }

    // Both return 0 on success; text that does not parse leaves the URL invalid (type -1).
    int setURL(std::string_view text);
    int setURL(const URL& base, std::string_view text);
    int setURL(std::string_view base, std::string_view text);
    // The address of an http: or https: base's scheme and authority and path (a path from "/",
    // with any query and bookmark), when parsing would leave path as it is: then it is that
    // parse's result, made without parsing. What a site map stores for most links is such a path,
    // and a million-page map names tens of millions. 0; 1, with nothing changed, when path might
    // not come out of a parse as it is, for the caller to parse it.
    int setNormalisedPath(const URL& base, std::string_view path);
    // text parsed, but made as setNormalisedPath makes it when it starts with like's scheme and
    // authority: for the many addresses of one site a map holds whole. 0 on success.
    int setNormalisedURL(std::string_view text, const URL& like);

    // Flag 1 includes the bookmark ("#..."); flag 0 leaves it out. 1 for an invalid URL.
    int getURLString(Str& out, int flag = 1) const;
    std::string text() const { return std::string(view()); }
    // The same text without a copy, valid until this URL changes.
    std::string_view view() const {
        return m_data ? std::string_view(m_data->text(), m_data->fields.length) : std::string_view();
    }
    // The text that names the resource: everything but the bookmark. Equal keys are sameURL.
    std::string_view resourceKey() const { return view().substr(0, fields().fragment); }
    // Whether both hold the one block of a single parse: then they are equal without comparing.
    bool sharesText(const URL& other) const { return m_data == other.m_data; }
    // Asks the memory for the shared block ahead of reading it, for loops that look up many
    // addresses far apart.
    void prefetch() const { prefetchLine(m_data); }
    // Takes other's block when both have the same text, so that a site stores each address once.
    void shareTextOf(const URL& other) {
        if (m_data != other.m_data && view() == other.view())
            *this = other;
    }

    int sameURL(const URL& other) const;
    int sameDomain(const URL& other) const;
    int isHtml() const;
    // The file name's extension in lower case with its dot (".html"); empty when there is none.
    void getFileExt(Str& out) const;

    // Far past any address a browser or server accepts: a stored address longer is damage.
    static constexpr int kMaxStoredLength = 1 << 20;
    // Appends the URL to block relative to base, so a site map stores each address compactly.
    void ConvertToMemBlock(MemBlock& block, const URL& base) const;
    void ConvertToMemBlock(MemBlock& block, std::string_view base) const;
    [[nodiscard]] int ConvertFromMemBlock(MemBlock& block, const URL& base);
    [[nodiscard]] int ConvertFromMemBlock(MemBlock& block, std::string_view base);

    void clear();
    // Keeps an address that does not parse as the page wrote it, so that a report can name it;
    // the URL stays invalid.
    void setUnparsed(std::string_view text);
    // Drops "user:password@" and returns it with its percent-escapes decoded (empty when none):
    // credentials in an address are used, never shown or stored with it.
    std::string takeUserInfo();
    // Drops the "#..." part: what is left names the whole page.
    void clearBookmark();

    bool isValid() const { return fields().type != Invalid; }
    // Whether this holds an address that did not parse (setUnparsed).
    bool isUnparsed() const { return !isValid() && m_data != nullptr; }
    bool isHttp() const { return fields().type == Http; }
    bool isSecure() const { return fields().secure; }
    bool isCgiBin() const { return isHttp() && !getCgiArgs().empty(); }
    int getType() const { return fields().type; }
    int getPort() const { return fields().port; }
    std::string_view getScheme() const { return part(0, fields().schemeEnd); }
    std::string_view getUserInfo() const {
        const Fields& f = fields();
        return f.host > f.authority ? part(f.authority, f.host - 1) : "";
    }
    std::string_view getHost() const { return part(fields().host, fields().hostEnd); }
    // Scheme and authority: what an address stored as a bare path takes from its base.
    std::string_view beforePath() const { return part(0, fields().path); }
    // Host with ":port" when the port is not the scheme's default: the Host header's value.
    std::string_view getHostAndPort() const { return part(fields().host, fields().path); }
    std::string_view getDir() const { return part(fields().path, fields().file); }
    std::string_view getFilename() const { return part(fields().file, fields().query); }
    std::string_view getPath() const { return part(fields().path, fields().query); }
    // Path and query: what a request asks for.
    std::string_view getRequestTarget() const { return part(fields().path, fields().fragment); }
    std::string_view getCgiArgs() const {
        const Fields& f = fields();
        return f.query < f.fragment ? part(f.query + 1, f.fragment) : "";
    }
    std::string_view getBookmark() const {
        const Fields& f = fields();
        return f.fragment < f.length ? part(f.fragment + 1, f.length) : "";
    }

    struct Parts;

private:
    // Offsets into the text, which follows the block's header in the same allocation.
    struct Fields {
        int32_t schemeEnd = 0;
        int32_t authority = 0; // first byte after "//", or the path start when there is no authority
        int32_t host = 0;
        int32_t hostEnd = 0;
        int32_t path = 0;
        int32_t file = 0;
        int32_t query = 0;    // index of '?', or the fragment start when there is no query
        int32_t fragment = 0; // index of '#', or the text length when there is no bookmark
        int32_t length = 0;
        uint16_t port = 0;
        int8_t type = Invalid;
        bool secure = false;
    };
    struct Data {
        std::atomic<int32_t> references{1};
        Fields fields;
        const char* text() const { return reinterpret_cast<const char*>(this + 1); }
    };
    static const Fields s_invalid;

    const Fields& fields() const { return m_data ? m_data->fields : s_invalid; }
    void retain() const {
        if (m_data)
            m_data->references.fetch_add(1, std::memory_order_relaxed);
    }
    void release();
    // The text is text and then more, in the one block.
    void assign(const Fields& fields, std::string_view text, std::string_view more = {});
    // fields with the offsets of a path (from "/") that follows before, the query and bookmark of
    // path starting at query and fragment.
    void assignPath(Fields fields, std::string_view before, std::string_view path, size_t query,
                    size_t fragment);
    int resolveSimplePath(const URL& base, std::string_view input);
    int setSimpleAbsolute(std::string_view input);
    Parts parts() const;
    std::string_view part(int begin, int end) const {
        return begin < end ? view().substr(begin, end - begin) : std::string_view();
    }

    Data* m_data = nullptr;
};

} // namespace lurvik
